// A show file for the render and play tests: three solid-colour pictures of 3 s each,
// each faded in over 1 s.
#pragma once

#include "TestSupport.h"
#include "document/PictureTestSupport.h"
#include "media/MusicPlayList.h"
#include "playback/PlaybackModules.h"
#include "transitions/PicTransitions.h"

#include <gtest/gtest.h>

#include <string>

inline const TColor32 kShowColors[] = {0xFFE02020, 0xFF20C040, 0xFF3050E0};

// The show tests' registry with the play list and the player classes a show stores.
inline void ShowToolTestPlugins() {
    PictureTestPlugins();
    static const bool started = [] {
        MusicPlayListUnit::Initialize();
        SlideShowPlayerModule::Initialize();
        return true;
    }();
    (void)started;
}

// Writes the show and its pictures (width x height) into dir; answers the show's path.
inline std::string WriteColourShow(const TempDir& dir, int width, int height) {
    ShowToolTestPlugins();
    TSlideShow show;
    for (int i = 0; i < 3; ++i) {
        const std::string name = "bild" + std::to_string(i) + ".jpg";
        WriteFileBytes(dir / name, EncodeJpeg(width, height, [&](int, int) { return kShowColors[i]; }));
        auto* item = new TExtPicSlideShowObject();
        item->FileName = AnsiString(name.c_str());
        item->Duration = 3000;
        auto fade = std::make_unique<TAlphablendingTransitionPlugin>();
        fade->Duration = 1000;
        item->Transition = std::move(fade);
        show.RootList().Add(item);
    }
    EXPECT_TRUE(show.SaveToFile(dir.Program() + "show.kls"));
    return dir / "show.kls";
}
