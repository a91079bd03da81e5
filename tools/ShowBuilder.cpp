// The show builder: the build command of glowcanvas-show (see tools/ShowBuilder.h).
#include "tools/ShowBuilder.h"

#include "document/CollectionSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowProperties.h"
#include "foundation/OKFStream.h"
#include "foundation/Properties.h"
#include "dynload/FFmpegLibrary.h"
#include "dynload/SongLibraries.h"
#include "graphics/PictureRegistry.h"
#include "graphics/VectorTextEffect.h"
#include "media/MidiFile.h"
#include "media/MusicPlayList.h"
#include "media/SlideShowSoundSystem.h"
#include "objects/MergeSlideShowObject.h"
#include "objects/ParticleSlideShowObject.h"
#include "objects/PicSlideShowObject.h"
#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "objects/TextSlideShowObject.h"
#include "platform/Charset.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "platform/SysUtils.h"
#include "soundapi/FSoundTypes.h"
#include "tools/ItemNames.h"
#include "tools/ShowToolSupport.h"
#include "tools/ToolCalls.h"
#include "transitions/TransitionPlugin.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The name a show in outFolder stores for file: relative to the show's folder, with
// backslashes, as the show resolves its items' names.
AnsiString NameBeside(const fs::path& outFolder, const fs::path& file) {
    return FromPosixPath(fs::absolute(file).lexically_normal().lexically_relative(outFolder).string());
}

// Whether the sound library plays a file, and where a play-list item for it ends.
struct TMusicCheck {
    bool Playable = false;
    int32_t EndPoint = 0;  // 0: the file's own end (streams know their length)
    int32_t Length = -1;   // ms it plays; -1 when nothing tells
    std::string Why;       // why it does not play
};

// A tracker module's length through libopenmpt, as the sound library renders it; -1 when
// the file is no module (or libopenmpt does not load), 0 when its length cannot be read.
int32_t ModulePlayingTime(const std::vector<uint8_t>& bytes) {
    std::string why;
    const TOpenMptFunctions* mpt = OpenMpt(why);
    if (!mpt) return -1;
    int error = 0;
    const char* message = nullptr;
    const int probe = mpt->openmpt_probe_file_header(OPENMPT_PROBE_FILE_HEADER_FLAGS_DEFAULT, bytes.data(),
                                                     std::min<size_t>(bytes.size(), 4096), bytes.size(),
                                                     mpt->openmpt_log_func_silent, nullptr,
                                                     mpt->openmpt_error_func_ignore, nullptr, &error, &message);
    if (message) mpt->openmpt_free_string(message);
    if (probe != OPENMPT_PROBE_FILE_HEADER_RESULT_SUCCESS) return -1;
    message = nullptr;
    openmpt_module* module = mpt->openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), mpt->openmpt_log_func_silent, nullptr, mpt->openmpt_error_func_ignore, nullptr,
        &error, &message, nullptr);
    if (message) mpt->openmpt_free_string(message);
    if (!module) return 0;
    const double seconds = mpt->openmpt_module_get_duration_seconds(module);
    mpt->openmpt_module_destroy(module);
    if (!(seconds > 0) || seconds * 1000 > INT32_MAX) return 0;
    return static_cast<int32_t>(std::lround(seconds * 1000));
}

// Whether FFmpeg finds an audio stream it can decode, as the sound library opens streams,
// and the length the sound library takes from it (-1 when none is told).
bool IsAudioStream(const std::string& file, int32_t& length) {
    length = -1;
    std::string why;
    const TFFmpegFunctions* av = FFmpeg(why);
    if (!av) return false;
    av->av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* context = av->avformat_alloc_context();
    if (!context) return false;
    // As the sound library probes: its length comes out the same.
    context->probesize = 2 << 20;
    context->max_analyze_duration = 3 * AV_TIME_BASE;
    if (av->avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    const int index = av->avformat_find_stream_info(context, nullptr) >= 0
                          ? av->av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0)
                          : -1;
    // A rate the sound library refuses makes no stream it plays.
    const int rate = index >= 0 ? context->streams[index]->codecpar->sample_rate : 0;
    const bool audio = index >= 0 && codec && rate >= kFSoundMinStreamRate && rate <= kFSoundMaxStreamRate;
    if (audio) {
        const AVStream* stream = context->streams[index];
        int64_t ms = -1;
        if (context->duration != AV_NOPTS_VALUE && context->duration > 0)
            ms = (context->duration * 1000 + AV_TIME_BASE / 2) / AV_TIME_BASE;
        else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            ms = av->av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
        if (ms > 0 && ms <= INT32_MAX) length = int32_t(ms);
    }
    av->avformat_close_input(&context);
    return audio;
}

