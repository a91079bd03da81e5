#include "graphics/PictureRegistry.h"

#include "foundation/FileTools.h"
#include "graphics/CelReader.h"
#include "graphics/EpsReader.h"
#include "graphics/JpegReader.h"
#include "graphics/MagickReader.h"
#include "graphics/PngReader.h"
#include "platform/DebugOutput.h"
#include "platform/Names.h"
#include "platform/Stream.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <mutex>

namespace {

// Entries are never changed once registered (a new registration replaces the pointer),
// so a load holds its format without the lock and without copying its readers.
using TFormatEntry = std::shared_ptr<const TPictureFormat>;
std::mutex registryMutex;
std::vector<TFormatEntry>& Registry() {
    static std::vector<TFormatEntry> formats;
    return formats;
}

// Files beyond this are not pictures we could show anyway.
constexpr int64_t kMaxPictureFileSize = int64_t(1) << 30;

AnsiString NormalExtension(const AnsiString& ext) {
    AnsiString e = ext;
    if (!e.empty() && e[0] == '.') e.erase(0, 1);
    return AnsiLowerCase(e);
}

// The entry of an extension; null when unknown. One look-up under the lock.
TFormatEntry FindEntry(const AnsiString& extension) {
    const AnsiString ext = NormalExtension(extension);
    std::lock_guard lock(registryMutex);
    for (const auto& f : Registry())
        if (f->Extension == ext) return f;
    return nullptr;
}

}  // namespace

void RegisterPictureFormat(const AnsiString& extension, const AnsiString& description, TPictureReader reader,
                           TPictureFileReader fileReader) {
    const AnsiString ext = NormalExtension(extension);
    auto entry = std::make_shared<const TPictureFormat>(
        TPictureFormat{ext, description, std::move(reader), std::move(fileReader)});
    std::lock_guard lock(registryMutex);
    for (auto& f : Registry())
        if (f->Extension == ext) {
            f = std::move(entry);
            return;
        }
    Registry().push_back(std::move(entry));
}

void UnregisterPictureFormat(const AnsiString& extension) {
    const AnsiString ext = NormalExtension(extension);
    std::lock_guard lock(registryMutex);
    std::erase_if(Registry(), [&](const TFormatEntry& f) { return f->Extension == ext; });
}

std::vector<TPictureFormat> PictureFormats() {
    std::lock_guard lock(registryMutex);
    std::vector<TPictureFormat> formats;
    formats.reserve(Registry().size());
    for (const auto& f : Registry()) formats.push_back(*f);
    return formats;
}

bool FindPictureFormat(const AnsiString& extension, TPictureFormat& format) {
    const TFormatEntry found = FindEntry(extension);
    if (found) format = *found;
    return found != nullptr;
}

AnsiString GraphicFileMask() {
    AnsiString mask;
    for (const auto& f : PictureFormats()) {
        if (!mask.empty()) mask += ';';
        mask += "*." + f.Extension;
    }
    return mask;
}

AnsiString GraphicFilter() {
    const auto formats = PictureFormats();
    const AnsiString mask = GraphicFileMask();
    AnsiString filter = "Alle (" + mask + ")|" + mask;
    for (const auto& f : formats) filter += "|" + f.Description + " (*." + f.Extension + ")|*." + f.Extension;
    return filter;
}

AnsiString PictureExtension(const AnsiString& fileName) {
    const AnsiString ext = ExtractFileExt(fileName);
    return ext.empty() ? AnsiString() : AnsiLowerCase(ext.substr(1));
}

