// The picture formats as the object kinds need them: the list of extensions they can
// take and the open dialog's filter.
#pragma once

#include "platform/SysUtils.h"

#include <vector>

// Labels of the all-pictures and all-files entries.
extern const char* const SAllPictures;  // "Alle Bilder"
extern const char* const SAllFiles;     // "Alle Dateien"

// Every registered extension once, upper case, without dot, sorted. The list is built
// on first use and kept; Refresh builds it again (after formats were registered).
const std::vector<AnsiString>& GetPictureExtensionList(bool refresh);
// A copy of that list for the caller.
std::vector<AnsiString> CopyPictureExtensionList(bool refresh);
// "Alle Bilder|masks|" entry (AllPictures), one entry per format with equal masks
// removed and equal descriptions merged, then "|Alle Dateien (*.*)|*.*" (AllFiles).
void BuildPictureFilter(bool allPictures, bool allFiles, AnsiString& filter);
// Cuts S from its last "(" on; the whole of S when it holds none.
void StripMaskSuffix(AnsiString& s);

// Builds the extension list from a combined mask "*.a;*.b"; the registry's mask by default.
std::vector<AnsiString> ExtensionListFromMask(const AnsiString& mask);
// The filter from a filter text of description and mask pairs.
AnsiString PictureFilterFromText(const AnsiString& graphicFilter, bool allPictures, bool allFiles);

// Drops the cached list.
void FinalizePictureFormatLists();
