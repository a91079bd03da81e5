// The player settings a show stores among its settings groups: the base set the player
// copies for itself, and the stored standard set with six option bytes of its editor.
#pragma once

#include "document/SlideShowProperties.h"
#include "foundation/Properties.h"

#include <cstdint>

class TSlideShowPlayerProperties : public TPropertiesBlock<TSlideShowPlayerProperties, TProperties> {
    GC_DECLARE_CLASS(TSlideShowPlayerProperties)
public:
    int32_t PreloadTime = 10000;  // ms before an object is due that it is queued
    bool OnlyDueAtStart = false;
    int32_t StoredWidth = 800;    // kept for the editor, not used by the player
    int32_t StoredHeight = 600;
    int32_t ClientWidth = 800;    // window size in windowed mode
    int32_t ClientHeight = 600;
    bool FullScreen = true;
    bool ExtraOption1 = false;    // kept for the editor, not used by the player
    bool ExtraOption2 = true;

    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);
};

class TStandardSlideShowPlayerProperties
    : public TPropertiesBlock<TStandardSlideShowPlayerProperties, TSlideShowPlayerProperties> {
    GC_DECLARE_CLASS(TStandardSlideShowPlayerProperties)
public:
    // Edited by the standard player's frame; the player reads none of them.
    uint8_t StdValueA = 2;
    bool StdFlagB = false;
    uint8_t StdCharC = '?';
    bool StdFlagD = false;
    bool StdFlagE = false;
    bool StdFlagF = true;

    static AnsiString GetEditorFrameClassNames();
    bool WriteOwnProperties(TOKFStreamWinTypes& c) const;
    bool ReadOwnProperties(TOKFStreamWinTypes& c);
};

// Makes the standard player settings a group of every show, listed as "Lumivor-Player".
class TTStandardSlideShowPlayerPropertyPlugin : public TPropertyGroupPlugin {
    GC_DECLARE_CLASS(TTStandardSlideShowPlayerPropertyPlugin)
public:
    const ClassInfo& GetPropertiesClass() override;
    AnsiString GetPropertyGroupName() override;
};

namespace SlideShowPlayerProperties {
// Registers the plug-in and both settings classes; Finalize takes them out again.
void Initialize();
void Finalize();
}  // namespace SlideShowPlayerProperties

// Adds the module to the start-up sequence (plug-in stage).
void AddSlideShowPlayerPropertiesModules();