namespace {

// Any other error of a reader becomes EInvalidGraphic.
template <class Read>
TBitmap32 Guarded(Read read) {
    try {
        return read();
    } catch (const EInvalidGraphic&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw EInvalidGraphic("not enough memory for the picture");
    } catch (const std::exception& e) {
        throw EInvalidGraphic(AnsiString("unreadable picture: ") + e.what());
    }
}

TBitmap32 Decode(const TPictureFormat& format, const uint8_t* data, size_t size, const TPictureLoadOptions& options) {
    return Guarded([&] { return format.Reader(data, size, options); });
}

// The format the first bytes name, as the extension of its reader; "" when none of
// the common ones.
AnsiString SignatureFormat(const uint8_t* d, size_t n) {
    auto starts = [&](std::initializer_list<uint8_t> sig) {
        return n >= sig.size() && std::equal(sig.begin(), sig.end(), d);
    };
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "png";
    if (starts({0xFF, 0xD8, 0xFF})) return "jpg";
    if (starts({'G', 'I', 'F', '8', '7', 'a'}) || starts({'G', 'I', 'F', '8', '9', 'a'})) return "gif";
    if (starts({'I', 'I', '*', 0}) || starts({'M', 'M', 0, '*'})) return "tif";
    if (starts({'B', 'M'}) && n >= 26) return "bmp";
    if (starts({0, 0, 1, 0}) && n >= 6 && (d[4] | d[5]) != 0) return "ico";
    return "";
}

// Extensions that name the same format.
AnsiString FormatFamily(const AnsiString& ext) {
    if (ext == "jpeg" || ext == "jpe") return "jpg";
    if (ext == "tiff") return "tif";
    if (ext == "dib") return "bmp";
    return ext;
}

// The bytes decoded by the reader of format (the entry of fileName's extension ext).
TBitmap32 DecodeAs(const TPictureFormat* format, const AnsiString& ext, const uint8_t* data, size_t size,
                   const AnsiString& fileName, const TPictureLoadOptions& options) {
    if (!format || !format->Reader) throw EInvalidGraphic("unknown picture kind (." + ext + ")");
    if (size == 0) throw EInvalidGraphic("empty file");
    try {
        return Decode(*format, data, size, options);
    } catch (const EInvalidGraphic&) {
        // A file under another format's extension (a PNG named .ico): when its first
        // bytes name a format we read, that reader gets its turn before the error stands.
        const AnsiString sniffed = SignatureFormat(data, size);
        if (sniffed.empty() || sniffed == FormatFamily(ext)) throw;
        const TFormatEntry other = FindEntry(sniffed);
        if (!other || !other->Reader) throw;
        try {
            TBitmap32 picture = Decode(*other, data, size, options);
            OutputDebugString(fileName + ": read as ." + sniffed + ", as its first bytes say");
            return picture;
        } catch (const EInvalidGraphic&) {
        }
        throw;
    }
}

// The stream's bytes from its position to the end, decoded as format.
TBitmap32 ReadStreamAs(const TPictureFormat& format, TStream& stream, const AnsiString& fileName,
                       const TPictureLoadOptions& options) {
    const int64_t left = stream.GetSize() - stream.GetPosition();
    if (left > kMaxPictureFileSize) throw EInvalidGraphic("file too large for a picture: more than 1 GB");
    std::vector<uint8_t> bytes(size_t(std::max<int64_t>(left, 0)));
    if (!bytes.empty()) stream.ReadBuffer(bytes.data(), int64_t(bytes.size()));
    return DecodeAs(&format, PictureExtension(fileName), bytes.data(), bytes.size(), fileName, options);
}

}  // namespace

TBitmap32 LoadPictureFromMemory(const uint8_t* data, size_t size, const AnsiString& fileName,
                                const TPictureLoadOptions& options) {
    const AnsiString ext = PictureExtension(fileName);
    return DecodeAs(FindEntry(ext).get(), ext, data, size, fileName, options);
}

TBitmap32 LoadPictureFromStream(TStream& stream, const AnsiString& fileName, const TPictureLoadOptions& options) {
    // A stream carries only the name it was stored under; its extension must be known.
    const TFormatEntry format = FindEntry(PictureExtension(fileName));
    if (!format) throw EInvalidGraphic("Falsches Dateiformat: " + fileName);
    return ReadStreamAs(*format, stream, fileName, options);
}

bool PictureFileReadsItself(const AnsiString& fileName) {
    const TFormatEntry format = FindEntry(PictureExtension(fileName));
    return format && format->FileReader;
}

TBitmap32 LoadPictureFromFile(const AnsiString& fileName, const TPictureLoadOptions& options) {
    // The extension first: an unknown format is refused without touching the file.
    const AnsiString ext = PictureExtension(fileName);
    const TFormatEntry format = FindEntry(ext);
    if (!format) throw EInvalidGraphic("unknown picture kind (." + ext + ")");
    if (format->FileReader) return Guarded([&] { return format->FileReader(fileName, options); });
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    return ReadStreamAs(*format, file, fileName, options);
}

