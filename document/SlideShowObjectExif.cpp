#include "document/SlideShowObjectExif.h"

#include "foundation/OKFStream.h"

GC_IMPLEMENT_CLASS(TSlideShowObjectExif, TExif)

std::unique_ptr<TSlideShowObjectExif> TSlideShowObjectExif::CreateFromFile(const AnsiString& fileName) {
    auto view = std::make_unique<TSlideShowObjectExif>();
    if (!view->LoadFromFile(fileName)) return nullptr;
    return view;
}

bool TSlideShowObjectExif::WriteData(TOKFStream& stream) { return TExif::WriteData(stream); }

bool TSlideShowObjectExif::ReadData(TOKFStream& stream) {
    return ReadBlock(stream, stream.Header.ContentVersion > kExifStoredSinceVersion);
}
