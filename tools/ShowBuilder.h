// The build command of glowcanvas-show: a show of the pictures in a folder, with music,
// a title, collages, snow and captions as the call asks.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Runs the build command; args are the call's words, "build" first. The exit status;
// a wrong call is answered by wrongCall (the program's usage, status 2).
int BuildCall(const std::vector<std::string>& args, const std::function<int(const std::string& why)>& wrongCall);