// Songs first, as the sound library tells them from streams: a MIDI file ends at its
// last event, a tracker module where libopenmpt says it ends. A song without an end
// point would never play.
TMusicCheck CheckMusic(const std::string& file) {
    TMusicCheck check;
    std::vector<uint8_t> bytes;
    try {
        TFileStream f(TExactPath{file}, fmOpenRead | fmShareDenyWrite);
        // A song file is small; a huge file is a stream, for which the head is enough.
        const int64_t size = std::min<int64_t>(f.GetSize(), 64 << 20);
        bytes.resize(static_cast<size_t>(size));
        bytes.resize(static_cast<size_t>(f.Read(bytes.data(), size)));
    } catch (const std::exception& e) {
        check.Why = "cannot open the file: " + FileErrorReason(e);
        return check;
    }
    if (LooksLikeMidiFile(bytes.data(), bytes.size())) {
        check.EndPoint = check.Length = MidiPlayingTime(bytes.data(), bytes.size());
        check.Playable = check.EndPoint > 0;
        if (!check.Playable) check.Why = "a MIDI song whose playing time cannot be read";
        return check;
    }
    const int32_t module = ModulePlayingTime(bytes);
    if (module >= 0) {
        check.EndPoint = check.Length = module;
        check.Playable = module > 0;
        if (!check.Playable) check.Why = "a tracker module whose playing time cannot be read";
        return check;
    }
    check.Playable = IsAudioStream(file, check.Length);
    if (!check.Playable) check.Why = "no sound file the sound library plays";
    return check;
}

struct TBuildCall {
    // How the program answers a wrong call (its usage, status 2).
    std::function<int(const std::string& why)> WrongCall;
    std::string Folder, Out;
    int32_t Duration = -1;
    std::string Transition = "random";
    std::vector<std::string> Music;
    std::string Title;
    std::vector<std::string> Collages;
    std::string Snow;
    bool Captions = false;
    int32_t AspectX = 0, AspectY = 0;  // 0: the stage fills the screen
};

// Files of a folder the build passes over in silence: the show it writes and the songs,
// snow and collage folders the call names itself.
struct TOwnFiles {
    std::vector<fs::path> Paths;
    bool Holds(const fs::path& file) const {
        std::error_code ec;
        for (const fs::path& p : Paths)
            if (fs::equivalent(p, file, ec)) return true;
        return false;
    }
    // Whether folder holds one of them (a song's folder), at any depth.
    bool Inside(const fs::path& folder) const {
        std::error_code ec;
        const fs::path f = fs::weakly_canonical(folder, ec);
        for (const fs::path& p : Paths) {
            const fs::path rel = fs::weakly_canonical(p, ec).lexically_relative(f);
            if (!rel.empty() && *rel.begin() != "..") return true;
        }
        return false;
    }
};

// Prints that file is left out of the show and why; the file as the user named it.
void LeaveOut(const fs::path& file, const std::string& why) {
    std::cerr << "glowcanvas-show: " << PrintableUtf8(file.string() + ": " + why) << "; left out\n";
}

// The picture files of folder that the picture registry reads, in name order (byte
// order, the order the pack tool stores them in). Every other file and every subfolder
// is named on stderr, except those of own; left counts the files named.
std::vector<fs::path> PictureFiles(const std::string& folder, const TOwnFiles& own, int& left) {
    std::vector<fs::path> files, others;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (own.Holds(it->path())) continue;
        if (it->is_directory(ec)) {
            if (!own.Inside(it->path())) others.push_back(it->path());
            continue;
        }
        TPictureFormat format;
        if (it->is_regular_file(ec) && FindPictureFormat(PictureExtension(Utf8ToAnsi(it->path().filename().string())), format))
            files.push_back(it->path());
        else
            others.push_back(it->path());
    }
    if (ec) std::cerr << "glowcanvas-show: " << folder << ": " << ec.message() << "\n";
    const auto byName = [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); };
    std::sort(files.begin(), files.end(), byName);
    std::sort(others.begin(), others.end(), byName);
    for (const fs::path& p : others) {
        if (fs::is_directory(p, ec)) {
            std::cerr << "glowcanvas-show: " << PrintableUtf8(p.string())
                      << ": a subfolder; the build takes only the pictures lying in " << folder << " itself\n";
            continue;
        }
        const std::string extension = p.extension().string();
        LeaveOut(p, fs::is_regular_file(p, ec)
                        ? (extension.empty() ? std::string("no picture format this system reads")
                                             : "no picture format this system reads (" + extension + ")")
                        : std::string("not a file"));
        ++left;
    }
    return files;
}

