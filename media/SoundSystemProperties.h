// The user's choice of sound output: one process-wide settings object that the sound
// system's output selection reads and the preview switches off.
#pragma once

#include "foundation/Properties.h"

#include <cstdint>

namespace SoundSystemPropertiesUnit {

class TSoundSystemProperties : public TPropertiesBlock<TSoundSystemProperties, TProperties> {
    GC_DECLARE_CLASS(TSoundSystemProperties)
public:
    static AnsiString GetEditorFrameClassNames();

    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);

    // Try the library's own choice, then the system outputs, then no sound.
    bool AutomaticOutput = true;
    // Without the automatic choice: 1 waveform-audio output first, 2 the other output
    // first, anything else no sound.
    int32_t OutputKind = 2;
};

// The process-wide instance; null before the module initialisation. Owned by the
// process-wide settings list once that exists, else by this module.
TSoundSystemProperties* SoundProperties();
// Replaces the process-wide instance (not owned; null to go back to none).
void SetSoundProperties(TSoundSystemProperties* properties);

// Registers the class and adds the process-wide instance to the process-wide settings
// list under "Grundeinstellungen" (owned by the list; by this module when there is no
// list); Finalize undoes both.
void Initialize();
void Finalize();

}  // namespace SoundSystemPropertiesUnit