namespace {

struct TBuiltIn {
    const char* Extension;
    const char* Description;
    TPictureReader Reader;
};

std::vector<TBuiltIn> BuiltInFormats() {
    auto magick = [](const char* coder) {
        return [coder](const uint8_t* d, size_t n, const TPictureLoadOptions&) { return ReadMagickPicture(d, n, coder); };
    };
    TPictureReader jpeg = [](const uint8_t* d, size_t n, const TPictureLoadOptions& o) {
        int tw = o.TargetWidth, th = o.TargetHeight, w = 0, h = 0;
        if (o.TargetForSize && ReadJpegPictureSize(d, n, w, h)) o.TargetForSize(w, h, tw, th);
        return ReadJpegPicture(d, n, tw, th, o.NeededNow ? 0 : 1);
    };
    TPictureReader png = [](const uint8_t* d, size_t n, const TPictureLoadOptions& o) {
        int tw = o.TargetWidth, th = o.TargetHeight, w = 0, h = 0;
        if (o.TargetForSize && ReadPngPictureSize(d, n, w, h)) o.TargetForSize(w, h, tw, th);
        return ReadPngPicture(d, n, tw, th);
    };
    TPictureReader cel = [](const uint8_t* d, size_t n, const TPictureLoadOptions&) { return ReadCelPicture(d, n); };
    TPictureReader eps = [](const uint8_t* d, size_t n, const TPictureLoadOptions&) { return ReadEpsPreview(d, n); };
    return {
        {"bmp", "Bitmap-Datei", magick("BMP")},
        {"dib", "Bitmap-Datei", magick("BMP")},
        {"ico", "Symbol-Datei", magick("ICO")},
        {"wmf", "Windows-Metadatei", magick("WMF")},
        {"jpg", "JPEG-Datei", jpeg},
        {"jpeg", "JPEG-Datei", jpeg},
        {"jpe", "JPEG-Datei", jpeg},
        {"png", "PNG-Datei", png},
        {"tif", "TIFF-Datei", magick("TIFF")},
        {"tiff", "TIFF-Datei", magick("TIFF")},
        {"eps", "EPS-Datei mit TIFF-Vorschau", eps},
        {"tga", "Targa-Datei", magick("TGA")},
        {"vst", "Targa-Datei", magick("TGA")},
        {"icb", "Targa-Datei", magick("TGA")},
        {"vda", "Targa-Datei", magick("TGA")},
        {"win", "Targa-Datei", magick("TGA")},
        {"pcx", "PCX-Datei", magick("PCX")},
        {"pcc", "PCX-Datei", magick("PCX")},
        {"pcd", "Kodak-Photo-CD-Datei", magick("PCD")},
        {"ppm", "Portable-Pixmap-Datei", magick("PPM")},
        {"pgm", "Portable-Graymap-Datei", magick("PGM")},
        {"pbm", "Portable-Bitmap-Datei", magick("PBM")},
        {"cut", "Dr.-Halo-Datei", magick("CUT")},
        {"gif", "GIF-Datei", magick("GIF")},
        {"rla", "Alias/Wavefront-Datei", magick("RLA")},
        {"rpf", "Alias/Wavefront-Datei", magick("RLA")},
        {"sgi", "SGI-Datei", magick("SGI")},
        {"rgb", "SGI-Datei", magick("SGI")},
        {"rgba", "SGI-Datei", magick("SGI")},
        {"bw", "SGI-Datei", magick("SGI")},
        {"psd", "Photoshop-Datei", magick("PSD")},
        {"pdd", "Photoshop-Datei", magick("PSD")},
        {"cel", "Autodesk-Datei", cel},
        {"pic", "Autodesk-Datei", cel},
    };
}

}  // namespace

void InitializePictureFormats() {
    for (auto& f : BuiltInFormats()) RegisterPictureFormat(f.Extension, f.Description, std::move(f.Reader));
}

void FinalizePictureFormats() {
    for (const auto& f : BuiltInFormats()) UnregisterPictureFormat(f.Extension);
}