// The picture files of folder; none (with the reason on stderr) when it is no folder or
// holds no picture file.
std::vector<fs::path> PicturesOf(const std::string& folder, const TOwnFiles& own, int& left) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        std::cerr << "glowcanvas-show: " << folder << ": no folder\n";
        return {};
    }
    std::vector<fs::path> pictures = PictureFiles(folder, own, left);
    if (pictures.empty()) std::cerr << "glowcanvas-show: " << folder << ": holds no picture file\n";
    return pictures;
}

// What the builder needs to know of a picture: its full size and whether any pixel is
// less than opaque.
struct TPictureFacts {
    int32_t Width = 0, Height = 0;
    bool HasAlpha = false;
};

// Decodes the picture as the player will; false with the reason in why when it does not
// read (an EPS without preview, a damaged file).
bool ReadPictureFacts(const fs::path& file, TPictureFacts& facts, std::string& why) {
    try {
        TPictureLoadOptions options;
        // Big photographs may decode smaller: their size is all that counts, and JPEG
        // has no alpha.
        options.TargetForSize = [&facts](int w, int h, int& tw, int& th) {
            facts.Width = w;
            facts.Height = h;
            tw = std::max(w / 8, 1);
            th = std::max(h / 8, 1);
        };
        const TBitmap32 picture =
            LoadPictureFromFile(FromPosixPath(fs::absolute(file).lexically_normal().string()), options);
        if (picture.Empty()) {
            why = "the picture is empty";
            return false;
        }
        if (facts.Width == 0) {
            facts.Width = picture.Width();
            facts.Height = picture.Height();
        }
        const TColor32* p = picture.Bits();
        const size_t n = size_t(picture.Width()) * size_t(picture.Height());
        for (size_t i = 0; i < n && !facts.HasAlpha; ++i) facts.HasAlpha = (p[i] >> 24) != 0xFF;
        return true;
    } catch (const EPictureTooLarge& e) {
        const int64_t limit = MaxPicturePixels();
        why = "the picture is too large: " + std::to_string(e.Width) + " x " + std::to_string(e.Height) +
              " pixels, more than the limit of " + std::to_string(limit) + " pixels" +
              (limit == kMaxBitmapPixels ? " (2^28)" : "");
    } catch (const EFOpenError& e) {
        // The system's reason only: the message names the file as the program resolved it.
        why = "cannot open the file: " + FileErrorReason(e);
    } catch (const std::exception& e) {
        const std::string reason = AnsiToUtf8(e.what());
        why = reason.empty() ? "the picture cannot be read" : "the picture cannot be read: " + reason;
    }
    return false;
}

// On a 1920 x 1080 screen a picture grows to twice its size at most: a small picture's
// rectangle shrinks to that share of the stage, centred, so it shows as sharp at any
// screen size. Larger pictures fill the whole stage as before.
constexpr double kSharpGrowth = 2.0;
constexpr double kReferenceWidth = 1920, kReferenceHeight = 1080;

TDoubleRect SharpRect(const TPictureFacts& facts) {
    const double w = std::min(1.0, kSharpGrowth * facts.Width / kReferenceWidth);
    const double h = std::min(1.0, kSharpGrowth * facts.Height / kReferenceHeight);
    // A side that reaches the stage means the picture fits by that side: the whole stage.
    if (w >= 1.0 || h >= 1.0) return {0, 0, 1, 1};
    return {(1 - w) / 2, (1 - h) / 2, (1 + w) / 2, (1 + h) / 2};
}

// How a picture with these facts combines and where it sits.
void ApplyPictureFacts(TBaseBitmapSlideShowObject& item, const TPictureFacts& facts, bool placeBySize) {
    if (facts.HasAlpha) item.BlendMode = bmAlpha;
    if (placeBySize) item.RelativeRect = SharpRect(facts);
}

