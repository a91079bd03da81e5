// Songs: tracker modules through libopenmpt, MIDI files through FluidSynth with the
// installed General MIDI sound font. Each renderer loads with the first song of its kind.
#include "dynload/SongLibraries.h"
#include "soundlib/Feed.h"
#include "soundlib/FormatSniff.h"
#include "soundlib/Sources.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#pragma GCC visibility push(hidden)

namespace gcsound {

namespace {

// Neither renderer goes below 8000 Hz: lower mix rates render at a whole multiple
// and average the frames down.
constexpr int kMinRenderRate = 8000;
// Bigger files are no songs we would play.
constexpr uint64_t kMaxSongBytes = 64u << 20;

int RenderFactor(int mixRate) {
    return mixRate >= kMinRenderRate ? 1 : (kMinRenderRate + mixRate - 1) / mixRate;
}

// Renders through render(buffer, frames) at factor × frames and averages back.
template <class F>
int RenderScaled(int factor, int16_t* out, int frames, std::vector<int16_t>& scratch, F render) {
    if (factor == 1)
        return render(out, frames);
    scratch.resize(static_cast<size_t>(frames) * factor * 2);
    int got = render(scratch.data(), frames * factor);
    int outFrames = got / factor;
    for (int i = 0; i < outFrames; ++i) {
        int l = 0, r = 0;
        for (int k = 0; k < factor; ++k) {
            l += scratch[(static_cast<size_t>(i) * factor + k) * 2];
            r += scratch[(static_cast<size_t>(i) * factor + k) * 2 + 1];
        }
        out[i * 2] = static_cast<int16_t>(l / factor);
        out[i * 2 + 1] = static_cast<int16_t>(r / factor);
    }
    return outFrames;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    uint64_t size = 0;
    if (!ReadFileHead(path, kMaxSongBytes + 1, out, size))
        return false;
    return !out.empty() && out.size() <= kMaxSongBytes;
}

class TModuleSong final : public TSongSource {
public:
    TModuleSong(const TOpenMptFunctions& mpt, openmpt_module* module, int mixRate)
        : mpt_(mpt), module_(module), factor_(RenderFactor(mixRate)) {
        rate_ = mixRate * factor_;
        mpt_.openmpt_module_set_repeat_count(module_, 0);
    }
    ~TModuleSong() override { mpt_.openmpt_module_destroy(module_); }

    int Render(int16_t* out, int frames) override {
        return RenderScaled(factor_, out, frames, scratch_, [this](int16_t* buf, int n) {
            return static_cast<int>(
                mpt_.openmpt_module_read_interleaved_stereo(module_, rate_, static_cast<size_t>(n), buf));
        });
    }
    void Restart() override { mpt_.openmpt_module_set_position_seconds(module_, 0.0); }

private:
    const TOpenMptFunctions& mpt_;
    openmpt_module* module_;
    int factor_;
    int rate_;
    std::vector<int16_t> scratch_;
};

const char* FindSoundFont() {
    // The General MIDI font of the distribution, directly or through its alternatives link.
    static const char* const candidates[] = {
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
        "/etc/alternatives/default-GM.sf2",
        "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf3/default-GM.sf3",
        "/etc/alternatives/default-GM.sf3",
    };
    for (const char* path : candidates) {
        struct stat st;
        if (stat(path, &st) == 0 && S_ISREG(st.st_mode))
            return path;
    }
    return nullptr;
}

// FluidSynth's OpenMP runtime keeps idle worker threads after every synth is gone; their
// code must stay mapped when this library is unloaded. It does: the process's FluidSynth,
// and with it its runtime, is never closed.
void SilenceFluidSynth(const TFluidSynthFunctions& fs) {
    static std::once_flag once;
    std::call_once(once, [&fs] {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fs.fluid_set_log_function(level, nullptr, nullptr);
    });
}

class TMidiSong final : public TSongSource {
public:
    explicit TMidiSong(const TFluidSynthFunctions& fs) : fs_(fs) {}
    ~TMidiSong() override {
        if (player_)
            fs_.delete_fluid_player(player_);
        if (synth_)
            fs_.delete_fluid_synth(synth_);
        if (settings_)
            fs_.delete_fluid_settings(settings_);
    }

