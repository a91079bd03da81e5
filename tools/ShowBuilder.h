// The build command of glowcanvas-show: a show of the pictures in a folder, with music,
// a title, collages, snow and captions as the call asks.
#pragma once

#include <string>
#include <vector>

class TMemoryStream;

// Runs the build command; args are the call's words, "build" first. The exit status.
int BuildCall(const std::vector<std::string>& args);

// What the builder takes from glowcanvas-show: the reason and the usage of a wrong call
// (status 2), the modules a show file can name, and a file written whole.
int WrongCall(const std::string& why);
void StartModules();
bool WriteWhole(const std::string& file, TMemoryStream& bytes);
