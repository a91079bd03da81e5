// Starting programs, opening documents and web or mail addresses, and the beep.
// Nothing here goes through a shell: programs get their arguments as a list.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

// Where requests leave the process. Tests install a recorder, so that no test starts
// a browser.
class TShellBackend {
public:
    virtual ~TShellBackend() = default;
    // Starts argv[0] (looked up on PATH when it holds no slash) with the other entries
    // as its arguments, UTF-8, without waiting. True when the program started.
    virtual bool Spawn(const std::vector<std::string>& argv) = 0;
    virtual void Beep() = 0;
};

// Installs a backend; null brings back the real one. Returns the one before.
TShellBackend* SetShellBackend(TShellBackend* backend);
TShellBackend& GetShellBackend();

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