// A caption from a file name: "03-Lagune.jpg" says "Lagune".
AnsiString CaptionOf(const fs::path& file) {
    const std::string stem = file.stem().string();
    size_t i = 0;
    while (i < stem.size() && std::isdigit(static_cast<unsigned char>(stem[i]))) ++i;
    while (i < stem.size() && (stem[i] == '-' || stem[i] == '_' || stem[i] == ' ')) ++i;
    return Utf8ToAnsi(i < stem.size() ? stem.substr(i) : stem);
}

class TShowBuilder {
public:
    TShowBuilder(const TBuildCall& call, const AnsiString& transitionClass)
        : call_(call), transitionClass_(transitionClass),
          outFolder_(fs::absolute(call.Out).lexically_normal().parent_path()) {}

    AnsiString Name(const fs::path& file) const { return NameBeside(outFolder_, file); }

    // One picture of the show: with --captions a composite whose caption is the file's
    // name, else a picture with effects.
    TSlideShowObject* Picture(const fs::path& file, const TPictureFacts& facts) const {
        if (call_.Captions) {
            auto* item = new TPicTextSoundCompositeSlideShowObject();
            item->FileName = Name(file);
            item->Duration = call_.Duration;
            item->Transition = CreateTransition(transitionClass_);
            item->CaptionText = CaptionOf(file);
            item->CaptionVectorText->Font.Size = 28;
            item->CaptionVectorText->SetAlignment(2);
            ApplyPictureFacts(*item, facts, true);
            return item;
        }
        auto* item = new TExtPicSlideShowObject();
        item->FileName = Name(file);
        item->Duration = call_.Duration;
        item->Transition = CreateTransition(transitionClass_);
        ApplyPictureFacts(*item, facts, true);
        return item;
    }

    // The title over the first item: both in a parallel group, the text zooming in and
    // out over 2 s each.
    TSlideShowObject* WithTitle(TSlideShowObject* first) const {
        auto* title = new TTextSlideShowObject();
        title->Duration = call_.Duration;
        title->SetText(Utf8ToAnsi(call_.Title));
        TFont font = title->GetFont();
        font.Size = 72;
        title->SetFont(font);
        title->SetRelativeRect({0.05, 0.3, 0.95, 0.7});
        title->SetAlignment(2);
        title->TextEffects = std::make_unique<TComplexVectorTextEffect>();
        for (auto* effect : {&title->TextEffects->FirstEffect, &title->TextEffects->SecondEffect}) {
            effect->reset(new TSimpleZoomVectorTextEffect());
            (*effect)->Duration = 2000;
        }
        auto* group = new TParallelSlideShowObject();
        group->Title = title->Text;
        group->CreateChildList();
        group->GetChildList()->Add(first);
        group->GetChildList()->Add(title);
        return group;
    }

    // The pictures in a grid of cells, as square as their count allows.
    TSlideShowObject* Collage(const fs::path& folder, const std::vector<fs::path>& pictures,
                              const std::vector<TPictureFacts>& facts) const {
        auto* collage = new TMergeSlideShowObject();
        collage->Title = Utf8ToAnsi(folder.filename().string());
        collage->Duration = call_.Duration;
        collage->Transition = CreateTransition(transitionClass_);
        collage->CreateChildList();
        const int n = static_cast<int>(pictures.size());
        const int columns = static_cast<int>(std::ceil(std::sqrt(double(n))));
        const int rows = (n + columns - 1) / columns;
        constexpr double kGap = 0.02;
        for (int i = 0; i < n; ++i) {
            auto* cell = new TExtPicSlideShowObject();
            cell->FileName = Name(pictures[size_t(i)]);
            cell->FreeTransition();  // the collage reveals itself as a whole
            cell->FillBackground = false;  // a filled cell would cover the cells before it
            const double w = 1.0 / columns, h = 1.0 / rows;
            const int c = i % columns, r = i / columns;
            cell->RelativeRect = {c * w + kGap, r * h + kGap, (c + 1) * w - kGap, (r + 1) * h - kGap};
            ApplyPictureFacts(*cell, facts[size_t(i)], false);
            collage->GetChildList()->Add(cell);
        }
        return collage;
    }

