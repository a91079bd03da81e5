// ImageMagick, loaded on first use: the picture readers reach it through this table, so
// a start that shows no such picture costs no ImageMagick at all. The types come from
// the headers; the libraries are the ones their version, quantum depth and interface
// number name.
#pragma once

#include <wand/MagickWand.h>

#include "dynload/DynamicLibraries.h"

#include <string>
#include <vector>

// The libraries, in the order they load (each after the ones it needs).
enum TMagickPart { mgCore, mgWand, mgPartCount };

// Every function the callers use, with the library that exports it. Reading goes through
// the core's image calls: only they take the image settings whole, among them the range
// of frames to read (the first alone).
#define GC_MAGICK_FUNCTIONS(X)                                                                \
    X(mgCore, GetClientName) X(mgCore, AcquireExceptionInfo) X(mgCore, DestroyExceptionInfo) \
    X(mgCore, ClearMagickException) X(mgCore, AcquireImageInfo) X(mgCore, DestroyImageInfo)  \
    X(mgCore, SetImageInfo) X(mgCore, PingBlob) X(mgCore, BlobToImage)                       \
    X(mgCore, DestroyImageList) X(mgCore, ExportImagePixels) X(mgCore, AutoOrientImage)      \
    X(mgCore, TransformImageColorspace)                                                      \
    X(mgCore, GetMagickResourceLimit) X(mgWand, MagickWandGenesis) X(mgWand, MagickSetResourceLimit)

GC_DYNLOAD_TABLE(TMagickFunctions, "ImageMagick", GC_MAGICK_FUNCTIONS);

// One loading of the libraries (tests load their own).
using TMagickLibrary = TDynamicTable<TMagickFunctions>;

// The names matching the headers we were compiled with ("libMagickCore-6.Q16.so.6",
// ...), indexed by TMagickPart.
std::vector<std::string> MagickSonames();

// The process's ImageMagick, loaded once by whichever thread asks first and kept to the
// end; null when it cannot load, with the reason in error (the same reason every time).
const TMagickFunctions* ImageMagick(std::string& error);
