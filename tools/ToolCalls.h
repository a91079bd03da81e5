// How the tools take their calls: the usage on stdout for --help or -h (exit 0), and
// on stderr after the reason for a wrong call (exit 2); a failed job exits 1.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

inline int WrongCall(const char* program, const char* usage, const std::string& why) {
    std::cerr << program << ": " << why << "\n" << usage;
    return 2;
}

// True when the call asks for the usage, which is then on stdout.
inline bool AsksForHelp(const std::vector<std::string>& args, const char* usage) {
    if (args.empty() || (args[0] != "--help" && args[0] != "-h")) return false;
    std::cout << usage;
    return true;
}

// A command a tool takes and how many words its call has, the command included.
struct TToolCommand {
    const char* Name;
    size_t MinWords;
    size_t MaxWords = SIZE_MAX;
};

// What every tool with commands does first: the call's words into args, then the usage
// for a call that asks for help (0), or the reason and the usage for one that names no
// command, an unknown one or a wrong number of words (2). -1 when the call goes on.
inline int TakeCommand(int argc, char** argv, const char* program, const char* usage,
                       std::initializer_list<TToolCommand> commands, std::vector<std::string>& args) {
    args.assign(argv + 1, argv + argc);
    if (AsksForHelp(args, usage)) return 0;
    if (args.empty()) return WrongCall(program, usage, "no command given");
    const std::string& command = args[0];
    for (const TToolCommand& c : commands) {
        if (command != c.Name) continue;
        if (args.size() < c.MinWords || args.size() > c.MaxWords)
            return WrongCall(program, usage, "wrong number of arguments for " + command);
        return -1;
    }
    return WrongCall(program, usage, "unknown command " + command);
}

// A number of the call, whole and within [low, high].
inline bool ParseNumber(const std::string& text, long long low, long long high, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0 && value >= low && value <= high;
}

// "WxH" with both from 1 to 16384.
inline bool ParseSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !ParseNumber(text.substr(0, x), 1, 16384, w) ||
        !ParseNumber(text.substr(x + 1), 1, 16384, h))
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}