    // Falling flakes over everything in chapter, for its duration.
    TSlideShowObject* WithSnow(TContainerSlideShowObject* chapter, const fs::path& flake, int32_t duration) const {
        auto* snow = new TParticleSlideShowObject();
        snow->FileNames = Name(flake);
        snow->FreeTransition();
        snow->FillBackground = false;
        snow->Direction = 1.5707964f;  // down
        snow->Speed = 0.08f;
        snow->ParticleCount = 150;
        snow->ParticleSize = 0.03f;
        snow->MotionKind = pmSway;
        snow->Amplitude = 0.04f;
        snow->Frequency = 0.3f;
        snow->Duration = duration;
        auto* group = new TParallelSlideShowObject();
        group->Title = "Schnee";
        group->CreateChildList();
        group->GetChildList()->Add(chapter);
        group->GetChildList()->Add(snow);
        return group;
    }

private:
    const TBuildCall& call_;
    AnsiString transitionClass_;
    fs::path outFolder_;
};

// Why a file cannot go into a show at outFolder, "" when it can: the saver reaches only
// what lies in its show's folder, and its package must hold every name the show stores
// (the pack tool's check, names claims them).
std::string NameProblem(const fs::path& outFolder, const fs::path& file, TItemNameClaims& names) {
    const fs::path relative = fs::absolute(file).lexically_normal().lexically_relative(outFolder);
    if (relative.empty() || relative.is_absolute() || *relative.begin() == "..")
        return " lies outside the show's folder " + outFolder.string() + " (put it there or below)";
    AnsiString itemName;
    for (const fs::path& part : relative) {
        if (const char* problem = ItemNameProblem(part.string())) return std::string(": ") + problem;
        if (!itemName.empty()) itemName += '\\';
        itemName += Utf8ToAnsi(part.string());
        const std::string problem = names.Claim(itemName, file.string(), part != relative.filename());
        if (!problem.empty()) return ": " + problem;
    }
    return "";
}

// The show's restart starts its play list again: songs play whole only in a show that
// lasts whole passes of the list. A pass begins with this pause, in which the closing
// fade of the show before runs, as long as it, so that no song is faded or cut.
constexpr int32_t kMusicPause = 1000;
// A remainder shorter than this goes to the picture before instead of showing alone.
constexpr int32_t kShortestPiece = 1000;
// More items than this are no show a builder should write.
constexpr int64_t kMostItems = 100000;

// One pass through the songs as the player lays it out (pause, songs with a gap between
// them); 0 when the first song's length is unknown. The songs that never play say so.
int32_t MusicPass(const std::vector<std::string>& files, const std::vector<TMusicCheck>& checks, int32_t gap) {
    int64_t pass = kMusicPause;
    for (size_t i = 0; i < checks.size(); ++i) {
        if (checks[i].Length <= 0) {
            std::cerr << "glowcanvas-show: " << files[i] << ": its playing time cannot be told, so it "
                      << (i + 1 < files.size() ? "and the songs after it never play\n" : "never plays\n");
            return i == 0 ? 0 : SaturateInt32(pass - gap);
        }
        pass += checks[i].Length + gap;
    }
    return SaturateInt32(pass - gap);
}

// Repeats the items, cycling, until the show lasts whole passes of the music, at least
// one and at least the items' own length; each item lasts duration. make(i) makes the
// i-th item of the cycle again. False (the reason on stderr) when no such show fits.
bool RepeatToMusic(TSlideShowObjectList& items, int32_t duration, int32_t pass,
                   const std::function<TSlideShowObject*(size_t)>& make) {
    const int64_t cycle = int64_t(items.Count()) * duration;
    const int64_t passes = std::max<int64_t>(1, (cycle + pass - 1) / pass);
    const int64_t length = passes * pass;
    if (length > INT32_MAX || length / duration > kMostItems) {
        std::cerr << "glowcanvas-show: the pictures cannot be laid out to the songs' length; songs may be cut "
                     "when the show starts again (give a longer --duration)\n";
        return false;
    }
    const size_t n = size_t(items.Count());
    int64_t total = cycle;
    for (size_t i = n; total + duration <= length; ++i, total += duration) items.Add(make(i % n));
    const int32_t rest = int32_t(length - total);
    if (rest == 0) return true;
    TSlideShowObject* last = items.GetItem(items.Count() - 1);
    if (rest < kShortestPiece && !Supports<ICollection>(last) && items.Count() > 1) {
        last->SetDuration(last->GetDuration() + rest);
        return true;
    }
    TSlideShowObject* piece = make(size_t(items.Count()) % n);
    piece->SetDuration(rest);
    items.Add(piece);
    return true;
}

