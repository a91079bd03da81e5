// The metadata view that the picture objects own and store in the show document.
#pragma once

#include "document/ExifTools.h"

class TSlideShowObjectExif : public TExif {
    GC_DECLARE_CLASS(TSlideShowObjectExif)
public:
    static std::unique_ptr<TSlideShowObjectExif> CreateFromFile(const AnsiString& fileName);
    bool WriteData(TOKFStream& stream) override;
    // Documents of version 0x300 and older hold an empty block here: it is passed
    // over and the view keeps what it had.
    bool ReadData(TOKFStream& stream) override;
};

// The document version above which the view's stored strings are read.
constexpr uint32_t kExifStoredSinceVersion = 0x300;
