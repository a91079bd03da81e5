#include "document/ExifTools.h"

#include "foundation/FileTools.h"
#include "foundation/OKFStream.h"
#include "platform/Charset.h"
#include "platform/Names.h"
#include "platform/Stream.h"

#include <chrono>
#include <mutex>

#include <exiv2/exiv2.hpp>

GC_IMPLEMENT_CLASS(TExifContainer, TObject)
GC_IMPLEMENT_CLASS(TExif, TObject)

namespace {

const char kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
const char kPhotoshopSignature[] = "Photoshop 3.0";  // with its closing zero: 14 bytes

// Where the payload behind a signature starts: the signature sits at offset 0 (stored
// without length bytes) or 2 (with them). npos when at neither.
size_t PayloadAfter(const AnsiString& s, const char* sig, size_t sigLen) {
    for (size_t at : {size_t(2), size_t(0)})
        if (s.size() >= at + sigLen && s.compare(at, sigLen, sig, sigLen) == 0) return at + sigLen;
    return AnsiString::npos;
}

// The stored form we write has the two big-endian length bytes in front, as in the file.
AnsiString WithLengthBytes(const AnsiString& s, const char* sig, size_t sigLen) {
    if (s.size() >= sigLen && s.compare(0, sigLen, sig, sigLen) == 0 && s.size() + 2 <= 0xFFFF) {
        const size_t n = s.size() + 2;
        return AnsiString{char(n >> 8), char(n & 0xFF)} + s;
    }
    return s;
}

void MuteExiv2() {
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
}

bool AllDigits(const AnsiString& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

struct TCaptureTime {
    int Year, Month, Day, Hour, Minute, Second;
};

// "YYYY:MM:DD HH:MM:SS"; false unless every part is a number and they form a real date and time.
bool ParseCaptureTime(const AnsiString& text, TCaptureTime& t) {
    if (text.size() < 19) return false;
    const AnsiString parts[6] = {text.substr(0, 4), text.substr(5, 2), text.substr(8, 2),
                                 text.substr(11, 2), text.substr(14, 2), text.substr(17, 2)};
    int v[6];
    for (int i = 0; i < 6; ++i) {
        if (!AllDigits(parts[i])) return false;
        v[i] = std::stoi(parts[i]);
    }
    t = {v[0], v[1], v[2], v[3], v[4], v[5]};
    using namespace std::chrono;
    const year_month_day ymd{year(t.Year), month(unsigned(t.Month)), day(unsigned(t.Day))};
    return t.Year >= 1 && ymd.ok() && t.Hour < 24 && t.Minute < 60 && t.Second < 60;
}

bool CaptureTimeOf(const TExif* view, TCaptureTime& t) {
    try {
        auto reader = CreateReader(view);
        if (!reader || !reader->HasExifInfo()) return false;
        return ParseCaptureTime(reader->DateTime(), t);
    } catch (...) {
        return false;
    }
}

}  // namespace

void TExifContainer::Assign(const TExifContainer& source) {
    ExifData = source.ExifData;
    IptcData = source.IptcData;
    Comment = source.Comment;
}

bool ScanJpegSegments(TStream& stream, TExifContainer& out) {
    uint8_t b[2];
    if (stream.Read(b, 2) != 2 || b[0] != 0xFF || b[1] != 0xD8) return false;
    bool haveComment = false;
    for (;;) {
        uint8_t m = 0;
        if (stream.Read(&m, 1) != 1 || m != 0xFF) break;
        while (m == 0xFF)
            if (stream.Read(&m, 1) != 1) return true;
        if (m == 0xD8 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;  // no length
        if (m == 0xD9 || m == 0xDA) break;                                  // end, image data
        if (stream.Read(b, 2) != 2) break;
        const uint32_t len = (uint32_t(b[0]) << 8) | b[1];
        if (len < 2) break;
        const bool wanted = (m == 0xE1 && out.ExifData.empty()) || (m == 0xED && out.IptcData.empty()) ||
                            (m == 0xFE && !haveComment);
        if (!wanted) {
            const int64_t pos = stream.GetPosition();
            if (stream.Seek(len - 2, TSeekOrigin::soCurrent) != pos + len - 2) break;
            continue;
        }
        AnsiString payload(len - 2, '\0');
        if (len > 2 && stream.Read(payload.data(), len - 2) != int64_t(len - 2)) break;  // cut short
        const AnsiString segment = AnsiString{char(b[0]), char(b[1])} + payload;
        if (m == 0xE1) {
            if (PayloadAfter(payload, kExifSignature, 6) == 6) out.ExifData = segment;
        } else if (m == 0xED) {
            if (PayloadAfter(payload, kPhotoshopSignature, 14) == 14) out.IptcData = segment;
        } else {
            haveComment = true;
            out.Comment = payload;
            if (!out.Comment.empty() && out.Comment.back() == '\0') out.Comment.pop_back();
        }
    }
    return true;
}

bool TExif::LoadFromFile(const AnsiString& fileName) {
    Container.reset();
    const AnsiString ext = AnsiUpperCase(ExtractFileExt(fileName));
    if (ext != ".JPG" && ext != ".JPEG" && ext != ".JPE") return false;
    try {
        TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
        auto c = std::make_unique<TExifContainer>();
        if (ScanJpegSegments(file, *c) && !c->Empty()) Container = std::move(c);
    } catch (...) {
        Container.reset();
    }
    return Container != nullptr;
}

std::unique_ptr<TExif> TExif::CreateFromFile(const AnsiString& fileName) {
    auto view = std::make_unique<TExif>();
    if (!view->LoadFromFile(fileName)) return nullptr;
    return view;
}

bool TExif::WriteData(TOKFStream& stream) {
    try {
        stream.BeginWriteBlock();
        if (Container) {
            stream.WriteString(WithLengthBytes(Container->ExifData, kExifSignature, 6));
            stream.WriteString(WithLengthBytes(Container->IptcData, kPhotoshopSignature, 14));
            stream.WriteString(Container->Comment);
        }
        stream.EndWriteBlock();
        return true;
    } catch (...) {
        return false;
    }
}

bool TExif::ReadBlock(TOKFStream& stream, bool readContent) {
    // Leaves the stream's block nesting as it was before the call, also on damage.
    TReadBlockGuard guard(stream);
    try {
        const uint32_t length = stream.BeginReadBlock();
        if (readContent && length != 0) {
            auto c = std::make_unique<TExifContainer>();
            c->ExifData = stream.ReadStringValue();
            c->IptcData = stream.ReadStringValue();
            c->Comment = stream.ReadStringValue();
            // Three empty strings are no metadata.
            if (c->Empty()) Container.reset();
            else Container = std::move(c);
        }
        stream.EndReadBlock();
        return true;
    } catch (...) {
        return false;
    }
}

bool TExif::ReadData(TOKFStream& stream) { return ReadBlock(stream, true); }

void TExif::Assign(const TExif& source) {
    if (&source == this) return;
    if (!source.Container) {
        Container.reset();
        return;
    }
    if (!Container) Container = std::make_unique<TExifContainer>();
    Container->Assign(*source.Container);
}

// ---- Name tables ------------------------------------------------------------------

const std::vector<TExifTagName>& ExifTagNames() {
    static const std::vector<TExifTagName> table = {
        {0x010E, "Image", "ImageDescription"}, {0x010F, "Image", "Make"}, {0x0110, "Image", "Model"},
        {0x0112, "Image", "Orientation"}, {0x011A, "Image", "XResolution"}, {0x011B, "Image", "YResolution"},
        {0x0128, "Image", "ResolutionUnit"}, {0x0131, "Image", "Software"}, {0x0132, "Image", "DateTime"},
        {0x013B, "Image", "Artist"}, {0x013E, "Image", "WhitePoint"}, {0x013F, "Image", "PrimaryChromaticities"},
        {0x0211, "Image", "YCbCrCoefficients"}, {0x0213, "Image", "YCbCrPositioning"},
        {0x0214, "Image", "ReferenceBlackWhite"}, {0x8298, "Image", "Copyright"},
        {0x0100, "Image", "ImageWidth"}, {0x0101, "Image", "ImageLength"}, {0x0102, "Image", "BitsPerSample"},
        {0x0103, "Image", "Compression"}, {0x0106, "Image", "PhotometricInterpretation"},
        {0x0115, "Image", "SamplesPerPixel"}, {0x011C, "Image", "PlanarConfiguration"},
        {0x0212, "Image", "YCbCrSubSampling"}, {0x012D, "Image", "TransferFunction"},
        {0x829A, "Photo", "ExposureTime"}, {0x829D, "Photo", "FNumber"}, {0x8822, "Photo", "ExposureProgram"},
        {0x8824, "Photo", "SpectralSensitivity"}, {0x8827, "Photo", "ISOSpeedRatings"}, {0x8828, "Photo", "OECF"},
        {0x9000, "Photo", "ExifVersion"}, {0x9003, "Photo", "DateTimeOriginal"},
        {0x9004, "Photo", "DateTimeDigitized"}, {0x9101, "Photo", "ComponentsConfiguration"},
        {0x9102, "Photo", "CompressedBitsPerPixel"}, {0x9201, "Photo", "ShutterSpeedValue"},
        {0x9202, "Photo", "ApertureValue"}, {0x9203, "Photo", "BrightnessValue"},
        {0x9204, "Photo", "ExposureBiasValue"}, {0x9205, "Photo", "MaxApertureValue"},
        {0x9206, "Photo", "SubjectDistance"}, {0x9207, "Photo", "MeteringMode"}, {0x9208, "Photo", "LightSource"},
        {0x9209, "Photo", "Flash"}, {0x920A, "Photo", "FocalLength"}, {0x9214, "Photo", "SubjectArea"},
        {0x927C, "Photo", "MakerNote"}, {0x9286, "Photo", "UserComment"}, {0x9290, "Photo", "SubSecTime"},
        {0x9291, "Photo", "SubSecTimeOriginal"}, {0x9292, "Photo", "SubSecTimeDigitized"},
        {0xA000, "Photo", "FlashpixVersion"}, {0xA001, "Photo", "ColorSpace"},
        {0xA002, "Photo", "PixelXDimension"}, {0xA003, "Photo", "PixelYDimension"},
        {0xA004, "Photo", "RelatedSoundFile"}, {0xA20B, "Photo", "FlashEnergy"},
        {0xA20C, "Photo", "SpatialFrequencyResponse"}, {0xA20E, "Photo", "FocalPlaneXResolution"},
        {0xA20F, "Photo", "FocalPlaneYResolution"}, {0xA210, "Photo", "FocalPlaneResolutionUnit"},
        {0xA214, "Photo", "SubjectLocation"}, {0xA215, "Photo", "ExposureIndex"},
        {0xA217, "Photo", "SensingMethod"}, {0xA300, "Photo", "FileSource"}, {0xA301, "Photo", "SceneType"},
        {0xA302, "Photo", "CFAPattern"}, {0xA401, "Photo", "CustomRendered"}, {0xA402, "Photo", "ExposureMode"},
        {0xA403, "Photo", "WhiteBalance"}, {0xA404, "Photo", "DigitalZoomRatio"},
        {0xA405, "Photo", "FocalLengthIn35mmFilm"}, {0xA406, "Photo", "SceneCaptureType"},
        {0xA407, "Photo", "GainControl"}, {0xA408, "Photo", "Contrast"}, {0xA409, "Photo", "Saturation"},
        {0xA40A, "Photo", "Sharpness"}, {0xA40B, "Photo", "DeviceSettingDescription"},
        {0xA40C, "Photo", "SubjectDistanceRange"}, {0xA420, "Photo", "ImageUniqueID"},
        {0x0000, "GPSInfo", "GPSVersionID"}, {0x0001, "GPSInfo", "GPSLatitudeRef"},
        {0x0002, "GPSInfo", "GPSLatitude"}, {0x0003, "GPSInfo", "GPSLongitudeRef"},
        {0x0004, "GPSInfo", "GPSLongitude"}, {0x0005, "GPSInfo", "GPSAltitudeRef"},
        {0x0006, "GPSInfo", "GPSAltitude"}, {0x0007, "GPSInfo", "GPSTimeStamp"},
        {0x0008, "GPSInfo", "GPSSatellites"}, {0x0009, "GPSInfo", "GPSStatus"},
        {0x000A, "GPSInfo", "GPSMeasureMode"}, {0x000B, "GPSInfo", "GPSDOP"}, {0x000C, "GPSInfo", "GPSSpeedRef"},
        {0x000D, "GPSInfo", "GPSSpeed"}, {0x000E, "GPSInfo", "GPSTrackRef"}, {0x000F, "GPSInfo", "GPSTrack"},
        {0x0010, "GPSInfo", "GPSImgDirectionRef"}, {0x0011, "GPSInfo", "GPSImgDirection"},
        {0x0012, "GPSInfo", "GPSMapDatum"}, {0x0013, "GPSInfo", "GPSDestLatitudeRef"},
        {0x0014, "GPSInfo", "GPSDestLatitude"}, {0x0015, "GPSInfo", "GPSDestLongitudeRef"},
        {0x0016, "GPSInfo", "GPSDestLongitude"}, {0x0017, "GPSInfo", "GPSDestBearingRef"},
        {0x0018, "GPSInfo", "GPSDestBearing"}, {0x0019, "GPSInfo", "GPSDestDistanceRef"},
        {0x001A, "GPSInfo", "GPSDestDistance"}, {0x001B, "GPSInfo", "GPSProcessingMethod"},
        {0x001C, "GPSInfo", "GPSAreaInformation"}, {0x001D, "GPSInfo", "GPSDateStamp"},
        {0x001E, "GPSInfo", "GPSDifferential"}, {0x0001, "Iop", "InteroperabilityIndex"},
        {0x0002, "Iop", "InteroperabilityVersion"},
    };
    return table;
}

const std::vector<TIptcFieldName>& IptcFieldNames() {
    static const std::vector<TIptcFieldName> table = {
        {2, 5, "ObjectName"}, {2, 7, "EditStatus"}, {2, 10, "Urgency"}, {2, 15, "Category"},
        {2, 20, "SupplementalCategory"}, {2, 22, "FixtureIdentifier"}, {2, 25, "Keywords"},
        {2, 26, "ContentLocationCode"}, {2, 27, "ContentLocationName"}, {2, 30, "ReleaseDate"},
        {2, 35, "ReleaseTime"}, {2, 37, "ExpirationDate"}, {2, 38, "ExpirationTime"},
        {2, 40, "SpecialInstructions"}, {2, 42, "ActionAdvised"}, {2, 45, "ReferenceService"},
        {2, 47, "ReferenceDate"}, {2, 50, "ReferenceNumber"}, {2, 55, "DateCreated"}, {2, 60, "TimeCreated"},
        {2, 62, "DigitalCreationDate"}, {2, 63, "DigitalCreationTime"}, {2, 65, "OriginatingProgram"},
        {2, 70, "ProgramVersion"}, {2, 75, "ObjectCycle"}, {2, 80, "Byline"}, {2, 85, "BylineTitle"},
        {2, 90, "City"}, {2, 92, "SubLocation"}, {2, 95, "ProvinceState"}, {2, 100, "CountryCode"},
        {2, 101, "CountryName"}, {2, 103, "OriginalTransmissionReference"}, {2, 105, "Headline"},
        {2, 110, "Credit"}, {2, 115, "Source"}, {2, 116, "Copyright"}, {2, 118, "Contact"},
        {2, 120, "Caption"}, {2, 122, "CaptionWriter"},
    };
    return table;
}

// ---- Reader -----------------------------------------------------------------------

struct TExifReader::Impl {
    Exiv2::ExifData Exif;
    Exiv2::IptcData Iptc;
    bool HasExif = false;
    bool HasIptc = false;

    const Exiv2::Exifdatum* Find(const char* group, uint16_t tag) const {
        for (const auto& d : Exif)
            if (d.tag() == tag && d.groupName() == group) return &d;
        return nullptr;
    }
};

TExifReader::TExifReader(const AnsiString& exifData, const AnsiString& iptcData) : impl_(std::make_unique<Impl>()) {
    MuteExiv2();
    const size_t tiff = PayloadAfter(exifData, kExifSignature, 6);
    if (tiff != AnsiString::npos && exifData.size() - tiff >= 8) {
        try {
            Exiv2::ExifParser::decode(impl_->Exif, reinterpret_cast<const Exiv2::byte*>(exifData.data() + tiff),
                                      uint32_t(exifData.size() - tiff));
            impl_->HasExif = !impl_->Exif.empty();
        } catch (...) {
            impl_->Exif.clear();
        }
    }
    const size_t ps = PayloadAfter(iptcData, kPhotoshopSignature, 14);
    if (ps != AnsiString::npos) {
        try {
            const auto* base = reinterpret_cast<const Exiv2::byte*>(iptcData.data() + ps);
            const long size = long(iptcData.size() - ps);
            const Exiv2::byte* record = nullptr;
            uint32_t sizeHdr = 0, sizeData = 0;
            if (Exiv2::Photoshop::locateIptcIrb(base, size, &record, &sizeHdr, &sizeData) == 0 && record &&
                record >= base && uint64_t(record - base) + sizeHdr + sizeData <= uint64_t(size) &&
                Exiv2::IptcParser::decode(impl_->Iptc, record + sizeHdr, sizeData) == 0)
                impl_->HasIptc = !impl_->Iptc.empty();
        } catch (...) {
            impl_->Iptc.clear();
        }
    }
}

TExifReader::~TExifReader() = default;

bool TExifReader::HasExifInfo() const { return impl_->HasExif; }
bool TExifReader::HasIptcData() const { return impl_->HasIptc; }

AnsiString TExifReader::DateTime() const {
    for (auto [group, tag] : {std::pair{"Photo", uint16_t(0x9003)}, std::pair{"Image", uint16_t(0x0132)}}) {
        const auto* d = impl_->Find(group, tag);
        if (!d) continue;
        AnsiString s = d->toString();
        if (!s.empty()) return s;
    }
    return "";
}

AnsiString TExifReader::ExifComment() const {
    const auto* d = impl_->Find("Photo", 0x9286);
    if (!d) return "";
    AnsiString text;
    if (const auto* c = dynamic_cast<const Exiv2::CommentValue*>(&d->value())) {
        text = c->comment();
        if (c->charsetId() == Exiv2::CommentValue::unicode) text = Utf8ToAnsi(text);
    } else {
        text = d->toString();
    }
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
    return text;
}

AnsiString TExifReader::ExifValue(const AnsiString& tagName) const {
    for (const auto& t : ExifTagNames())
        if (SameText(t.Name, tagName)) {
            const auto* d = impl_->Find(t.Group, t.Tag);
            return d ? AnsiString(d->print(&impl_->Exif)) : AnsiString();
        }
    return "";
}

AnsiString TExifReader::IptcValue(const AnsiString& fieldName) const {
    for (const auto& f : IptcFieldNames())
        if (SameText(f.Name, fieldName)) {
            AnsiString value;
            for (const auto& d : impl_->Iptc)
                if (d.record() == f.Record && d.tag() == f.DataSet) {
                    if (!value.empty()) value += ", ";
                    value += d.toString();
                }
            return value;
        }
    return "";
}

// ---- Queries ----------------------------------------------------------------------

std::unique_ptr<TExifReader> CreateReader(const TExif* view) {
    if (!view || !view->Container) return nullptr;
    try {
        return std::make_unique<TExifReader>(view->Container->ExifData, view->Container->IptcData);
    } catch (...) {
        return nullptr;
    }
}

bool HasExif(const TExif* view) { return view && view->Container && !view->Container->ExifData.empty(); }
bool HasIptc(const TExif* view) { return view && view->Container && !view->Container->IptcData.empty(); }
bool HasComment(const TExif* view) { return view && view->Container && !view->Container->Comment.empty(); }
AnsiString GetComment(const TExif* view) { return view && view->Container ? view->Container->Comment : ""; }

AnsiString GetExifComment(const TExif* view) {
    if (!HasExif(view)) return "";
    try {
        auto reader = CreateReader(view);
        return reader ? reader->ExifComment() : "";
    } catch (...) {
        return "";
    }
}

double GetCaptureDateTime(const TExif* view) {
    TCaptureTime t;
    if (!HasExif(view) || !CaptureTimeOf(view, t)) return -1.0;
    using namespace std::chrono;
    const sys_days date{year(t.Year) / month(unsigned(t.Month)) / day(unsigned(t.Day))};
    const double days = double((date - sys_days{year(1899) / December / day(30)}).count());
    const double frac = (t.Hour * 3600.0 + t.Minute * 60.0 + t.Second) / 86400.0;
    // Before the origin the time counts away from it, as the date-time type has it.
    return days < 0 ? days - frac : days + frac;
}

namespace {
int CapturePart(const TExif* view, int TCaptureTime::*part) {
    TCaptureTime t;
    if (!HasExif(view) || !CaptureTimeOf(view, t)) return -1;
    return t.*part;
}
}  // namespace

int GetCaptureYear(const TExif* view) { return CapturePart(view, &TCaptureTime::Year); }
int GetCaptureMonth(const TExif* view) { return CapturePart(view, &TCaptureTime::Month); }
int GetCaptureDay(const TExif* view) { return CapturePart(view, &TCaptureTime::Day); }
int GetCaptureHour(const TExif* view) { return CapturePart(view, &TCaptureTime::Hour); }
int GetCaptureMinute(const TExif* view) { return CapturePart(view, &TCaptureTime::Minute); }
int GetCaptureSecond(const TExif* view) { return CapturePart(view, &TCaptureTime::Second); }