// The call's songs as the show's play list; laidOut: the pictures were laid out to whole
// passes of it, which then open with a pause and close with a fade. False (said on
// stderr) when the build has no background music.
bool AddMusic(TSlideShow& show, const TBuildCall& call, const TShowBuilder& builder,
              const std::vector<TMusicCheck>& checks, bool laidOut) {
    auto* music = dynamic_cast<TMusicProperties*>(show.MusicProperties);
    if (!music) {
        std::cerr << "glowcanvas-show: this build has no background music\n";
        return false;
    }
    for (size_t i = 0; i < call.Music.size(); ++i) {
        auto item = std::make_unique<TMusicPlayListItem>();
        item->FileName = builder.Name(call.Music[i]);
        if (checks[i].EndPoint > 0) item->EndPoint = checks[i].EndPoint;
        if (i == 0 && laidOut) item->Delay = kMusicPause;
        music->PlayList->Add(std::move(item));
    }
    if (laidOut) music->EndFadeTime = kMusicPause;
    return true;
}

// Why the build may not write its show over out, "" when it may: the build replaces
// a show only, never one of the files it reads.
std::string OutputProblem(const TBuildCall& call) {
    std::error_code ec;
    const fs::path out = call.Out;
    if (!fs::exists(out, ec)) return "";
    if (fs::is_directory(out, ec)) return "is a folder";
    for (const std::string& song : call.Music)
        if (fs::equivalent(out, song, ec)) return "is one of the songs this build plays";
    if (!call.Snow.empty() && fs::equivalent(out, call.Snow, ec)) return "is the picture of the snow";
    try {
        TFileStream f(TExactPath{call.Out}, fmOpenRead | fmShareDenyNone);
        if (f.GetSize() > 0 && TOKFStream(&f, okfRead).Header.FileType == kSlideShowFileType) return "";
    } catch (const EFOpenError& e) {
        return "cannot be read to tell whether it is a show: " + FileErrorReason(e);
    } catch (const std::exception&) {
        // No container: no show.
    }
    TPictureFormat format;
    if (FindPictureFormat(PictureExtension(Utf8ToAnsi(out.filename().string())), format)) {
        const fs::path folder = fs::absolute(out).parent_path();
        bool read = fs::equivalent(folder, call.Folder, ec);
        for (const std::string& collage : call.Collages) read = read || fs::equivalent(folder, collage, ec);
        if (read) return "is one of the pictures this build reads; give the show a name of its own (Slideshow.kls)";
    }
    return "exists and is not a show; the build replaces only a show";
}

// What the build reads: the pictures it takes with the facts it read of them, the
// songs' checks, and how many files it left out.
struct TBuildInputs {
    std::vector<fs::path> Pictures;
    std::vector<TPictureFacts> PictureFacts;
    std::vector<std::vector<fs::path>> Collages;
    std::vector<std::vector<TPictureFacts>> CollageFacts;
    std::vector<TMusicCheck> Checks;
    int Left = 0;
};

// The files the call names and the picture files of its folders; false (said on stderr)
// when one is missing or a folder holds no picture file.
bool FindInputs(const TBuildCall& call, TBuildInputs& in) {
    // What the call names itself is no picture the folders are searched for.
    TOwnFiles own;
    own.Paths.push_back(call.Out);
    for (const std::string& file : call.Music) own.Paths.push_back(file);
    if (!call.Snow.empty()) own.Paths.push_back(call.Snow);
    for (const std::string& folder : call.Collages) own.Paths.push_back(folder);
    in.Pictures = PicturesOf(call.Folder, own, in.Left);
    if (in.Pictures.empty()) return false;
    for (const std::string& folder : call.Collages) {
        in.Collages.push_back(PicturesOf(folder, own, in.Left));
        if (in.Collages.back().empty()) return false;
    }
    std::error_code ec;
    TPictureFormat format;
    if (!call.Snow.empty() &&
        (!fs::is_regular_file(call.Snow, ec) ||
         !FindPictureFormat(PictureExtension(FromPosixPath(fs::path(call.Snow).filename().string())), format))) {
        std::cerr << "glowcanvas-show: " << call.Snow << ": no picture file for the snow\n";
        return false;
    }
    for (const std::string& file : call.Music) {
        if (fs::is_directory(file, ec)) {
            std::cerr << "glowcanvas-show: " << file << ": a folder; each song needs its own --music FILE\n";
            return false;
        }
        if (!fs::is_regular_file(file, ec)) {
            std::cerr << "glowcanvas-show: " << file << ": no music file there\n";
            return false;
        }
    }
    return true;
}

