// How the tools take their calls: the usage on stdout for --help or -h (exit 0), and
// on stderr after the reason for a wrong call (exit 2); a failed job exits 1.
#pragma once

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
