#include "platform/Shell.h"

#include "platform/Charset.h"
#include "platform/DebugOutput.h"
#include "platform/Paths.h"
#include "platform/TextSplit.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

class TLinuxShellSystem : public TShellSystem {
public:
    bool Spawn(const std::vector<std::string>& argv) override {
        if (argv.empty() || argv[0].empty()) return false;
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        pid_t pid = 0;
        const int error = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
        if (error != 0) {
            OutputDebugString("Cannot start " + Utf8ToAnsi(argv[0]) + ": " + Utf8ToAnsi(std::strerror(error)));
            return false;
        }
        // Reaped on the side, so a started program never lingers as a zombie; one that
        // fails (an opener that finds no browser) is named.
        std::thread([pid, program = argv[0]] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                OutputDebugString(Utf8ToAnsi(program) + " failed (status " + std::to_string(status) + ")");
        }).detach();
        return true;
    }
    void Beep() override {
        if (isatty(STDERR_FILENO)) {
            const char bell = '\a';
            (void)!write(STDERR_FILENO, &bell, 1);
        }
    }
};

TShellSystem* installed = nullptr;

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool OnPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return false;
    const char* path = std::getenv("PATH");
    if (!path) return false;
    for (const std::string_view folder : SplitAt(path, ':')) {
        std::string candidate = folder.empty() ? std::string(".") : std::string(folder);
        candidate.push_back('/');
        candidate.append(name);
        if (IsExecutableFile(candidate)) return true;
    }
    return false;
}

}  // namespace

TShellSystem& ShellSystem() {
    static TLinuxShellSystem system;
    return installed ? *installed : system;
}

void SetShellSystem(TShellSystem* system) { installed = system; }

bool IsAddress(const AnsiString& file) {
    const size_t colon = file.find(':');
    if (colon == AnsiString::npos || colon < 2) return false;
    if (!std::isalpha(static_cast<unsigned char>(file[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(file[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::vector<AnsiString> SplitCommandLine(const AnsiString& s) {
    std::vector<AnsiString> out;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= n) break;
        AnsiString arg;
        bool quoted = false;
        while (i < n && (quoted || (s[i] != ' ' && s[i] != '\t'))) {
            if (s[i] == '\\') {
                size_t k = i;
                while (k < n && s[k] == '\\') ++k;
                const size_t slashes = k - i;
                if (k < n && s[k] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        i = k + 1;
                    } else {
                        i = k;
                    }
                } else {
                    arg.append(slashes, '\\');
                    i = k;
                }
            } else if (s[i] == '"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += s[i++];
            }
        }
        out.push_back(arg);
    }
    return out;
}

bool ShellExecute(const AnsiString& verb, const AnsiString& file, const AnsiString& parameters, int /*showCmd*/) {
    if (file.empty()) return false;
    TShellSystem& shell = ShellSystem();
    if (IsAddress(file)) return shell.Spawn({"xdg-open", AnsiToUtf8(file)});
    const std::string path = ResolvePath(file);
    const bool defaultVerb = verb.empty();
    if (defaultVerb && (IsExecutableFile(path) || OnPath(path))) {
        std::vector<std::string> argv{path};
        for (const AnsiString& a : SplitCommandLine(parameters)) argv.push_back(AnsiToUtf8(a));
        return shell.Spawn(argv);
    }
    if (!Exists(path)) {
        OutputDebugString("Nothing to open: " + file);
        return false;
    }
    return shell.Spawn({"xdg-open", path});
}

void MessageBeep(uint32_t /*type*/) { ShellSystem().Beep(); }
