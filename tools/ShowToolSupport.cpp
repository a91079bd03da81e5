#include "tools/ShowToolSupport.h"

#include "foundation/Startup.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "playback/PlaybackModules.h"

#include <exception>
#include <iostream>

void StartModules() {
    AddShowPlayingModules();
    RunInitializations();
}

bool WriteWhole(const std::string& file, TMemoryStream& bytes) {
    try {
        TAtomicFile out(file);
        out.WriteBuffer(bytes.Bytes().data(), bytes.GetSize());
        out.Commit();
        return true;
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-show: " << file << ": cannot be written: " << FileErrorReason(e) << "\n";
        return false;
    }
}
