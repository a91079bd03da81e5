// Video files as pictures: the picture registry reads AVI, MOV, MPG, MPEG and WMV files
// through a hidden video component, which opens the file and keeps the renderer's
// first frame. Loading from a stream stays the plain bitmap's, so a video in a stream
// is no picture.
#pragma once

#include "graphics/Bitmap32.h"
#include "media/AMovie.h"
#include "platform/SysUtils.h"

// The video component with the capture the pictures use.
class TmyActiveMovie : public TActiveMovie {
public:
    // The current frame of the opened video into bitmap; false (bitmap untouched) when
    // there is none.
    bool myCaptureFrame(TBitmap32& bitmap);
};

class TVideoImage : public TBitmap32 {
public:
    // A still frame of the video; raises EInvalidGraphic with an empty message on any
    // failure (the debug output names the file and the reason), the contents unchanged.
    void LoadFromFile(const AnsiString& fileName);
};

namespace VideoImageUnit {
// Reference-counted: only the first initialisation and the last finalisation act.
void Initialize();
void Finalize();
}  // namespace VideoImageUnit
