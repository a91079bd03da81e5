// Shows for the render and play tests: three solid-colour pictures of 3 s each, each
// faded in over 1 s.
#pragma once

#include "TestSupport.h"
#include "objects/PictureTestSupport.h"
#include "graphics/VectorTextEffect.h"
#include "media/MusicPlayList.h"
#include "playback/PlaybackModules.h"
#include "transitions/PicTransitions.h"

#include <gtest/gtest.h>

#include <string>

inline const TColor32 kShowColors[] = {0xFFE02020, 0xFF20C040, 0xFF3050E0};

// What a test needs to make, save and load the shows the tool plays: the item kinds,
// the show's groups and the text effects.
inline void ToolShowPlugins() {
    static const bool started = [] {
        InitializeVectorTextEffects(PictureTestPlugins());
        MusicPlayListUnit::Initialize();
        SlideShowPlayerModule::Initialize();
        return true;
    }();
    (void)started;
}

// Writes the show and its pictures (width x height) into dir; answers the show's path.
inline std::string WriteColourShow(const TempDir& dir, int width, int height) {
    ToolShowPlugins();
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
