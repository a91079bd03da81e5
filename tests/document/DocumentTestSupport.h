// Shared pieces of the document tests: the registered item kinds, a fake show, a fake
// player, and the fixture writer that lays out item chunks and list runs byte by byte,
// independently of the writers under test.
#pragma once

#include "TestSupport.h"
#include "document/PlayerServices.h"
#include "document/SlideShowObject.h"
#include "document/SlideShowObjectModules.h"
#include "foundation/Benchmark.h"
#include "foundation/OKFStreamWinTypes.h"
#include "foundation/Plugins.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The kinds of this folder, registered once for the whole test program.
inline TPlugins& TestPlugins() {
    static TPlugins* plugins = [] {
        auto* p = new TPlugins();
        InitializeSlideShowObjectModules(*p);
        return p;
    }();
    return *plugins;
}

struct TUpdateRecord {
    TSlideShowObject* Item;
    int Kind;
    uint16_t Flags;
    std::string Path;
};

// The show as the items see it.
class TFakeShow : public TSlideShowHost {
public:
    TFakeShow() : Root(static_cast<TSlideShowHost*>(this)) {}
    void ObjectChanged(TSlideShowObject* sender, uint16_t flags, int32_t) override {
        Changes.push_back({sender, 0, flags, ""});
    }
    int32_t GetDefaultDuration() const override { return DefaultDuration; }
    AnsiString ResolveFileName(const AnsiString& name) const override { return "/show/" + name; }
    TSlideShowObjectList* GetObjectList() override { return &Root; }
    const IShowMusicProperties* GetMusicProperties() const override { return Music; }
    bool BeginUndoStep(int kind) override {
        Steps.push_back("begin " + std::to_string(kind));
        return true;
    }
    void RecordInsertedObject(TSlideShowObject*) override { Steps.push_back("insert"); }
    void RecordMoveSource(TSlideShowObject*) override { Steps.push_back("from"); }
    void RecordMoveTarget(TSlideShowObject*) override { Steps.push_back("to"); }
    void EndUndoStep() override { Steps.push_back("end"); }
    void CancelUndoStep() override { Steps.push_back("cancel"); }
    void AddUpdate(TSlideShowObject* item, int kind, uint16_t flags, const TPath& path) override {
        Updates.push_back({item, kind, flags, path.GetPathString()});
    }

    int32_t DefaultDuration = 5000;
    const IShowMusicProperties* Music = nullptr;  // not owned
    TSlideShowObjectList Root;
    std::vector<TUpdateRecord> Changes;
    std::vector<TUpdateRecord> Updates;
    std::vector<std::string> Steps;
};

class TFakePlayer : public IPlayerServices {
public:
    int32_t GetPlayTime() override { return PlayTime; }
    int32_t GetCurrentPlayTime() override { return PlayTime; }
    int32_t GetMusicTime() override { return PlayTime; }
    TBitmap32* GetBackBuffer() override { return BackBuffer; }
    TRect GetClientRect() override { return ClientRect; }
    TSlideShowPlayerProperties* GetSettings() override { return nullptr; }
    TBenchmark& GetBenchmark() override { return Bench; }
    void AddHighPriorityEvent(std::shared_ptr<THighPriorityEvent> e) override { Queue.push_back(std::move(e)); }
    bool RemoveHighPriorityEvent(THighPriorityEvent* e) override {
        for (auto it = Queue.begin(); it != Queue.end(); ++it)
            if (it->get() == e) {
                Queue.erase(it);
                return true;
            }
        return false;
    }
    void SetPaused(bool paused) override { PauseCalls.push_back(paused); }
    void FadeSoundVolume(uint8_t, int32_t) override {}
    void FadeMusicVolume(uint8_t, int32_t) override {}
    void FadeAllVolume(uint8_t, int32_t) override {}
    void PostPlayerMessage(const TMessage& m) override { Posted.push_back(m); }
    void SendPlayerMessage(TMessage& m) override { Posted.push_back(m); }

