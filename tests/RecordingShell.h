// Stands in for the shell opener while a test runs: records what would have been
// started and how often it beeped, and starts nothing.
#pragma once

#include "platform/Shell.h"

#include <string>
#include <vector>

struct TRecordingShell : TShellBackend {
    TRecordingShell() { previous = SetShellBackend(this); }
    ~TRecordingShell() override { SetShellBackend(previous); }
    bool Spawn(const std::vector<std::string>& argv) override {
        Calls.push_back(argv);
        return true;
    }
    void Beep() override { ++Beeps; }
    std::vector<std::vector<std::string>> Calls;
    int Beeps = 0;
    TShellBackend* previous = nullptr;
};
