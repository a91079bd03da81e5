// Starting programs, opening documents and web or mail addresses, and the beep.
// Nothing here goes through a shell: programs get their arguments as a list.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

// Where requests leave the process: the system (programs started, the terminal's bell)
// unless a test installed another, so that no test starts a browser.
class TShellSystem {
public:
    virtual ~TShellSystem() = default;
    // Starts argv[0] (looked up on PATH when it holds no slash) with the other entries
    // as its arguments, UTF-8, without waiting. True when the program started.
    virtual bool Spawn(const std::vector<std::string>& argv) = 0;
    virtual void Beep() = 0;
};

// The system in use: the Linux one unless a test installed another.
TShellSystem& ShellSystem();
// Installs system (not owned) until it is called again with null.
void SetShellSystem(TShellSystem* system);

// A system for tests: records what would have been started and how often it beeped,
// starts nothing, and answers that every program started.
class TFakeShellSystem : public TShellSystem {
public:
    std::vector<std::vector<std::string>> Calls;
    int Beeps = 0;
    bool Spawn(const std::vector<std::string>& argv) override {
        Calls.push_back(argv);
        return true;
    }
    void Beep() override { ++Beeps; }
};

// Show commands (kept for the callers; windows of started programs are theirs).
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1 };

// Opens File (Windows-1252; a path with backslashes or an address):
// - an address ("http:", "https:", "mailto:", any scheme of two letters or more) goes
//   to the desktop's opener, xdg-open;
// - with no verb, an executable file, or a program name found on PATH, is started with
//   Parameters split into arguments the way a Windows command line splits them;
// - anything else that exists (a document, or any file with the verb "open") goes to
//   xdg-open.
// False when nothing could be started.
bool ShellExecute(const AnsiString& verb, const AnsiString& file, const AnsiString& parameters, int showCmd);
// The standard signal.
void MessageBeep(uint32_t type);

// Windows command-line splitting: blanks separate, double quotes group, a backslash
// escapes a quote.
std::vector<AnsiString> SplitCommandLine(const AnsiString& parameters);
// True for "scheme:..." with a scheme of two or more letters (a drive "C:" is no address).
bool IsAddress(const AnsiString& file);
