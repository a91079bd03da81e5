// Runs the tools of this build, as the tool tests do.
#pragma once

#include "TestSupport.h"
#include "graphics/PngReader.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

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
