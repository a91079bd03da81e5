#include "dynload/MagickLibrary.h"

namespace {

// "libMagickCore-6.Q16.so.6": release, quantum depth (with HDRI when built so) and the
// interface number the headers give.
std::string Soname(const char* library) {
    const char* hdri = MAGICKCORE_HDRI_ENABLE ? "HDRI" : "";
    return std::string("lib") + library + "-" + std::to_string(MagickLibVersion >> 8) + "." + MagickQuantumDepth +
           hdri + ".so." + std::to_string(MagickLibInterface);
}

}  // namespace

std::vector<std::string> MagickSonames() {
    std::vector<std::string> names(mgPartCount);
    names[mgCore] = Soname("MagickCore");
    names[mgWand] = Soname("MagickWand");
    return names;
}

const TMagickFunctions* ImageMagick(std::string& error) { return LoadOnce<TMagickFunctions>(MagickSonames, error); }
