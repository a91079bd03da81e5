// Shows for the run tests: solid-colour pictures, each faded in over a second and then
// still, saved as a show file beside them.
#pragma once

#include "TestSupport.h"
#include "objects/PicSlideShowObject.h"
#include "document/SlideShow.h"
#include "graphics/PngWriter.h"
#include "platform/Paths.h"
#include "transitions/PicTransitions.h"

#include <filesystem>
#include <string>
#include <vector>

inline const TColor32 kRunColors[] = {0xFFE02020, 0xFF20C040, 0xFF3050E0, 0xFFE0C020};

// Writes folder/bildN.png (width x height, N from 0 to count - 1, one per colour).
inline void WriteRunPictures(const std::filesystem::path& folder, int count, int width, int height) {
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        TBitmap32 picture;
        picture.SetSize(width, height);
        picture.Clear(kRunColors[i % 4]);
        WritePngPicture(picture, FromPosixPath((folder / ("bild" + std::to_string(i) + ".png")).string()));
    }
}

// The pictures and folder/show (items of duration ms, the first second a fade); answers
// the show's path.
inline std::string WriteRunShow(const std::filesystem::path& folder, const std::string& show, int count,
                                int32_t duration, int width = 64, int height = 48) {
    WriteRunPictures(folder, count, width, height);
    TSlideShow s;
    for (int i = 0; i < count; ++i) {
        const std::string name = "bild" + std::to_string(i) + ".png";
        auto* item = new TExtPicSlideShowObject();
        item->FileName = AnsiString(name.c_str());
        item->Duration = duration;
        auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
        fade->Duration = 1000;
        item->Transition = std::move(fade);
        s.RootList().Add(item);
    }
    const std::string path = (folder / show).string();
    if (!s.SaveToFile(FromPosixPath(path))) std::abort();
    return path;
}
