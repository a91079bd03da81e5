#include "foundation/OKFStreamWinTypes.h"

#include "foundation/FontTools.h"

#include <vector>

GC_IMPLEMENT_CLASS(TOKFStreamWinTypes, TOKFStream)
GC_IMPLEMENT_CLASS(TOKFFileWinTypes, TOKFStreamWinTypes)

void TOKFStreamWinTypes::WriteDoubleRect(const TDoubleRect& r) {
    WriteDouble(r.Left);
    WriteDouble(r.Top);
    WriteDouble(r.Right);
    WriteDouble(r.Bottom);
}

void TOKFStreamWinTypes::ReadDoubleRect(TDoubleRect& r) {
    r.Left = ReadDoubleValue();
    r.Top = ReadDoubleValue();
    r.Right = ReadDoubleValue();
    r.Bottom = ReadDoubleValue();
}

TDoubleRect TOKFStreamWinTypes::ReadDoubleRectValue() {
    TDoubleRect r;
    ReadDoubleRect(r);
    return r;
}

void TOKFStreamWinTypes::WriteFont(const TFont* font) {
    std::vector<uint8_t> blob;
    const uint32_t n = FontToBlob(font, blob);
    WriteCardinal(n);
    if (n != kNoFont) WriteBuffer(blob.data(), static_cast<int64_t>(blob.size()));
}

void TOKFStreamWinTypes::ReadFont(std::unique_ptr<TFont>& font) {
    font.reset();
    const uint32_t n = ReadCardinalValue();
    if (n == kNoFont) return;
    if (n < 17 || n > BytesLeft()) RaiseOKFError(okfReadError);
    std::vector<uint8_t> blob(n);
    ReadBuffer(blob.data(), n);
    font = BlobToFont(blob.data(), blob.size());
    if (!font) RaiseOKFError(okfReadError);
}

TOKFFileWinTypes::TOKFFileWinTypes(const AnsiString& fileName, uint8_t mode)
    : TOKFStreamWinTypes(OpenOKFFileStream(fileName, mode), mode) {}
