// What the show tool's commands share: the modules a show file can name, and a file
// written whole.
#pragma once

#include <string>

class TMemoryStream;

// Every module the show file can name, in dependency order.
void StartModules();
// Writes bytes as the whole new content of file; False (with the reason on stderr)
// when that fails, and the old file is as it was.
bool WriteWhole(const std::string& file, TMemoryStream& bytes);
