// How the pack tool knows the screen saver program: its ELF file has a section of this
// name, which the program puts there itself. Reading the section headers takes a few
// kilobytes whatever the file's size, and a package appended after the program leaves
// them where they were.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#define GC_SAVER_MARK_SECTION ".glowcanvas.saver"

namespace SaverMark {

inline uint64_t Little(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// Why file is not the screen saver program, "" when it is.
inline std::string NotTheSaver(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return "cannot be read";
    in.seekg(0, std::ios::end);
    const uint64_t size = uint64_t(in.tellg());
    auto read = [&](uint64_t at, uint64_t n, std::vector<uint8_t>& bytes) {
        if (at > size || n > size - at) return false;
        bytes.resize(size_t(n));
        in.seekg(std::streamoff(at));
        return bool(in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(n)));
    };
    const char* const notAProgram = "is not the screen saver program (not a Linux program at all)";
    std::vector<uint8_t> h;
    if (!read(0, 64, h) || std::memcmp(h.data(), "\x7F" "ELF", 4) != 0) return notAProgram;
    // Little-endian, 32 or 64 bits: the kinds this program is built as.
    const std::string otherProgram = "is a program, but not the screen saver (glowcanvas) this package belongs to";
    if ((h[4] != 1 && h[4] != 2) || h[5] != 1) return otherProgram;
    const bool wide = h[4] == 2;
    const uint64_t shoff = wide ? Little(&h[0x28], 8) : Little(&h[0x20], 4);
    const int at = wide ? 0x3A : 0x2E;
    const uint64_t shentsize = Little(&h[at], 2), shnum = Little(&h[at + 2], 2), shstrndx = Little(&h[at + 4], 2);
    if (shentsize < (wide ? 64u : 40u) || shnum == 0 || shstrndx >= shnum) return otherProgram;
    std::vector<uint8_t> table, names;
    if (!read(shoff, shentsize * shnum, table)) return otherProgram;
    const uint8_t* strings = &table[size_t(shstrndx * shentsize)];
    const uint64_t namesOffset = wide ? Little(strings + 0x18, 8) : Little(strings + 0x10, 4);
    const uint64_t namesSize = wide ? Little(strings + 0x20, 8) : Little(strings + 0x14, 4);
    if (namesSize > (1u << 20) || !read(namesOffset, namesSize, names)) return otherProgram;
    const std::string mark = GC_SAVER_MARK_SECTION;
    for (uint64_t i = 0; i < shnum; ++i) {
        const uint64_t name = Little(&table[size_t(i * shentsize)], 4);
        if (name + mark.size() < names.size() && std::memcmp(&names[size_t(name)], mark.c_str(), mark.size() + 1) == 0)
            return "";
    }
    return otherProgram;
}

}  // namespace SaverMark
