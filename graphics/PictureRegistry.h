// The registry of picture formats: which file extensions we read, how, and the
// description each shows in the open dialog's filter list.
#pragma once

#include "platform/SysUtils.h"
#include "graphics/Bitmap32.h"
#include "graphics/PictureReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TStream;

// Decodes a whole file held in memory; raises EInvalidGraphic.
using TPictureReader = std::function<TBitmap32(const uint8_t* data, size_t size, const TPictureLoadOptions& options)>;

// Reads a picture by its file name, for formats that must open the file themselves
// (videos); raises EInvalidGraphic.
using TPictureFileReader = std::function<TBitmap32(const AnsiString& fileName, const TPictureLoadOptions& options)>;

struct TPictureFormat {
    AnsiString Extension;    // lower case, without dot
    AnsiString Description;  // German, without the mask
    TPictureReader Reader;
    // When set, files of the format are read through it; streams and memory still go
    // through Reader.
    TPictureFileReader FileReader;
};

// A later registration of the same extension replaces the earlier one in place.
void RegisterPictureFormat(const AnsiString& extension, const AnsiString& description, TPictureReader reader,
                           TPictureFileReader fileReader = nullptr);
void UnregisterPictureFormat(const AnsiString& extension);
// Registration order.
std::vector<TPictureFormat> PictureFormats();
// False when the extension (with or without dot, any case) is unknown.
bool FindPictureFormat(const AnsiString& extension, TPictureFormat& format);
// Whether a file of that name is read through its format's file reader (a video), which
// may need the GUI thread's messages: such a file is read on the thread that asks for it.
bool PictureFileReadsItself(const AnsiString& fileName);

// "*.jpg;*.jpeg;..." in registration order.
AnsiString GraphicFileMask();
// The combined entry, then one "Description (*.ext)|*.ext" pair per format, joined by "|".
AnsiString GraphicFilter();

// By the extension of fileName; raises EInvalidGraphic (and the stream errors of a
// file that cannot be opened, unless the format reads its files itself).
TBitmap32 LoadPictureFromFile(const AnsiString& fileName, const TPictureLoadOptions& options = {});
// The stream's bytes from its position to the end, read as a picture of the format
// that fileName's extension names; an unknown one raises "Falsches Dateiformat: " + fileName.
TBitmap32 LoadPictureFromStream(TStream& stream, const AnsiString& fileName, const TPictureLoadOptions& options = {});
TBitmap32 LoadPictureFromMemory(const uint8_t* data, size_t size, const AnsiString& fileName,
                                const TPictureLoadOptions& options = {});

// The extension of a Windows or POSIX file name, lower case, without dot; "" when none.
AnsiString PictureExtension(const AnsiString& fileName);

// Registers the formats our readers handle; Finalize removes them again.
void InitializePictureFormats();
void FinalizePictureFormats();
