// The show of the music end-to-end tests, played on the driven clock and as a packaged
// screen saver: music.wav (30 s of 440 Hz) as background music; a 4 s still, a sound
// item on beep.wav (3 s of 1 kHz), a 2 s still; a restart at the end, after the closing
// fade. Its shape: the music full to 4.0 s, at 40/255 from 4.35 to 7.25 s, full again
// from 7.65 s to 9.6 s, down linearly to silence over the closing fade to 11.6 s (half at
// its middle) and full after the restart; the 1 kHz tone only from 4.3 to 7.3 s.
#pragma once

#include "document/SlideShow.h"
#include "document/SoundSlideShowObject.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "soundlib/SoundFixtures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

// Both files at one amplitude, so each tone's full level is the music's.
inline void WriteMusicShowSounds(const std::filesystem::path& folder, int rate) {
    soundtest::WriteSine((folder / "music.wav").string(), rate, 30.0, 440.0, 8000);
    soundtest::WriteSine((folder / "beep.wav").string(), rate, 3.0, 1000.0, 8000);
}

// The show's items and music; folder is where the sounds lie as the show names them
// (empty: beside the show file). addStill appends a still of the given length.
inline TSoundSlideShowObject* BuildMusicShow(TSlideShow& show, const AnsiString& folder,
                                             const std::function<void(int32_t)>& addStill) {
    show.SlideShowProperties->EndAction = 0;
    auto& music = *dynamic_cast<TMusicProperties*>(show.MusicProperties);
    auto song = std::make_unique<TMusicPlayListItem>();
    song->FileName = folder + "music.wav";
    music.PlayList->Add(std::move(song));
    addStill(4000);
    auto* sound = new TSoundSlideShowObject();
    sound->ChangeFileName(folder + "beep.wav");
    show.RootList().Add(sound);
    addStill(2000);
    return sound;
}

// One window of the shape: the level of a tone over [From, To) ms as a share of the
// music's full level.
struct TToneWindow {
    double From, To, Freq, Share;
};

// The shape within slack ms at each edge of a span (the fade's middle is a point).
inline std::vector<TToneWindow> MusicShowShape(double slack) {
    return {
        {500, 4000 - slack, 440, 1.0},
        {4350 + slack, 7250 - slack, 440, 40.0 / 255},
        {7650 + slack, 9600 - slack, 440, 1.0},
        {10550, 10650, 440, 0.5},
        {4300 + slack, 7300 - slack, 1000, 1.0},
        {500, 4300 - slack, 1000, 0.0},
        {7300 + slack, 11000, 1000, 0.0},
        {12000, 12800, 440, 1.0},
    };
}

// The amplitude of one frequency in the left channel over [from, to) frames (Goertzel).
inline double ToneLevel(const std::vector<int16_t>& stereo, size_t from, size_t to, double freq, int rate) {
    const double w = 2 * M_PI * freq / rate;
    const double k = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < to && 2 * i < stereo.size(); ++i) {
        const double s0 = stereo[2 * i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2 * std::sqrt(std::max(power, 0.0)) / double(to - from);
}