    bool Open(std::vector<uint8_t> data, int mixRate) {
        const char* font = FindSoundFont();
        if (!font)
            return false;
        SilenceFluidSynth(fs_);
        data_ = std::move(data);
        factor_ = RenderFactor(mixRate);
        settings_ = fs_.new_fluid_settings();
        if (!settings_)
            return false;
        fs_.fluid_settings_setnum(settings_, "synth.sample-rate", static_cast<double>(mixRate * factor_));
        fs_.fluid_settings_setint(settings_, "synth.reverb.active", 0);
        fs_.fluid_settings_setint(settings_, "synth.chorus.active", 0);
        synth_ = fs_.new_fluid_synth(settings_);
        if (!synth_ || fs_.fluid_synth_sfload(synth_, font, 1) == FLUID_FAILED)
            return false;
        return StartPlayer();
    }

    int Render(int16_t* out, int frames) override {
        if (done_)
            return 0;
        int got = RenderScaled(factor_, out, frames, scratch_, [this](int16_t* buf, int n) {
            if (fs_.fluid_synth_write_s16(synth_, n, buf, 0, 2, buf, 1, 2) != FLUID_OK)
                return 0;
            return n;
        });
        if (fs_.fluid_player_get_status(player_) == FLUID_PLAYER_DONE)
            done_ = true;
        return got;
    }

    void Restart() override {
        fs_.fluid_synth_system_reset(synth_);
        StartPlayer();
    }

private:
    bool StartPlayer() {
        if (player_) {
            fs_.fluid_player_stop(player_);
            fs_.delete_fluid_player(player_);
            player_ = nullptr;
        }
        done_ = false;
        player_ = fs_.new_fluid_player(synth_);
        if (!player_ || fs_.fluid_player_add_mem(player_, data_.data(), data_.size()) != FLUID_OK)
            return false;
        return fs_.fluid_player_play(player_) == FLUID_OK;
    }

    const TFluidSynthFunctions& fs_;
    std::vector<uint8_t> data_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    fluid_player_t* player_ = nullptr;
    int factor_ = 1;
    bool done_ = false;
    std::vector<int16_t> scratch_;
};

}  // namespace

std::unique_ptr<TSongSource> LoadSong(const std::string& path, int mixRate) {
    std::vector<uint8_t> data;
    if (!ReadWholeFile(path, data))
        return nullptr;
    // Without its renderer a song does not open, as a stream does not without FFmpeg.
    std::string why;
    if (LooksLikeMidi(data.data(), data.size())) {
        const TFluidSynthFunctions* fs = FluidSynth(why);
        if (!fs) {
            DebugLine("Song \"%s\" does not open: %s", path.c_str(), why.c_str());
            return nullptr;
        }
        auto song = std::make_unique<TMidiSong>(*fs);
        if (!song->Open(std::move(data), mixRate))
            return nullptr;
        return song;
    }
    const TOpenMptFunctions* mpt = OpenMpt(why);
    if (!mpt) {
        DebugLine("Song \"%s\" does not open: %s", path.c_str(), why.c_str());
        return nullptr;
    }
    int error = 0;
    const char* message = nullptr;
    openmpt_module* module =
        mpt->openmpt_module_create_from_memory2(data.data(), data.size(), mpt->openmpt_log_func_silent, nullptr,
                                                mpt->openmpt_error_func_ignore, nullptr, &error, &message, nullptr);
    if (message)
        mpt->openmpt_free_string(message);
    if (!module)
        return nullptr;
    return std::make_unique<TModuleSong>(*mpt, module, mixRate);
}

}  // namespace gcsound

#pragma GCC visibility pop
