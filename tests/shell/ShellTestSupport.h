// Shared set-up for the shell's tests: a registry of their own and recorded message boxes.
#pragma once

#include "TestSupport.h"
#include "platform/MessageBox.h"

#include <cstdlib>
#include <utility>
#include <vector>

// Points the registry at a fresh folder for the test's lifetime.
class TestRegistry {
public:
    TestRegistry() { ::setenv("GC_REGISTRY_DIR", dir_.Path().c_str(), 1); }
    ~TestRegistry() { ::unsetenv("GC_REGISTRY_DIR"); }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
};

// Records every message box instead of showing it.
class RecordedBoxes {
public:
    RecordedBoxes() {
        SetMessageBoxHook([this](const AnsiString& text, TMsgDlgType type) {
            Boxes.emplace_back(text, type);
            return mrOk;
        });
    }
    ~RecordedBoxes() { SetMessageBoxHook(nullptr); }
    std::vector<std::pair<AnsiString, TMsgDlgType>> Boxes;
};
