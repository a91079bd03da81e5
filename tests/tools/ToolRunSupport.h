// Runs the tools of this build, as the tool tests do.
#pragma once

#include "TestSupport.h"
#include "TraceSupport.h"
#include "graphics/PngReader.h"

#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

inline std::filesystem::path ShowTool() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" / "glowcanvas-show";
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Q(const std::string& s) { return "'" + s + "'"; }

// Runs a command line through the shell: its exit status and what it wrote to stdout.
inline ToolRun RunCommand(const std::string& command) {
    ToolRun r;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe.get())) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(pipe.release());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// The show tool with args; its stderr goes through a file in dir.
inline ToolRun RunTool(const TempDir& dir, const std::string& args, const std::string& env = "") {
    const std::string errFile = dir / "stderr.txt";
    ToolRun r = RunCommand(env + Q(ShowTool().string()) + " " + args + " 2>" + Q(errFile));
    const std::vector<uint8_t> e = ReadFileBytes(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

// A picture the tool wrote; an empty bitmap when the file is missing or empty.
inline TBitmap32 ReadPngFile(const std::string& file) {
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    return bytes.empty() ? TBitmap32() : ReadPngPicture(bytes.data(), bytes.size());
}

// A copy of this build's program at saver with folder appended as its package by the pack
// tool; false when the tool fails.
inline bool PackProgram(const std::string& saver, const std::string& folder) {
    const std::filesystem::path tools = ShowTool().parent_path();
    std::filesystem::copy_file(tools / "glowcanvas", saver);
    return RunCommand(Q((tools / "glowcanvas-pack").string()) + " append " + Q(saver) + " " + Q(folder) +
                      " >/dev/null 2>&1")
               .status == 0;
}

// A packaged saver's full-screen run as a desktop starts it, under Xvfb (640 x 480) with
// SDL's disk audio driver: saver (a shell command: the program and its switch) plays
// until the recording holds bytes (16-bit stereo), then a key ends it. prefix comes
// before the run (a cd), env adds variables (GC_REGISTRY_DIR, TMPDIR, ...); firstServer is
// where xvfb-run starts looking for a free display, so that tests running at once differ.
// The run writes its trace (GC_TRACE), which the answer holds.
struct TRecordedRun {
    std::string Status;  // the run's exit status as a line ("0\n")
    std::string Err;
    std::vector<int16_t> Samples;
    std::vector<TTraceLine> Trace;  // the program's own record of its moments
};
inline TRecordedRun RecordFullScreenRun(const TempDir& dir, const std::string& prefix, const std::string& env,
                                        const std::string& saver, int64_t bytes, int firstServer = 99,
                                        int timeoutSeconds = 90) {
    const char* data = std::getenv("GC_TEST_DATA");
    const std::string suppressions =
        data ? (std::filesystem::path(data).parent_path() / "lsan-system.supp").string() : "";
    const std::string recording = dir / "recording.raw";
    const std::string trace = dir / "trace.txt";
    std::filesystem::remove(trace);
    // In a file of its own: saver may hold quotes.
    const std::string script = dir / "record.sh";
    {
        std::ofstream f(script);
        f << saver << " & p=$!\nwhile kill -0 $p 2>/dev/null && [ $(stat -c %s \"$1\" 2>/dev/null || echo 0) -lt $2 ]; "
          << "do sleep 0.2; done\nxdotool key space\nwait $p\n";
    }
    const std::string run = prefix + "env -u SDL_VIDEODRIVER SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + Q(recording) +
                            " LSAN_OPTIONS=suppressions=" + Q(suppressions) +
                            " GC_TRACE=" + Q(trace) + " NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory " + env + " timeout " +
                            std::to_string(timeoutSeconds) + " xvfb-run -a -n " + std::to_string(firstServer) +
                            " -s '-screen 0 640x480x24' sh " + Q(script) + " " + Q(recording) + " " +
                            std::to_string(bytes) + " 2>" + Q(dir / "stderr.txt") + "; echo $?";
    TRecordedRun r;
    r.Status = RunCommand(run).out;
    const std::vector<uint8_t> err = ReadFileBytes(dir / "stderr.txt");
    r.Err.assign(err.begin(), err.end());
    const std::vector<uint8_t> raw = ReadFileBytes(recording);
    r.Samples.resize(raw.size() / 2);
    for (size_t i = 0; i < r.Samples.size(); ++i) r.Samples[i] = int16_t(raw[2 * i] | raw[2 * i + 1] << 8);
    r.Trace = ReadTrace(trace);
    return r;
}
