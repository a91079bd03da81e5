#include "document/SlideShow.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"

#include <gtest/gtest.h>

// The show hands its music group its owner, and counts the closing fade of the music
// in its duration once the group has something to play.
TEST(MusicProperties, TheShowIsItsOwnerAndAddsTheClosingFade) {
    RegisterClass(TMusicProperties::StaticClassInfo());
    {
        TSlideShow show;
        auto* music = dynamic_cast<TMusicProperties*>(show.MusicProperties);
        ASSERT_NE(music, nullptr);
        EXPECT_EQ(music->Show, &show);
        const int32_t silent = show.GetDuration();

        auto item = std::make_unique<TMusicPlayListItem>();
        item->FileName = "song.ogg";
        music->PlayList->Add(std::move(item));
        music->EndFadeTime = 2500;
        EXPECT_EQ(show.GetDuration(), silent + 2500);
        music->MusicOn = false;
        EXPECT_EQ(show.GetDuration(), silent);
    }
    UnRegisterClass(TMusicProperties::StaticClassInfo());
}
