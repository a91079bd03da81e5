#include "media/SoundSystemProperties.h"

namespace SoundSystemPropertiesUnit {

GC_IMPLEMENT_PLUGIN(TSoundSystemProperties, TProperties)

namespace {
TSoundSystemProperties* gSoundProperties = nullptr;
}

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

}  // namespace SoundSystemPropertiesUnit