// Every file is read before anything is written, and every fault is named; false when
// the build cannot go on.
bool ReadInputs(const TBuildCall& call, TBuildInputs& in) {
    // A picture that does not read is left out; a name no package can hold, a snow or
    // a song that does not read fail the build.
    const fs::path outFolder = fs::absolute(call.Out).lexically_normal().parent_path();
    bool ok = true;
    TItemNameClaims names;
    auto named = [&](const fs::path& file) {
        const std::string problem = NameProblem(outFolder, file, names);
        if (!problem.empty()) {
            std::cerr << "glowcanvas-show: " << PrintableUtf8(file.string() + problem) << "\n";
            ok = false;
        }
        return problem.empty();
    };
    // The readable pictures of files, with their facts.
    auto readable = [&](std::vector<fs::path>& files, std::vector<TPictureFacts>& facts) {
        std::vector<fs::path> kept;
        for (const fs::path& file : files) {
            if (!named(file)) continue;
            TPictureFacts f;
            std::string why;
            if (ReadPictureFacts(file, f, why)) {
                kept.push_back(file);
                facts.push_back(f);
            } else {
                LeaveOut(file, why);
                ++in.Left;
            }
        }
        files = std::move(kept);
    };
    readable(in.Pictures, in.PictureFacts);
    if (ok && in.Pictures.empty()) {
        std::cerr << "glowcanvas-show: " << call.Folder << ": no picture in it can be read\n";
        return false;
    }
    for (size_t i = 0; i < in.Collages.size(); ++i) {
        in.CollageFacts.emplace_back();
        readable(in.Collages[i], in.CollageFacts.back());
        if (ok && in.Collages[i].empty()) {
            std::cerr << "glowcanvas-show: " << call.Collages[i] << ": no picture in it can be read\n";
            return false;
        }
    }
    if (!call.Snow.empty() && named(call.Snow)) {
        TPictureFacts flake;
        std::string why;
        if (!ReadPictureFacts(call.Snow, flake, why)) {
            std::cerr << "glowcanvas-show: " << PrintableUtf8(call.Snow + ": " + why) << "\n";
            ok = false;
        }
    }
    for (const std::string& file : call.Music) {
        named(file);
        in.Checks.push_back(CheckMusic(file));
        if (!in.Checks.back().Playable) {
            std::cerr << "glowcanvas-show: " << PrintableUtf8(file + ": " + in.Checks.back().Why) << "\n";
            ok = false;
        }
    }
    return ok;
}

