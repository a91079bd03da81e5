// EXIF, IPTC and JPEG segment bytes for the metadata tests, laid out by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace exif_fixture {

// Little-endian TIFF pieces.
inline void Le16(std::string& s, uint16_t v) { s += char(v & 0xFF); s += char(v >> 8); }
inline void Le32(std::string& s, uint32_t v) { for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF); }
inline void Entry(std::string& s, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Le16(s, tag); Le16(s, type); Le32(s, count); Le32(s, value);
}

// "Exif\0\0" + TIFF: IFD0 with DateTime (and the EXIF IFD pointer), the EXIF IFD with
// DateTimeOriginal and an ASCII user comment.
inline std::string ExifPayload(const std::string& original, const std::string& plainDate = "2001:01:01 00:00:00") {
    std::string t = "II*";
    t += '\0';
    Le32(t, 8);
    // IFD0 at 8: two entries, ends at 38; DateTime text at 38..58; EXIF IFD at 58.
    Le16(t, 2);
    Entry(t, 0x0132, 2, 20, 38);
    Entry(t, 0x8769, 4, 1, 58);
    Le32(t, 0);
    t += plainDate;
    t += '\0';
    const bool withOriginal = !original.empty();
    const uint16_t n = withOriginal ? 2 : 1;
    const uint32_t dataAt = 58 + 2 + 12u * n + 4;
    Le16(t, n);
    if (withOriginal) Entry(t, 0x9003, 2, 20, dataAt);
    const std::string comment = std::string("ASCII\0\0\0", 8) + "Hallo Welt";
    Entry(t, 0x9286, 7, uint32_t(comment.size()), dataAt + (withOriginal ? 20 : 0));
    Le32(t, 0);
    if (withOriginal) {
        t += original;
        t += '\0';
    }
    t += comment;
    return std::string("Exif\0\0", 6) + t;
}

inline std::string IptcDataSet(uint8_t ds, const std::string& v) {
    std::string s = {char(0x1C), char(2), char(ds), char(v.size() >> 8), char(v.size() & 0xFF)};
    return s + v;
}

inline std::string IptcPayload() {
    std::string iptc = IptcDataSet(120, "Urlaub am Meer") + IptcDataSet(25, "Strand") + IptcDataSet(25, "Sonne");
    std::string s = std::string("Photoshop 3.0\0", 14) + "8BIM";
    s += char(0x04); s += char(0x04);          // resource 0x0404
    s += char(0); s += char(0);                // empty name, padded
    const uint32_t n = uint32_t(iptc.size());
    s += char(n >> 24); s += char(n >> 16); s += char(n >> 8); s += char(n);
    s += iptc;
    if (iptc.size() % 2) s += '\0';
    return s;
}

inline std::string Segment(uint8_t marker, const std::string& payload) {
    const size_t n = payload.size() + 2;
    return std::string{char(0xFF), char(marker), char(n >> 8), char(n & 0xFF)} + payload;
}

// A JPEG as far as the metadata scan reads it: the segments, then image data.
inline std::string Jpeg(const std::vector<std::string>& segments) {
    std::string j = {char(0xFF), char(0xD8)};
    for (const auto& s : segments) j += s;
    j += Segment(0xDB, std::string(65, '\1'));
    j += Segment(0xDA, std::string(10, '\0'));
    j += "\x12\x34\x56";
    j += Segment(0xFE, "nach den Bilddaten");  // never reached
    j += "\xFF\xD9";
    return j;
}

}  // namespace exif_fixture
