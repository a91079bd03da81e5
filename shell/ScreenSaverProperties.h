// The screen saver's options and the settings of its temporary folders.
#pragma once

#include "foundation/Properties.h"

#include <cstdint>

// Stored form: one block: FileName, UseSound, ResumeAtLastPos, Shuffle, LastPosition,
// DefaultDuration (19 bytes with an empty file name). A package's "settings.dat" is
// exactly this form.
class TScreenSaverProperties : public TPropertiesBlock<TScreenSaverProperties, TProperties> {
    GC_DECLARE_CLASS(TScreenSaverProperties)
public:
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);

    AnsiString FileName;         // the show; a packaged run puts the extracted show's path here
    bool UseSound = true;
    bool ResumeAtLastPos = true;
    bool Shuffle = false;
    int32_t LastPosition = 0;    // ms of show time where the last full-screen run ended
    int32_t DefaultDuration = 3000;  // ms given to the show as picture duration; 0 keeps the show's
};

// Where temporary folders go: the system's temporary folder, or TempDir.
class TTempProperties : public TPropertiesBlock<TTempProperties, TProperties> {
    GC_DECLARE_CLASS(TTempProperties)
public:
    static AnsiString GetEditorFrameClassNames();
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);

    bool UseSystemTemp = true;
    AnsiString TempDir;
};

// The program's temporary-folder settings, made by the module's start; the
// process-wide settings list owns them. Null before the start and after the end. The
// run reads them once, into its context.
TTempProperties* GetTempProperties();

namespace ScreenSaverPropertiesModule {
void Initialize();
void Finalize();
}  // namespace ScreenSaverPropertiesModule
