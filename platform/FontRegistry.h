// Fonts the program adds for itself while it runs, as AddFontResource and
// RemoveFontResource add and remove them for a session: every face of a file is known by
// its Windows family name and its style. The font lookup asks here before the installed
// fonts, so text and outlines find a show's own fonts by name. Safe from any thread.
#pragma once

#include "platform/FontFace.h"
#include "platform/SysUtils.h"

#include <cstdint>

// Adds every face of the file (a program path) and answers how many faces it holds; 0
// when it holds none a font reader knows (the file is then not added). A file added again
// is counted again and stays until it was removed as often.
int32_t AddFontResource(const AnsiString& fileName);

// Takes back one addition of the file; with the last one its faces are forgotten, also by
// the face cache. False when the file was not added.
bool RemoveFontResource(const AnsiString& fileName);

// The added face of a family (Windows-1252, without regard to case) that suits the
// TFontStyle bits best: the style itself, else the nearest, a wrong slant weighing more
// than a wrong weight. When several files hold the family, the one added first wins.
bool FindAddedFont(const AnsiString& family, uint8_t style, TFontFile& file);
