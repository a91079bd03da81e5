// The picture's metadata view: the raw EXIF (APP1), IPTC (APP13) and comment (COM)
// segments of a JPEG file, kept as bytes and parsed again for every question.
#pragma once

#include "foundation/ClassRegistry.h"
#include "platform/SysUtils.h"

#include <cstdint>
#include <memory>
#include <vector>

class TOKFStream;
class TStream;

class TExifContainer : public TObject {
    GC_DECLARE_CLASS(TExifContainer)
public:
    // Segment data as the file holds it, with the two length bytes in front; stored
    // views written before may lack them, and both forms are read.
    AnsiString ExifData;
    AnsiString IptcData;
    // The comment text, without length bytes and without a closing zero byte.
    AnsiString Comment;

    void Assign(const TExifContainer& source);
    bool Empty() const { return ExifData.empty() && IptcData.empty() && Comment.empty(); }
};

class TExif : public TObject {
    GC_DECLARE_CLASS(TExif)
public:
    TExif() = default;
    ~TExif() override = default;

    // Null: no metadata. Never a container with three empty strings after loading.
    std::unique_ptr<TExifContainer> Container;

    // Reads the segments of a .jpg, .jpeg or .jpe file; true when there was metadata.
    virtual bool LoadFromFile(const AnsiString& fileName);
    // A loaded view, or null when the file has no metadata or cannot be read.
    static std::unique_ptr<TExif> CreateFromFile(const AnsiString& fileName);
    // One block: the three strings, or nothing without a container. False on errors.
    virtual bool WriteData(TOKFStream& stream);
    virtual bool ReadData(TOKFStream& stream);
    virtual void Assign(const TExif& source);

protected:
    bool ReadBlock(TOKFStream& stream, bool readContent);
};

// Collects the metadata segments of a JPEG stream from its position: the first APP1
// that holds EXIF data (an XMP APP1 is passed over), the first Photoshop APP13, the
// first comment. Stops at the image data. False when the stream is not a JPEG.
bool ScanJpegSegments(TStream& stream, TExifContainer& out);

// One EXIF tag as the text variables name it.
struct TExifTagName {
    uint16_t Tag;
    const char* Group;  // "Image" (IFD0), "Photo" (EXIF IFD), "GPSInfo", "Iop"
    const char* Name;
};
// One IPTC field (record, dataset).
struct TIptcFieldName {
    uint16_t Record;
    uint16_t DataSet;
    const char* Name;
};
const std::vector<TExifTagName>& ExifTagNames();
const std::vector<TIptcFieldName>& IptcFieldNames();

// Metadata parsed from a view's segments; lives for one query.
class TExifReader {
public:
    TExifReader(const AnsiString& exifData, const AnsiString& iptcData);
    ~TExifReader();
    TExifReader(const TExifReader&) = delete;
    TExifReader& operator=(const TExifReader&) = delete;

    // True when the EXIF segment held readable EXIF data.
    bool HasExifInfo() const;
    bool HasIptcData() const;
    // DateTimeOriginal (0x9003), else DateTime (0x0132); empty when neither.
    AnsiString DateTime() const;
    // The EXIF user comment without its character-set prefix; empty when none.
    AnsiString ExifComment() const;
    // The value text of a tag named in ExifTagNames (any case); empty when absent.
    AnsiString ExifValue(const AnsiString& tagName) const;
    // The value of an IPTC field named in IptcFieldNames; repeated fields joined by ", ".
    AnsiString IptcValue(const AnsiString& fieldName) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Queries on a view; all take a null view or one without container, and never raise.
bool HasExif(const TExif* view);
bool HasIptc(const TExif* view);
bool HasComment(const TExif* view);
AnsiString GetComment(const TExif* view);
AnsiString GetExifComment(const TExif* view);
// Days since 30.12.1899 with the time as fraction; -1.0 when there is no valid date.
double GetCaptureDateTime(const TExif* view);
// The parts of a valid capture date-time; -1 when there is none.
int GetCaptureYear(const TExif* view);
int GetCaptureMonth(const TExif* view);
int GetCaptureDay(const TExif* view);
int GetCaptureHour(const TExif* view);
int GetCaptureMinute(const TExif* view);
int GetCaptureSecond(const TExif* view);
// Null for a view without container; never raises.
std::unique_ptr<TExifReader> CreateReader(const TExif* view);
