// Show files and settings groups written byte by byte, independently of the writers
// under test: containers with their 32-byte header, chunks, blocks and the groups'
// stored forms.
#pragma once

#include "TestSupport.h"

#include <cstdint>
#include <string>
#include <vector>

namespace showfix {

constexpr uint32_t kShowType = 0x501;
constexpr uint32_t kShowVersion = 0x305;

// A length-prefixed block: u32 length counting its own four bytes, then the content.
inline Bytes Block(const Bytes& content) {
    Bytes b;
    b.u32(static_cast<uint32_t>(content.size() + 4)).raw(content.vec());
    return b;
}

// A chunk: "CHNK", type, size counting the 12 header bytes, then the payload.
inline Bytes Chunk(uint32_t type, const Bytes& payload) {
    Bytes b;
    b.tag("CHNK").u32(type).u32(static_cast<uint32_t>(payload.size() + 12)).raw(payload.vec());
    return b;
}

// A whole container file: the header, then the given top-level chunks.
class File {
public:
    File(uint32_t fileType = kShowType, uint32_t version = kShowVersion) : type_(fileType), version_(version) {}
    File& Add(const Bytes& chunk, int count = 1) {
        body_.raw(chunk.vec());
        chunks_ += count;
        return *this;
    }
    // Raw bytes that count as no chunk (damage).
    File& Raw(const Bytes& b) {
        body_.raw(b.vec());
        return *this;
    }
    File& SetChunkCount(uint32_t n) {
        forcedCount_ = static_cast<int64_t>(n);
        return *this;
    }
    Bytes Build() const {
        const uint64_t size = 32 + body_.size();
        Bytes b;
        b.tag("OKNF").u32(static_cast<uint32_t>(size)).u32(0x00010002).u32(type_);
        b.u32(forcedCount_ >= 0 ? static_cast<uint32_t>(forcedCount_) : static_cast<uint32_t>(chunks_));
        b.u32(version_).u64(size).raw(body_.vec());
        return b;
    }

private:
    uint32_t type_, version_;
    Bytes body_;
    int chunks_ = 0;
    int64_t forcedCount_ = -1;
};

// ---- settings groups, as their WriteProperties lays them out ----

struct Main {
    int32_t DefaultDuration = 5000;
    uint8_t StretchQuality = 1, CustomStretchFilter = 1, FitOption = 0, EndAction = 0;
    uint8_t EndActionOnUserStop = 1;
    int32_t AspectX = 4, AspectY = 3;
    uint8_t ReservedFlag = 0;
    uint8_t DisableTransitions = 0;
    std::vector<std::string> Excluded;
    std::string Player;
    Bytes Block1Extra;  // bytes a newer writer might append to block 1
};

inline Bytes MainGroup(const Main& m) {
    Bytes b1, b2, b3, b4;
    b1.i32(m.DefaultDuration).u8(m.StretchQuality).u8(m.CustomStretchFilter).u8(m.FitOption).u8(m.EndAction);
    b1.u8(m.EndActionOnUserStop).i32(m.AspectX).i32(m.AspectY).raw(m.Block1Extra.vec());
    b2.u8(m.ReservedFlag);
    b3.u8(m.DisableTransitions).u32(static_cast<uint32_t>(m.Excluded.size()));
    for (const auto& s : m.Excluded) b3.str(s);
    b4.str(m.Player);
    Bytes out;
    out.raw(Block(b1).vec()).raw(Block(b2).vec()).raw(Block(b3).vec()).raw(Block(b4).vec());
    return out;
}

struct Logo {
    uint8_t ShowLogo = 1;
    std::string FileName;
    int32_t LogoTime = 5000;
    uint8_t Flag1 = 1, Flag2 = 1;
};

inline Bytes LogoGroup(const Logo& l) {
    Bytes b;
    b.u8(l.ShowLogo).str(l.FileName).i32(l.LogoTime).u8(l.Flag1).u8(l.Flag2);
    return b;
}

struct Info {
    std::string Author, Title, Description, Copyright;
    std::vector<uint8_t> Data;
};

inline Bytes InfoGroup(const Info& i) {
    Bytes data;
    data.raw(i.Data);
    Bytes b;
    b.str(i.Author).str(i.Title).str(i.Description).str(i.Copyright).raw(Block(data).vec());
    return b;
}

struct Player {
    int32_t PreloadTime = 10000;
    uint8_t OnlyDueAtStart = 0;
    int32_t StoredWidth = 800, StoredHeight = 600, ClientWidth = 800, ClientHeight = 600;
    uint8_t FullScreen = 1, Extra1 = 0, Extra2 = 1;
    Bytes BaseExtra;
    // The standard set's second block.
    uint8_t A = 2, F = 1, B = 0, C = '?', D = 0, E = 0, OnlyDueAtStart2 = 0;
};

inline Bytes PlayerBaseBlock(const Player& p) {
    Bytes b;
    b.i32(p.PreloadTime).u8(p.OnlyDueAtStart).i32(p.StoredWidth).i32(p.StoredHeight);
    b.i32(p.ClientWidth).i32(p.ClientHeight).u8(p.FullScreen).u8(p.Extra1).u8(p.Extra2).raw(p.BaseExtra.vec());
    return Block(b);
}

inline Bytes StandardPlayerGroup(const Player& p) {
    Bytes b2;
    b2.u8(p.A).u8(p.F).u8(p.B).u8(p.C).u8(p.D).u8(p.E).u8(p.OnlyDueAtStart2);
    Bytes out;
    out.raw(PlayerBaseBlock(p).vec()).raw(Block(b2).vec());
    return out;
}

// The music settings group with its play list (items in the current form).
struct MusicItem {
    std::string FileName;
    uint32_t Volume = 255;
    int32_t Start = 0, End = 0, FadeIn = 0, FadeOut = 0, Gap = 1000, Length = -2, Delay = 0;
};

struct Music {
    uint8_t MusicOn = 1, PlayListOn = 1;
    int32_t EndFadeTime = 2000;
    uint8_t Repeat = 1;
    uint32_t Volume = 255;
    uint8_t Follow = 0;
    int32_t SoundFadeTime = 300, VolumeDuringSound = 40;
    std::vector<MusicItem> Items;
    uint8_t LowerObjectSounds = 0;
};

inline Bytes MusicGroup(const Music& m) {
    Bytes items;
    for (const auto& it : m.Items) {
        items.str(it.FileName).u32(it.Volume).i32(it.Start).i32(it.End).i32(it.FadeIn).i32(it.FadeOut);
        items.i32(it.Gap).i32(it.Length).i32(it.Delay).raw(Block(Bytes()).vec()).raw(Block(Bytes()).vec());
    }
    Bytes list;
    list.u32(static_cast<uint32_t>(m.Items.size())).raw(Block(items).vec());
    Bytes b;
    b.u8(m.MusicOn).u8(m.PlayListOn).i32(m.EndFadeTime).u8(m.Repeat).u32(m.Volume).u8(m.Follow);
    b.i32(m.SoundFadeTime).i32(m.VolumeDuringSound).raw(Block(list).vec()).u8(m.LowerObjectSounds);
    return b;
}

// A 0x410 chunk: the group's class name, then its fields.
inline Bytes GroupChunk(const std::string& className, const Bytes& fields) {
    Bytes p;
    p.str(className).raw(fields.vec());
    return Chunk(0x410, p);
}

// A 0x403 thumbnail chunk: u32 1, the item's position, a block of picture bytes.
inline Bytes ThumbnailChunk(uint32_t position) {
    Bytes jpeg;
    jpeg.u8(0xFF).u8(0xD8).u8(0xFF).u8(0xD9);
    Bytes p;
    p.u32(1).u32(position).raw(Block(jpeg).vec());
    return Chunk(0x403, p);
}

// ---- items (chunk 0x401) and list runs (chunk 0x402) ----

inline Bytes Run(int32_t count) { return Chunk(0x402, Bytes().i32(count)); }

inline Bytes Item(const std::string& className, const Bytes& data) {
    Bytes p;
    p.str(className).raw(data.vec());
    return Chunk(0x401, p);
}

// The playable part of every kind: Enabled, Duration, StartTime, TimeOffset, keywords,
// an empty event list.
inline Bytes Playable(int32_t duration, bool enabled = true, int32_t start = -1) {
    Bytes b;
    b.u8(enabled ? 1 : 0).i32(duration).i32(start).i32(0).str("").u32(0);
    return b;
}

inline Bytes Dummy(int32_t duration, const std::string& text = "", bool enabled = true) {
    Bytes b = Playable(duration, enabled);
    b.raw(Block(Bytes().str(text)).vec());
    return Item("TDummySlideShowObject", b);
}

inline Bytes Chapter(const std::string& title, int32_t duration = -1) {
    Bytes b = Playable(duration);
    b.str(title);
    return Item("TContainerSlideShowObject", b);
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.raw(p.vec());
    return b;
}

}  // namespace showfix
