#include "media/SoundSystemProperties.h"

#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"

namespace SoundSystemPropertiesUnit {

GC_IMPLEMENT_PLUGIN(TSoundSystemProperties, TProperties)

namespace {

TSoundSystemProperties* gSoundProperties = nullptr;
// Set when no settings list took the instance.
TPluginPtr<TSoundSystemProperties> gOwnedProperties;

const char* const kSettingsName = "Grundeinstellungen";

void RenameListEntry() {
    if (PropertiesList)
        PropertiesList->SetNameByClass(TSoundSystemProperties::StaticClassInfo(), kSettingsName);
}

}  // namespace

AnsiString TSoundSystemProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() + "\r\nTSoundSystemPropertyEditorFrame";
}

bool TSoundSystemProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteBoolean(AutomaticOutput);
    c.WriteInteger(OutputKind);
    return true;
}

bool TSoundSystemProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    AutomaticOutput = c.ReadBooleanValue();
    OutputKind = c.ReadIntegerValue();
    return true;
}

TSoundSystemProperties* SoundProperties() { return gSoundProperties; }

void SetSoundProperties(TSoundSystemProperties* properties) { gSoundProperties = properties; }

void Initialize() {
    if (Plugins)
        Plugins->Register<TSoundSystemProperties>();
    TProperties* added = PropertiesList ? PropertiesList->Add(0, TSoundSystemProperties::StaticClassInfo(),
                                                              kSettingsName, true)
                                        : nullptr;
    if (auto* properties = dynamic_cast<TSoundSystemProperties*>(added)) {
        gSoundProperties = properties;
    } else {
        gOwnedProperties.reset(new TSoundSystemProperties());
        gSoundProperties = gOwnedProperties.get();
    }
    GetAfterInitialization().Add(&RenameListEntry);
}

void Finalize() {
    gSoundProperties = nullptr;
    gOwnedProperties.reset();
    if (Plugins)
        Plugins->Unregister<TSoundSystemProperties>();
}

}  // namespace SoundSystemPropertiesUnit
