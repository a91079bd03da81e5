#include "platform/ProcessInfo.h"

#include "platform/Charset.h"
#include "platform/Paths.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

std::mutex argsLock;
bool argsGiven = false;
std::vector<std::string> givenArgs;

}  // namespace

void SetProcessArguments(int argc, const char* const* argv) {
    std::lock_guard<std::mutex> g(argsLock);
    givenArgs.clear();
    for (int i = 0; i < argc; ++i) givenArgs.emplace_back(argv[i] ? argv[i] : "");
    argsGiven = true;
}

std::vector<std::string> ProcessArguments() {
    {
        std::lock_guard<std::mutex> g(argsLock);
        if (argsGiven) return givenArgs;
    }
    std::ifstream f("/proc/self/cmdline", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t i = 0;
    while (i < all.size()) {
        size_t j = all.find('\0', i);
        if (j == std::string::npos) j = all.size();
        args.push_back(all.substr(i, j - i));
        i = j + 1;
    }
    return args;
}

AnsiString BuildCommandLine(const std::vector<std::string>& args) {
    AnsiString line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) line += ' ';
        const AnsiString a = Utf8ToAnsi(args[i]);
        if (a.empty() || a.find(' ') != AnsiString::npos)
            line += '"' + a + '"';
        else
            line += a;
    }
    return line;
}

AnsiString GetCommandLineText() { return BuildCommandLine(ProcessArguments()); }

AnsiString GetExecutablePath() {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return AnsiString();
    buf.resize(static_cast<size_t>(n));
    return FromPosixPath(buf);
}

int ProcessCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

void RunOnThreads(int count, const std::function<void(int)>& job) {
    std::vector<std::exception_ptr> failures(static_cast<size_t>(std::max(count, 1)));
    const auto run = [&](int k) {
        try {
            job(k);
        } catch (...) {
            failures[size_t(k)] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    std::vector<int> unthreaded;
    for (int k = 1; k < count; ++k) {
        try {
            workers.emplace_back(run, k);
        } catch (...) {
            unthreaded.push_back(k);
        }
    }
    run(0);
    for (int k : unthreaded) run(k);
    for (std::thread& w : workers) w.join();
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
}