    int32_t PlayTime = 0;
    TBitmap32* BackBuffer = nullptr;  // not owned
    TRect ClientRect;
    TBenchmark Bench;
    std::vector<std::shared_ptr<THighPriorityEvent>> Queue;
    std::vector<TMessage> Posted;
    std::vector<bool> PauseCalls;
};

// ---- fixture writer ----

inline Bytes Chunk(uint32_t type, const Bytes& payload) {
    Bytes b;
    b.tag("CHNK").u32(type).u32(static_cast<uint32_t>(12 + payload.size())).raw(payload.vec());
    return b;
}
inline Bytes ListRun(int32_t count) { return Chunk(0x402, Bytes().i32(count)); }
inline Bytes ItemChunk(const std::string& className, const Bytes& data) {
    return Chunk(0x401, Bytes().str(className).raw(data.vec()));
}
inline Bytes Block(const Bytes& content) {
    return Bytes().u32(static_cast<uint32_t>(4 + content.size())).raw(content.vec());
}
// An event list with no events.
inline Bytes NoEvents() { return Bytes().u32(0); }
// The playable part: Enabled, Duration, StartTime, TimeOffset, Keywords, events.
inline Bytes PlayableData(int32_t duration, const Bytes& events = NoEvents(), bool enabled = true,
                          int32_t start = -1, int32_t offset = 0, const std::string& keywords = "") {
    return Bytes().u8(enabled ? 1 : 0).i32(duration).i32(start).i32(offset).str(keywords).raw(events.vec());
}
inline Bytes DummyData(int32_t duration, const std::string& text = "", const Bytes& events = NoEvents()) {
    return Bytes().raw(PlayableData(duration, events).vec()).raw(Block(Bytes().str(text)).vec());
}
inline Bytes ChapterData(const std::string& title, int32_t duration = -1) {
    return Bytes().raw(PlayableData(duration).vec()).str(title);
}
inline Bytes Dummy(int32_t duration, const std::string& text = "") {
    return ItemChunk("TDummySlideShowObject", DummyData(duration, text));
}
inline Bytes Chapter(const std::string& title) { return ItemChunk("TContainerSlideShowObject", ChapterData(title)); }
inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.raw(p.vec());
    return b;
}
// A container file with header: type 0x501, the given version and chunk count.
inline Bytes ShowFile(const Bytes& chunks, uint32_t chunkCount, uint32_t version = 0x305) {
    Bytes b;
    b.tag("OKNF").u32(static_cast<uint32_t>(32 + chunks.size())).u32(0x00010002).u32(0x501).u32(chunkCount)
        .u32(version).u64(32 + chunks.size()).raw(chunks.vec());
    return b;
}

// Reads a header-less run with content version `version`.
struct TReadOutcome {
    int32_t Result = 0;
    int32_t ChunkCount = 0;
    bool Failed = false;
    int32_t Dropped = 0;
    int64_t EndPosition = 0;
};
inline TReadOutcome ReadRunBytes(TSlideShowObjectList& list, const std::vector<uint8_t>& bytes,
                                 uint32_t version = 0x305) {
    TestPlugins();
    TMemoryStream m(bytes);
    TOKFStreamWinTypes s(&m, okfRaw);
    s.Header.FileType = 0x501;
    s.Header.ContentVersion = version;
    TReadOutcome r;
    r.Result = list.ReadObjects(s, 0, TSlideShowObjectList::kAtEnd, {}, r.ChunkCount);
    r.Failed = list.LastReadFailed();
    r.Dropped = list.DroppedCount();
    r.EndPosition = m.GetPosition();
    return r;
}

inline std::vector<uint8_t> WriteRunBytes(TSlideShowObjectList& list) {
    TMemoryStream m;
    EXPECT_TRUE(list.SaveToStream(m));
    return m.Bytes();
}
