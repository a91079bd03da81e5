// Shared set-up for the shell's tests: a registry of their own and recorded message boxes.
#pragma once

#include "TestSupport.h"
#include "platform/MessageBox.h"

#include <cstdlib>
#include <utility>
#include <vector>

using TestRegistry = TestRegistryFolder;

// Records every message box instead of showing it.
class RecordedBoxes {
public:
    RecordedBoxes() { SetMessageBoxSystem(&fake_); }
    ~RecordedBoxes() { SetMessageBoxSystem(nullptr); }

private:
    TFakeMessageBoxSystem fake_;

public:
    std::vector<std::pair<AnsiString, TMsgDlgType>>& Boxes = fake_.Boxes;
};

#include "foundation/Packager.h"
#include "platform/Stream.h"

#include <map>
#include <memory>

// A program file (some bytes) with a package appended that holds the given items.
inline void MakeHostWithPackage(const std::string& host, const std::vector<std::pair<AnsiString, std::vector<uint8_t>>>& items,
                                const std::vector<uint8_t>& program = std::vector<uint8_t>(100, 0x90)) {
    WriteFileBytes(host, program);
    TPackager w;
    if (!w.AppendToFile(host)) std::abort();
    for (const auto& [name, bytes] : items) {
        TMemoryStream m(bytes);
        if (!w.AddStream(m, std::make_unique<TPackageFileListItem>(name))) std::abort();
    }
    if (!w.Close()) std::abort();
}

// The stored options, written byte by byte: one block with the six fields.
inline std::vector<uint8_t> OptionsBytes(const std::string& fileName, bool useSound, bool resume, bool shuffle,
                                         int32_t lastPosition, int32_t defaultDuration) {
    Bytes b;
    b.i32(static_cast<int32_t>(4 + 4 + fileName.size() + 3 + 8)).str(fileName);
    b.u8(useSound).u8(resume).u8(shuffle).i32(lastPosition).i32(defaultDuration);
    return b.vec();
}

// Points the temporary folder at a folder of the test's own.
class TestTempFolder {
public:
    TestTempFolder() {
        const char* old = std::getenv("TMPDIR");
        if (old) saved_ = old, hadOld_ = true;
        ::setenv("TMPDIR", dir_.Path().c_str(), 1);
    }
    ~TestTempFolder() {
        if (hadOld_) ::setenv("TMPDIR", saved_.c_str(), 1);
        else ::unsetenv("TMPDIR");
    }
    const TempDir& Dir() const { return dir_; }
    // The folders whose names begin with prefix.
    size_t EntryCount(const std::string& prefix = "ScreenSaver") const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir_.Path()))
            if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
        return n;
    }

private:
    TempDir dir_;
    std::string saved_;
    bool hadOld_ = false;
};
