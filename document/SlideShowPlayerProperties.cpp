#include "document/SlideShowPlayerProperties.h"

#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"

#include <iterator>

GC_IMPLEMENT_PLUGIN(TSlideShowPlayerProperties, TProperties)
GC_IMPLEMENT_PLUGIN(TStandardSlideShowPlayerProperties, TSlideShowPlayerProperties)
GC_IMPLEMENT_PLUGIN(TTStandardSlideShowPlayerPropertyPlugin, TPropertyGroupPlugin)

bool TSlideShowPlayerProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteInteger(PreloadTime);
    c.WriteBoolean(OnlyDueAtStart);
    c.WriteInteger(StoredWidth);
    c.WriteInteger(StoredHeight);
    c.WriteInteger(ClientWidth);
    c.WriteInteger(ClientHeight);
    c.WriteBoolean(FullScreen);
    c.WriteBoolean(ExtraOption1);
    c.WriteBoolean(ExtraOption2);
    return true;
}

bool TSlideShowPlayerProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    PreloadTime = c.ReadIntegerValue();
    OnlyDueAtStart = c.ReadBooleanValue();
    StoredWidth = c.ReadIntegerValue();
    StoredHeight = c.ReadIntegerValue();
    ClientWidth = c.ReadIntegerValue();
    ClientHeight = c.ReadIntegerValue();
    FullScreen = c.ReadBooleanValue();
    ExtraOption1 = c.ReadBooleanValue();
    ExtraOption2 = c.ReadBooleanValue();
    return true;
}

AnsiString TStandardSlideShowPlayerProperties::GetEditorFrameClassNames() {
    return TSlideShowPlayerProperties::GetEditorFrameClassNames() + "\r\nTStandardSlideShowPlayerPropertyFrame";
}

// The stored order is not the declaration order, and the base flag OnlyDueAtStart comes
// again at the end: stored shows carry both copies, and the second one counts.
bool TStandardSlideShowPlayerProperties::WriteOwnProperties(TOKFStreamWinTypes& c) const {
    c.WriteByte(StdValueA);
    c.WriteBoolean(StdFlagF);
    c.WriteBoolean(StdFlagB);
    c.WriteByte(StdCharC);
    c.WriteBoolean(StdFlagD);
    c.WriteBoolean(StdFlagE);
    c.WriteBoolean(OnlyDueAtStart);
    return true;
}

bool TStandardSlideShowPlayerProperties::ReadOwnProperties(TOKFStreamWinTypes& c) {
    StdValueA = c.ReadByteValue();
    StdFlagF = c.ReadBooleanValue();
    StdFlagB = c.ReadBooleanValue();
    StdCharC = c.ReadByteValue();
    StdFlagD = c.ReadBooleanValue();
    StdFlagE = c.ReadBooleanValue();
    OnlyDueAtStart = c.ReadBooleanValue();
    return true;
}

// ---------------------------------------------------------------------------------

const ClassInfo& TTStandardSlideShowPlayerPropertyPlugin::GetPropertiesClass() {
    return TStandardSlideShowPlayerProperties::StaticClassInfo();
}

AnsiString TTStandardSlideShowPlayerPropertyPlugin::GetPropertyGroupName() { return "Lumivor-Player"; }

namespace SlideShowPlayerProperties {

namespace {
const ClassInfo* const kClasses[] = {
    &TSlideShowPlayerProperties::StaticClassInfo(),
    &TStandardSlideShowPlayerProperties::StaticClassInfo(),
    &TTStandardSlideShowPlayerPropertyPlugin::StaticClassInfo(),
};
}  // namespace

void Initialize() {
    for (const ClassInfo* cls : kClasses) {
        if (Plugins) Plugins->Register(*cls);
        else RegisterClass(*cls);
    }
}

void Finalize() {
    for (auto it = std::rbegin(kClasses); it != std::rend(kClasses); ++it) {
        if (Plugins) Plugins->Unregister(**it);
        UnRegisterClass(**it);
    }
}

}  // namespace SlideShowPlayerProperties

void AddSlideShowPlayerPropertiesModules() {
    AddStartupModule(TStartupStage::Plugins, "SlideShowPlayerProperties", SlideShowPlayerProperties::Initialize,
                     SlideShowPlayerProperties::Finalize);
}
