#include "shell/ScreenSaverProperties.h"

#include "foundation/SlideShowGlobals.h"

GC_IMPLEMENT_PLUGIN(TScreenSaverProperties, TProperties)
GC_IMPLEMENT_PLUGIN(TTempProperties, TProperties)

bool TScreenSaverProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteString(FileName);
    c.WriteBoolean(UseSound);
    c.WriteBoolean(ResumeAtLastPos);
    c.WriteBoolean(Shuffle);
    c.WriteInteger(LastPosition);
    c.WriteInteger(DefaultDuration);
    return true;
}

bool TScreenSaverProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    c.ReadString(FileName);
    c.ReadBoolean(UseSound);
    c.ReadBoolean(ResumeAtLastPos);
    c.ReadBoolean(Shuffle);
    c.ReadInteger(LastPosition);
    c.ReadInteger(DefaultDuration);
    return true;
}

AnsiString TTempProperties::GetEditorFrameClassNames() {
    return TProperties::GetEditorFrameClassNames() + "\r\nTTempPropertyEditorFrame";
}

bool TTempProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteBoolean(UseSystemTemp);
    c.WriteString(TempDir);
    return true;
}

bool TTempProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    c.ReadBoolean(UseSystemTemp);
    c.ReadString(TempDir);
    return true;
}

namespace {
TTempProperties* TempProperties = nullptr;
// Used only when no process-wide settings list exists to own them.
TPluginPtr<TTempProperties> g_ownTempProperties;
}  // namespace

TTempProperties* GetTempProperties() { return TempProperties; }

namespace ScreenSaverPropertiesModule {

void Initialize() {
    if (Plugins) {
        Plugins->Register<TScreenSaverProperties>();
        Plugins->Register<TTempProperties>();
    } else {
        RegisterClass(TScreenSaverProperties::StaticClassInfo());
        RegisterClass(TTempProperties::StaticClassInfo());
    }
    if (PropertiesList) {
        TempProperties = dynamic_cast<TTempProperties*>(
            PropertiesList->Add(0, TTempProperties::StaticClassInfo(), "Grundeinstellungen", true));
    } else {
        g_ownTempProperties.reset(new TTempProperties());
        TempProperties = g_ownTempProperties.get();
    }
}

void Finalize() {
    // An instance in the settings list goes with the list.
    TempProperties = nullptr;
    g_ownTempProperties.reset();
    if (Plugins) {
        Plugins->Unregister<TTempProperties>();
        Plugins->Unregister<TScreenSaverProperties>();
    } else {
        UnRegisterClass(TTempProperties::StaticClassInfo());
        UnRegisterClass(TScreenSaverProperties::StaticClassInfo());
    }
}

}  // namespace ScreenSaverPropertiesModule