// Checks and reads every input, then builds the show from what it read.
int Build(const TBuildCall& call) {
    const AnsiString className = call.Transition == "random" ? AnsiString("TRandomTransitionPlugin")
                                                             : Utf8ToAnsi(call.Transition);
    if (!CreateTransition(className)) return call.WrongCall("no transition class " + call.Transition);
    if (const std::string problem = OutputProblem(call); !problem.empty()) {
        std::cerr << "glowcanvas-show: " << PrintableUtf8(call.Out + ": " + problem) << "; nothing was written\n";
        return 1;
    }
    TBuildInputs in;
    if (!FindInputs(call, in) || !ReadInputs(call, in)) return 1;
    const std::vector<fs::path>& pictures = in.Pictures;
    const std::vector<TPictureFacts>& pictureFacts = in.PictureFacts;
    const std::vector<std::vector<fs::path>>& collages = in.Collages;
    const std::vector<std::vector<TPictureFacts>>& collageFacts = in.CollageFacts;
    const std::vector<TMusicCheck>& checks = in.Checks;

    TSlideShow show;
    // With music the show is laid out to the songs' lengths: each picture keeps the
    // duration counted on, whatever a saver's options say later.
    TBuildCall laid = call;
    if (!call.Music.empty() && laid.Duration < 0 && show.SlideShowProperties)
        laid.Duration = show.SlideShowProperties->DefaultDuration;
    const TShowBuilder builder(laid, className);
    // With snow, the items go into a chapter that the flakes fall over.
    TContainerSlideShowObject* chapter = nullptr;
    if (!call.Snow.empty()) {
        chapter = new TContainerSlideShowObject();
        chapter->Title = "Bilder";
        chapter->CreateChildList();
        show.RootList().Add(chapter);
    }
    TSlideShowObjectList& items = chapter ? *chapter->GetChildList() : show.RootList();
    for (size_t i = 0; i < pictures.size(); ++i) {
        TSlideShowObject* item = builder.Picture(pictures[i], pictureFacts[i]);
        items.Add(i == 0 && !call.Title.empty() ? builder.WithTitle(item) : item);
    }
    for (size_t i = 0; i < collages.size(); ++i) items.Add(builder.Collage(call.Collages[i], collages[i], collageFacts[i]));
    const int32_t pass = MusicPass(call.Music, checks, TMusicPlayListItem().Gap);
    const bool laidOut = pass > 0 && laid.Duration > 0 &&
                         RepeatToMusic(items, laid.Duration, pass, [&](size_t i) -> TSlideShowObject* {
                             if (i < pictures.size()) return builder.Picture(pictures[i], pictureFacts[i]);
                             const size_t c = i - pictures.size();
                             return builder.Collage(call.Collages[c], collages[c], collageFacts[c]);
                         });
    if (chapter) {
        // Its length with the show's default duration, which needs the show.
        const int32_t duration = chapter->GetDuration();
        show.RootList().RemoveObject(chapter, false);
        show.RootList().Add(builder.WithSnow(chapter, call.Snow, duration));
    }

    if (TSlideShowProperties* props = show.SlideShowProperties) {
        props->AspectX = call.AspectX;
        props->AspectY = call.AspectY;
    }
    if (!call.Music.empty() && !AddMusic(show, call, builder, checks, laidOut)) return 1;
    TMemoryStream m;
    if (!show.SaveToStream(m)) {
        std::cerr << "glowcanvas-show: the show cannot be stored\n";
        return 1;
    }
    if (!WriteWhole(call.Out, m)) return 1;
    size_t taken = pictures.size();
    for (const std::vector<fs::path>& folder : collages) taken += folder.size();
    std::cout << call.Out << ": " << taken << (taken == 1 ? " picture" : " pictures") << " in the show, " << in.Left
              << (in.Left == 1 ? " file" : " files") << " left out\n";
    return 0;
}

}  // namespace

int BuildCall(const std::vector<std::string>& args, const std::function<int(const std::string& why)>& wrongCall) {
    TBuildCall call;
    call.WrongCall = wrongCall;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        long long ms = 0;
        if (a == "--duration" && hasValue) {
            if (!ParseNumber(args[++i], 1, INT32_MAX, ms))
                return call.WrongCall("--duration takes milliseconds (at least 1), not " + args[i]);
            call.Duration = static_cast<int32_t>(ms);
        } else if (a == "--transition" && hasValue) {
            call.Transition = args[++i];
        } else if (a == "--music" && hasValue) {
            call.Music.push_back(args[++i]);
        } else if (a == "--title" && hasValue) {
            call.Title = args[++i];
            if (call.Title.empty()) return call.WrongCall("--title takes a text");
        } else if (a == "--collage" && hasValue) {
            call.Collages.push_back(args[++i]);
        } else if (a == "--snow" && hasValue) {
            call.Snow = args[++i];
        } else if (a == "--captions") {
            call.Captions = true;
        } else if (a == "--aspect" && hasValue) {
            const std::string& v = args[++i];
            const size_t colon = v.find(':');
            long long x = 0, y = 0;
            if (v == "fill") {
                call.AspectX = call.AspectY = 0;
            } else if (colon != std::string::npos && ParseNumber(v.substr(0, colon), 1, 100000, x) &&
                       ParseNumber(v.substr(colon + 1), 1, 100000, y)) {
                call.AspectX = static_cast<int32_t>(x);
                call.AspectY = static_cast<int32_t>(y);
            } else {
                return call.WrongCall("--aspect takes fill or W:H (16:9), not " + v);
            }
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return call.WrongCall("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return call.WrongCall("build takes a folder and a show file");
    call.Folder = files[0];
    call.Out = files[1];
    StartModules();
    return Build(call);
}
