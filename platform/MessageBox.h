// Message boxes: a modal GTK message dialog with one OK button. Without a display
// (headless runs, tests, a broken X connection) the text goes to stderr and the call
// returns as if OK had been pressed, so the program never hangs or crashes there.
#pragma once

#include "platform/SysUtils.h"

#include <utility>
#include <vector>

enum class TMsgDlgType { mtWarning, mtError, mtInformation };

// Modal results, as the dialogs report them.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// Shows Text (Windows-1252) with the icon and title of Type; returns mrOk.
int ShowMessageBox(const AnsiString& text, TMsgDlgType type);

// True when GTK could be started on a display. Tried once per process; a missing or
// unreachable display, or a GTK that does not load (its reason goes to stderr), answers
// False without aborting. GC_NO_DISPLAY=1 forces False.
bool GuiAvailable();

// Where message boxes go: GTK (stderr without a display) unless a test installed
// another.
class TMessageBoxSystem {
public:
    virtual ~TMessageBoxSystem() = default;
    virtual int Show(const AnsiString& text, TMsgDlgType type) = 0;
};
// Installs system (not owned) until it is called again with null.
void SetMessageBoxSystem(TMessageBoxSystem* system);

// A system for tests: records every box and answers OK.
class TFakeMessageBoxSystem : public TMessageBoxSystem {
public:
    std::vector<std::pair<AnsiString, TMsgDlgType>> Boxes;
    int Show(const AnsiString& text, TMsgDlgType type) override {
        Boxes.emplace_back(text, type);
        return mrOk;
    }
};

// The German title of a box of that type.
AnsiString MessageBoxTitle(TMsgDlgType type);
