#include "shell/ScreenSaverProperties.h"

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

TTempProperties* TempProperties = nullptr;

namespace {
TPluginPtr<TTempProperties> g_ownTempProperties;
}

namespace ScreenSaverPropertiesModule {

void Initialize() {
    RegisterClass(TScreenSaverProperties::StaticClassInfo());
    RegisterClass(TTempProperties::StaticClassInfo());
    g_ownTempProperties.reset(new TTempProperties());
    TempProperties = g_ownTempProperties.get();
}

void Finalize() {
    TempProperties = nullptr;
    g_ownTempProperties.reset();
    UnRegisterClass(TTempProperties::StaticClassInfo());
    UnRegisterClass(TScreenSaverProperties::StaticClassInfo());
}

}  // namespace ScreenSaverPropertiesModule
