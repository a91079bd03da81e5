// Show-file tool for tests and for looking into shows, and the screen saver's options
// file of a package (see kUsage). Paths on the command line reach the file system as
// typed. Exit status 0 when the job is done (a show loads with result 0), 1 when it
// failed (the reason on stderr), 2 for a wrong call.

#include "document/CollectionSlideShowObject.h"
#include "objects/MergeSlideShowObject.h"
#include "objects/ParticleSlideShowObject.h"
#include "objects/PicTextSoundCompositeSlideShowObject.h"
#include "objects/TextSlideShowObject.h"
#include "graphics/VectorTextEffect.h"
#include "objects/PicSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowObjectEvents.h"
#include "foundation/OKFStream.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "platform/AtomicFile.h"
#include "platform/Charset.h"
#include "document/SlideShowPlayerProperties.h"
#include "shell/ScreenSaverConfigureLogic.h"
#include "shell/ScreenSaverProperties.h"
#include "tools/ToolCalls.h"
#include "transitions/TransitionModules.h"
#include "transitions/TransitionPlugin.h"
#include "media/MediaModules.h"
#include "media/MidiFile.h"
#include "media/SlideShowSoundSystem.h"
#include "media/MusicPlayList.h"
#include "playback/OffscreenPlayerHost.h"
#include "playback/PlaybackModules.h"
#include "playback/PlayerWindow.h"
#include "playback/RealTimeSlideShowPlayer.h"
#include "graphics/PictureRegistry.h"
#include "graphics/PngWriter.h"
#include "platform/Clock.h"
#include "platform/Random.h"
#include "dynload/FFmpegLibrary.h"
#include "dynload/SongLibraries.h"
#include "foundation/Plugins.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

namespace {

const char* const kUsage =
    "usage: glowcanvas-show dump FILE       a show's load result, header, groups and items\n"
    "       glowcanvas-show resave IN OUT   load a show and save it again\n"
    "       glowcanvas-show options OUT [--duration MS] [--no-sound] [--shuffle] [--no-resume]\n"
    "                                       a screen saver's default options (settings.dat);\n"
    "                                       duration 0 to 3600000 ms (default 3000), sound on,\n"
    "                                       resuming on; --shuffle turns resuming off\n"
    "       glowcanvas-show render FILE --at MS --size WxH [--seed N] OUT.png\n"
    "                                       the window's picture at show time MS, played from 0\n"
    "                                       on a driven clock (random generator seeded with N,\n"
    "                                       default 1); the same call gives the same bytes\n"
    "       glowcanvas-show render FILE --at MS --every STEP --size WxH [--seed N] FOLDER\n"
    "                                       the same in one play at 0, STEP, 2*STEP ... up to MS,\n"
    "                                       into FOLDER/frame-MS.png (MS in five digits or more)\n"
    "       glowcanvas-show play FILE [--window WxH]\n"
    "                                       plays the show silently, full screen when its\n"
    "                                       settings say so or in a window; Escape ends it\n"
    "       glowcanvas-show build FOLDER OUT [--duration MS] [--transition CLASS|random] [--music FILE]...\n"
    "                             [--captions] [--title TEXT] [--collage FOLDER]... [--snow FILE]\n"
    "                                       a show of every picture file of FOLDER in name order,\n"
    "                                       named relative to OUT's folder; each shows MS ms\n"
    "                                       (default: the show's default) with the transition\n"
    "                                       class (default random); the music files make the\n"
    "                                       play list, a MIDI song ending at its last event.\n"
    "                                       --captions: each picture captioned with its file's\n"
    "                                       name (\"03-Lagune.jpg\": \"Lagune\"); --title: the text\n"
    "                                       zooming in and out over the first; --collage: a\n"
    "                                       collage of that folder's pictures after them;\n"
    "                                       --snow: that picture falling as flakes over the\n"
    "                                       show as long as it lasts when built\n"
    "       glowcanvas-show --help\n";

std::string Text(const AnsiString& s) { return AnsiToUtf8(s); }
std::string Quoted(const AnsiString& s) { return "\"" + Text(s) + "\""; }
std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}
const char* Bool(bool b) { return b ? "1" : "0"; }

// Every module the show file can name, in dependency order.
void StartModules() {
    AddShowPlayingModules();
    RunInitializations();
}

// What the container's header says, and why a file that does not load fails.
struct THeaderInfo {
    bool Opened = false;
    bool IsContainer = false;
    TOKFHeader Header;
    std::string Error;
};

THeaderInfo ReadHeaderInfo(const std::string& fileName) {
    THeaderInfo info;
    try {
        TFileStream f(TExactPath{fileName}, fmOpenRead | fmShareDenyNone);
        info.Opened = true;
        TOKFStream c(&f, okfRead);
        info.IsContainer = true;
        info.Header = c.Header;
    } catch (const std::exception& e) {
        info.Error = e.what();
    }
    return info;
}

// Loads the show in the file, which is named as typed; the show resolves the names of
// its items against the file's folder.
int LoadShow(TSlideShow& show, const std::string& fileName) {
    try {
        TFileStream f(TExactPath{fileName}, fmOpenRead | fmShareDenyWrite);
        const int result = show.LoadFromStream(f);
        // Items resolve against the show's folder, which a relative name would tie to
        // the current folder of whoever resolves it later.
        if (result == slLoaded)
            show.SetFileName(FromPosixPath(std::filesystem::absolute(fileName).lexically_normal().string()));
        return result;
    } catch (const std::exception&) {
        return slFailed;
    }
}

std::string FailureReason(const THeaderInfo& h, int result) {
    if (!h.Opened) return "cannot open the file: " + FileErrorReason(Exception(h.Error));
    if (!h.IsContainer) return "no container file: " + Text(h.Error);
    if (h.Header.FileType != kSlideShowFileType)
        return "not a show file (format id " + std::to_string(h.Header.FileType) + ")";
    if (result == slTooOld)
        return "content version " + Hex(h.Header.ContentVersion) + " is older than " + Hex(kSlideShowMinContentVersion);
    return "the show file is damaged";
}

void DumpMain(const TSlideShowProperties& p) {
    std::cout << "  PlayerClass = " << (p.PlayerClass ? p.PlayerClass->Name : "") << "\n"
              << "  DefaultDuration = " << p.DefaultDuration << "\n"
              << "  StretchQuality = " << int(p.StretchQuality) << "\n"
              << "  CustomStretchFilter = " << int(p.CustomStretchFilter) << "\n"
              << "  FitOption = " << int(p.FitOption) << "\n"
              << "  EndAction = " << int(p.EndAction) << "\n"
              << "  EndActionOnUserStop = " << Bool(p.EndActionOnUserStop) << "\n"
              << "  DisableTransitions = " << Bool(p.DisableTransitions) << "\n"
              << "  ExcludedTransitions =";
    for (const ClassInfo* c : p.ExcludedTransitions) std::cout << " " << c->Name;
    std::cout << "\n"
              << "  AspectX = " << p.AspectX << "\n"
              << "  AspectY = " << p.AspectY << "\n"
              << "  ReservedFlag = " << Bool(p.ReservedFlag) << "\n";
}

void DumpGroup(const TPropertiesListItem& item) {
    TProperties* g = item.Instance;
    std::cout << "group " << g->ClassName() << " " << Quoted(item.Name) << "\n";
    if (auto* p = dynamic_cast<TSlideShowProperties*>(g)) {
        DumpMain(*p);
    } else if (auto* p = dynamic_cast<TSlideShowInfoProperties*>(g)) {
        std::cout << "  Title = " << Quoted(p->Title) << "\n"
                  << "  Description = " << Quoted(p->ShowDescription) << "\n"
                  << "  Copyright = " << Quoted(p->Copyright) << "\n"
                  << "  Author = " << Quoted(p->Author) << "\n"
                  << "  InfoData = " << (p->InfoData ? p->InfoData->GetSize() : 0) << " bytes\n";
    } else if (auto* p = dynamic_cast<TSlideShowLogoProperties*>(g)) {
        std::cout << "  ShowLogo = " << Bool(p->ShowLogo) << "\n"
                  << "  FileName = " << Quoted(p->FileName) << "\n"
                  << "  LogoTime = " << p->LogoTime << "\n"
                  << "  LogoFlag1 = " << Bool(p->LogoFlag1) << "\n"
                  << "  LogoFlag2 = " << Bool(p->LogoFlag2) << "\n";
    } else if (auto* p = dynamic_cast<TSlideShowPlayerProperties*>(g)) {
        std::cout << "  PreloadTime = " << p->PreloadTime << "\n"
                  << "  OnlyDueAtStart = " << Bool(p->OnlyDueAtStart) << "\n"
                  << "  StoredWidth = " << p->StoredWidth << "\n"
                  << "  StoredHeight = " << p->StoredHeight << "\n"
                  << "  ClientWidth = " << p->ClientWidth << "\n"
                  << "  ClientHeight = " << p->ClientHeight << "\n"
                  << "  FullScreen = " << Bool(p->FullScreen) << "\n"
                  << "  ExtraOption1 = " << Bool(p->ExtraOption1) << "\n"
                  << "  ExtraOption2 = " << Bool(p->ExtraOption2) << "\n";
        if (auto* s = dynamic_cast<TStandardSlideShowPlayerProperties*>(p))
            std::cout << "  StdValueA = " << int(s->StdValueA) << "\n"
                      << "  StdFlagB = " << Bool(s->StdFlagB) << "\n"
                      << "  StdCharC = " << int(s->StdCharC) << "\n"
                      << "  StdFlagD = " << Bool(s->StdFlagD) << "\n"
                      << "  StdFlagE = " << Bool(s->StdFlagE) << "\n"
                      << "  StdFlagF = " << Bool(s->StdFlagF) << "\n";
    } else if (auto* p = dynamic_cast<TMusicProperties*>(g)) {
        std::cout << "  MusicOn = " << Bool(p->MusicOn) << "\n"
                  << "  PlayListOn = " << Bool(p->PlayListOn) << "\n"
                  << "  EndFadeTime = " << p->EndFadeTime << "\n"
                  << "  RepeatPlayList = " << Bool(p->RepeatPlayList) << "\n"
                  << "  MusicVolume = " << p->MusicVolume << "\n"
                  << "  FollowShowTime = " << Bool(p->FollowShowTime) << "\n"
                  << "  SoundFadeTime = " << p->SoundFadeTime << "\n"
                  << "  VolumeDuringSound = " << p->VolumeDuringSound << "\n"
                  << "  LowerObjectSounds = " << Bool(p->LowerObjectSounds) << "\n"
                  << "  PlayList = " << p->PlayList->Count() << " items\n";
        for (int i = 0; i < p->PlayList->Count(); ++i) {
            const TMusicPlayListItem* m = p->PlayList->Item(i);
            std::cout << "    " << Quoted(m->FileName) << " volume=" << m->Volume << " start=" << m->StartPoint
                      << " end=" << m->EndPoint << " fadein=" << m->FadeInTime << " fadeout=" << m->FadeOutTime
                      << " gap=" << m->Gap << " delay=" << m->Delay << " length=" << m->Length
                      << " curve=" << Bool(m->HasVolumeCurve()) << "\n";
        }
    } else {
        // A group this tool has no view of: its stored size at least.
        TMemoryStream m;
        if (g->SaveToStream(m, kSlideShowFileType, kSlideShowContentVersion))
            std::cout << "  (" << m.GetSize() << " stored bytes)\n";
    }
}

void DumpSettings(TProperties* settings, const std::string& indent) {
    if (!settings) return;
    if (auto* p = dynamic_cast<TExecuteProgramProperties*>(settings)) {
        std::cout << indent << "Kind = " << int(p->Kind) << "\n"
                  << indent << "Target = " << Quoted(p->Target) << "\n"
                  << indent << "Parameters = " << Quoted(p->Parameters) << "\n";
    }
}

std::string Number(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

std::string Curve(const TTimeToValue* curve) {
    return curve ? std::to_string(curve->KeyCount()) + " keys" : std::string("none");
}

// The placement of a bitmap item, its effects and its picture file.
void DumpBitmap(TSlideShowObject* item, const std::string& indent) {
    auto* b = dynamic_cast<TBaseBitmapSlideShowObject*>(item);
    if (!b) return;
    const TDoubleRect& r = b->RelativeRect;
    std::cout << indent << "  rect=(" << Number(r.Left) << ", " << Number(r.Top) << ", " << Number(r.Right) << ", "
              << Number(r.Bottom) << ") keepaspect=" << Bool(b->KeepAspectRatio) << " stretch=" << Bool(b->Stretch)
              << " align=" << int(b->Alignment) << " fill=" << Bool(b->FillBackground) << " color=" << Hex(b->BackgroundColor)
              << " blend=" << int(b->BlendMode) << "\n";
    if (auto* e = dynamic_cast<TBaseExtBitmapSlideShowObject*>(item)) {
        std::cout << indent << "  opacity=" << Curve(e->OpacityCurve.get()) << " rotation=" << Curve(e->RotationCurve.get())
                  << " scale=" << Curve(e->ScaleCurve.get()) << " path=" << Curve(e->MotionPath.get());
        if (e->Transition)
            std::cout << " transition=" << e->Transition->ClassName() << " duration=" << e->Transition->Duration
                      << " enabled=" << Bool(e->Transition->Enabled);
        else
            std::cout << " transition=none";
        std::cout << "\n";
    }
    auto* refs = Supports<IFileReferences>(item);
    if (!refs) return;
    std::cout << indent << "  file=" << Quoted(refs->GetFileName());
    if (auto* p = dynamic_cast<TExtPicSlideShowObject*>(item)) std::cout << " exif=" << int(p->ExifState);
    else if (auto* q = dynamic_cast<TPicSlideShowObject*>(item)) std::cout << " exif=" << int(q->ExifState);
    std::cout << "\n";
}

void DumpItem(TSlideShowObject* item, const std::string& indent) {
    std::cout << indent << item->GetPathString() << " " << item->ClassName() << " enabled=" << Bool(item->GetEnabled());
    auto* playable = Supports<IPlayable>(item);
    if (playable) std::cout << " start=" << playable->GetStartTime();
    std::cout << " duration=" << item->GetDuration();
    if (auto* t = Supports<IText>(item)) std::cout << " text=" << Quoted(t->GetText());
    if (auto* k = Supports<IKeywords>(item); k && !k->GetKeywords().empty())
        std::cout << " keywords=" << Quoted(k->GetKeywords());
    std::cout << " name=" << Quoted(item->GetDisplayName()) << "\n";
    DumpBitmap(item, indent);
    if (playable) {
        if (TSlideShowObjectEventList* events = playable->GetEventList()) {
            for (int i = 0; i < events->Count(); ++i) {
                TSlideShowObjectEvent* e = events->GetItem(i);
                std::cout << indent << "  event " << e->ClassName();
                if (auto* timer = dynamic_cast<TSlideShowObjectEventTimer*>(e)) std::cout << " offset=" << timer->Offset;
                std::cout << "\n";
                DumpSettings(e->Properties(), indent + "    ");
                if (TSlideShowObjectEventActionList* actions = e->ActionList()) {
                    for (int j = 0; j < actions->Count(); ++j) {
                        std::cout << indent << "    action " << actions->GetItem(j)->ClassName() << "\n";
                        DumpSettings(actions->GetItem(j)->Properties(), indent + "      ");
                    }
                }
            }
        }
    }
    if (auto* c = Supports<ICollection>(item)) {
        if (TSlideShowObjectList* children = c->GetChildList()) {
            std::cout << indent << "  children " << children->Count() << "\n";
            for (int i = 0; i < children->Count(); ++i) DumpItem(children->GetItem(i), indent + "  ");
        }
    }
}

int Dump(const std::string& fileName) {
    const THeaderInfo h = ReadHeaderInfo(fileName);
    TSlideShow show;
    const int result = LoadShow(show, fileName);
    std::cout << "load result: " << result << "\n";
    if (!h.IsContainer) {
        std::cerr << "glowcanvas-show: " << fileName << ": " << FailureReason(h, result) << "\n";
        return 1;
    }
    std::cout << "format id: " << h.Header.FileType << " (" << Hex(h.Header.FileType) << ")\n"
                  << "content version: " << h.Header.ContentVersion << " (" << Hex(h.Header.ContentVersion) << ")\n"
                  << "chunks: " << h.Header.ChunkCount << "\n";
    for (int i = 0; i < show.PropertiesList().GetCount(); ++i) DumpGroup(*show.PropertiesList().GetItem(i));
    TSlideShowObjectList& root = show.RootList();
    std::cout << "items: " << root.Count() << " top-level, " << show.GetTotalObjectCount() << " in all\n";
    for (int i = 0; i < root.Count(); ++i) DumpItem(root.GetItem(i), "  ");
    std::cout << "duration: " << show.GetDuration() << "\n"
              << "dropped items: " << show.DroppedItemCount() << "\n";
    if (result != slLoaded) {
        std::cerr << "glowcanvas-show: " << fileName << ": " << FailureReason(h, result) << "\n";
        return 1;
    }
    return 0;
}

// Writes bytes as the whole new content of file; False (with the reason on stderr)
// when that fails, and the old file is as it was.
bool WriteWhole(const std::string& file, TMemoryStream& bytes) {
    try {
        TAtomicFile out(file);
        out.WriteBuffer(bytes.Bytes().data(), bytes.GetSize());
        out.Commit();
        return true;
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-show: cannot write " << file << ": " << FileErrorReason(e) << "\n";
        return false;
    }
}

int Resave(const std::string& in, const std::string& out) {
    TSlideShow show;
    const int result = LoadShow(show, in);
    if (result != slLoaded) {
        std::cerr << "glowcanvas-show: " << in << ": " << FailureReason(ReadHeaderInfo(in), result) << "\n";
        return 1;
    }
    TMemoryStream m;
    if (!show.SaveToStream(m)) {
        std::cerr << "glowcanvas-show: cannot save the show of " << in << "\n";
        return 1;
    }
    if (!WriteWhole(out, m)) return 1;
    if (show.DroppedItemCount() > 0)
        std::cerr << "glowcanvas-show: " << show.DroppedItemCount() << " unreadable items were left out\n";
    return 0;
}

int WrongCall(const std::string& why) { return ::WrongCall("glowcanvas-show", kUsage, why); }

// The options file a package carries as "settings.dat": the stored form of the
// screen saver's options with an empty show name.
int Options(const std::vector<std::string>& args) {
    TScreenSaverProperties options;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--no-sound") {
            options.UseSound = false;
        } else if (a == "--no-resume") {
            options.ResumeAtLastPos = false;
        } else if (a == "--shuffle") {
            // As the settings dialog has it: a shuffled show does not resume.
            options.Shuffle = true;
            options.ResumeAtLastPos = false;
        } else if (a == "--duration" && i + 1 < args.size()) {
            const std::string& v = args[++i];
            long long ms = 0;
            if (!ParseNumber(v, 0, kMaxDefaultDuration, ms))
                return WrongCall("--duration takes milliseconds from 0 to " + std::to_string(kMaxDefaultDuration) +
                                 ", not " + v);
            options.DefaultDuration = static_cast<int32_t>(ms);
        } else {
            return WrongCall("unknown option " + a);
        }
    }
    TMemoryStream m;
    if (!options.SaveToStream(m, 0, 0)) {
        std::cerr << "glowcanvas-show: the options cannot be stored\n";
        return 1;
    }
    return WriteWhole(args[0], m) ? 0 : 1;
}

// The show's own player settings, as the screen saver hands them to its player.
void ApplyShowPlayerSettings(TSlideShow& show, TSlideShowPlayer& player) {
    for (int i = 0; i < show.PropertiesList().GetCount(); ++i)
        if (auto* settings = dynamic_cast<TSlideShowPlayerProperties*>(show.PropertiesList().GetItem(i)->Instance))
            player.SetProperties(settings);
}

bool LoadForPlay(TSlideShow& show, const std::string& file) {
    const int result = LoadShow(show, file);
    if (result == slLoaded) return true;
    std::cerr << "glowcanvas-show: " << file << ": " << FailureReason(ReadHeaderInfo(file), result) << "\n";
    return false;
}

bool WritePicture(const TBitmap32& picture, const std::string& out) {
    try {
        WritePngPicture(picture, FromPosixPath(out));
        return true;
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-show: cannot write " << out << ": " << FileErrorReason(e) << "\n";
        return false;
    }
}

// With every > 0, out is a folder that gets a frame at each multiple of every up to at.
int Render(const std::string& file, int32_t at, int32_t every, int32_t width, int32_t height, uint64_t seed,
           const std::string& out) {
    TSlideShow show;
    if (!LoadForPlay(show, file)) return 1;
    if (every > 0 && ::mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) {
        std::cerr << "glowcanvas-show: cannot make the folder " << out << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    RandSeed(seed);
    TManualTickCount clock;
    // Installed until the render returns, after the player and its host have gone.
    struct TClockInstalled {
        explicit TClockInstalled(TTickSource& source) { SetTickSource(&source); }
        ~TClockInstalled() { SetTickSource(nullptr); }
    } installedClock(clock);
    // No sound system: a render is silent.
    TPluginPtr<TRealTimeSlideShowPlayer> player(new TRealTimeSlideShowPlayer(nullptr));
    ApplyShowPlayerSettings(show, *player);
    TOffscreenPlayerHost host(*player, width, height, &clock);
    host.Play(&show);
    bool written = true;
    if (every > 0) {
        for (int64_t t = 0; t <= at && written; t += every) {
            host.RunFor(int32_t(t - host.Elapsed()));
            char name[32];
            std::snprintf(name, sizeof name, "/frame-%05lld.png", static_cast<long long>(t));
            written = WritePicture(TBitmap32(host.ClientImage()), out + name);
        }
    } else {
        host.RunFor(at);
        written = WritePicture(TBitmap32(host.ClientImage()), out);
    }
    host.Finish();
    return written ? 0 : 1;
}

// The real-time player without sound, in the player window.
class TToolPlayer : public TRealTimeSlideShowPlayer {
public:
    TToolPlayer() : TRealTimeSlideShowPlayer(nullptr) {}
    std::unique_ptr<IPlayerWindow> CreateWindowForm() override { return std::make_unique<TPlayerWindowForm>(); }
};

int Play(const std::string& file, int32_t width, int32_t height) {
    TSlideShow show;
    if (!LoadForPlay(show, file)) return 1;
    Randomize();
    TPluginPtr<TToolPlayer> player(new TToolPlayer());
    ApplyShowPlayerSettings(show, *player);
    if (width > 0) {
        player->GetSettings()->FullScreen = false;
        player->GetSettings()->ClientWidth = width;
        player->GetSettings()->ClientHeight = height;
    }
    player->PlayInWindow(&show, false);
    return 0;
}

int RenderCall(const std::vector<std::string>& args) {
    long long at = -1, seed = 1, every = 0;
    int32_t width = 0, height = 0;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--at" && hasValue) {
            if (!ParseNumber(args[++i], 0, INT32_MAX, at)) return WrongCall("--at takes milliseconds, not " + args[i]);
        } else if (a == "--every" && hasValue) {
            if (!ParseNumber(args[++i], 1, INT32_MAX, every)) return WrongCall("--every takes milliseconds, not " + args[i]);
        } else if (a == "--size" && hasValue) {
            if (!ParseSize(args[++i], width, height)) return WrongCall("--size takes WxH, not " + args[i]);
        } else if (a == "--seed" && hasValue) {
            if (!ParseNumber(args[++i], 0, INT64_MAX, seed)) return WrongCall("--seed takes a number, not " + args[i]);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return WrongCall("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return WrongCall("render takes a show file and a PNG file or folder");
    if (at < 0) return WrongCall("render needs --at");
    if (width == 0) return WrongCall("render needs --size");
    StartModules();
    return Render(files[0], static_cast<int32_t>(at), static_cast<int32_t>(every), width, height,
                  static_cast<uint64_t>(seed), files[1]);
}

int PlayCall(const std::vector<std::string>& args) {
    int32_t width = 0, height = 0;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--window" && i + 1 < args.size()) {
            if (!ParseSize(args[++i], width, height)) return WrongCall("--window takes WxH, not " + args[i]);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return WrongCall("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 1) return WrongCall("play takes one show file");
    StartModules();
    return Play(files[0], width, height);
}

// ---- build ------------------------------------------------------------------------

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

// Whether FFmpeg finds an audio stream it can decode, as the sound library opens streams.
bool IsAudioStream(const std::string& file) {
    std::string why;
    const TFFmpegFunctions* av = FFmpeg(why);
    if (!av) return false;
    av->av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* context = nullptr;
    if (av->avformat_open_input(&context, file.c_str(), nullptr, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    const bool audio = av->avformat_find_stream_info(context, nullptr) >= 0 &&
                       av->av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0) >= 0 && codec;
    av->avformat_close_input(&context);
    return audio;
}

// Songs first, as the sound library tells them from streams: a MIDI file ends at its
// last event, a tracker module where libopenmpt says it ends. A song without an end
// point would never play.
TMusicCheck CheckMusic(const std::string& file) {
    TMusicCheck check;
    std::vector<uint8_t> bytes;
    {
        TFileStream f(TExactPath{file}, fmOpenRead | fmShareDenyWrite);
        // A song file is small; a huge file is a stream, for which the head is enough.
        const int64_t size = std::min<int64_t>(f.GetSize(), 64 << 20);
        bytes.resize(static_cast<size_t>(size));
        bytes.resize(static_cast<size_t>(f.Read(bytes.data(), size)));
    }
    if (LooksLikeMidiFile(bytes.data(), bytes.size())) {
        check.EndPoint = MidiPlayingTime(bytes.data(), bytes.size());
        check.Playable = check.EndPoint > 0;
        if (!check.Playable) check.Why = "a MIDI song whose playing time cannot be read";
        return check;
    }
    const int32_t module = ModulePlayingTime(bytes);
    if (module >= 0) {
        check.EndPoint = module;
        check.Playable = module > 0;
        if (!check.Playable) check.Why = "a tracker module whose playing time cannot be read";
        return check;
    }
    check.Playable = IsAudioStream(file);
    if (!check.Playable) check.Why = "no sound file the sound library plays";
    return check;
}

struct TBuildCall {
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

// Picture and video kinds a user may well hold that no reader of ours takes: refused by
// name, not skipped, so a show never silently lacks them.
bool IsUnreadPictureKind(const std::string& extension) {
    static const char* const kinds[] = {"xpm", "xbm", "pnm", "pam", "pfm", "svg", "svgz", "webp", "heic", "heif",
                                        "avif", "jxl", "jp2", "j2k", "jpx", "exr", "hdr", "dds", "cr2", "nef",
                                        "arw", "dng", "orf", "raf", "rw2", "xcf", "mp4", "m4v", "mkv", "webm",
                                        "flv", "ogv", "3gp"};
    for (const char* k : kinds)
        if (extension == k) return true;
    return false;
}

// The picture files of folder that the picture registry reads, in name order (byte
// order, the order the pack tool stores them in); false (with the reason on stderr)
// when the folder holds a picture kind nothing reads.
bool PictureFiles(const std::string& folder, std::vector<fs::path>& files) {
    bool ok = true;
    for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        const std::string name = e.path().filename().string();
        const AnsiString extension = PictureExtension(Utf8ToAnsi(name));
        TPictureFormat format;
        if (FindPictureFormat(extension, format)) {
            files.push_back(e.path());
        } else if (IsUnreadPictureKind(extension)) {
            std::cerr << "glowcanvas-show: " << e.path().string() << ": no picture format this system reads\n";
            ok = false;
        }
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
    return ok;
}

// The pictures of folder; none (with the reason on stderr) when it is no folder, holds
// no picture file or holds one nothing reads.
std::vector<fs::path> PicturesOf(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        std::cerr << "glowcanvas-show: " << folder << " is no folder\n";
        return {};
    }
    std::vector<fs::path> pictures;
    if (!PictureFiles(folder, pictures)) return {};
    if (pictures.empty()) std::cerr << "glowcanvas-show: " << folder << " holds no picture file\n";
    return pictures;
}

// What the builder needs to know of a picture: its full size and whether any pixel is
// less than opaque.
struct TPictureFacts {
    int32_t Width = 0, Height = 0;
    bool HasAlpha = false;
};

// Decodes the picture as the player will; false with the reason on stderr when it does
// not read (an EPS without preview, a damaged file).
bool ReadPictureFacts(const fs::path& file, TPictureFacts& facts) {
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
        if (picture.Empty()) throw EInvalidGraphic("Leeres Bild");
        if (facts.Width == 0) {
            facts.Width = picture.Width();
            facts.Height = picture.Height();
        }
        const TColor32* p = picture.Bits();
        const size_t n = size_t(picture.Width()) * size_t(picture.Height());
        for (size_t i = 0; i < n && !facts.HasAlpha; ++i) facts.HasAlpha = (p[i] >> 24) != 0xFF;
        return true;
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-show: " << file.string() << ": the picture cannot be read: " << AnsiToUtf8(e.what())
                  << "\n";
        return false;
    }
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
// what lies in its show's folder, and stored names are Windows-1252.
std::string NameProblem(const fs::path& outFolder, const fs::path& file) {
    const fs::path relative = fs::absolute(file).lexically_normal().lexically_relative(outFolder);
    if (relative.empty() || relative.is_absolute() || *relative.begin() == "..")
        return "lies outside the show's folder " + outFolder.string() + " (put it there or below)";
    const std::string name = relative.string();
    if (AnsiToUtf8(Utf8ToAnsi(name)) != name) return "has a name without a Windows-1252 form (rename it)";
    return "";
}

int Build(const TBuildCall& call) {
    const AnsiString className = call.Transition == "random" ? AnsiString("TRandomTransitionPlugin")
                                                             : Utf8ToAnsi(call.Transition);
    if (!CreateTransition(className)) return WrongCall("no transition class " + call.Transition);
    const std::vector<fs::path> pictures = PicturesOf(call.Folder);
    if (pictures.empty()) return 1;
    std::vector<std::vector<fs::path>> collages;
    for (const std::string& folder : call.Collages) {
        collages.push_back(PicturesOf(folder));
        if (collages.back().empty()) return 1;
    }
    std::error_code ec;
    TPictureFormat format;
    if (!call.Snow.empty() &&
        (!fs::is_regular_file(call.Snow, ec) ||
         !FindPictureFormat(PictureExtension(FromPosixPath(fs::path(call.Snow).filename().string())), format))) {
        std::cerr << "glowcanvas-show: no picture file " << call.Snow << " for the snow\n";
        return 1;
    }
    for (const std::string& file : call.Music)
        if (!fs::is_regular_file(file, ec)) {
            std::cerr << "glowcanvas-show: no music file " << file << "\n";
            return 1;
        }

    // Every file is checked before anything is written, and every fault is named.
    const fs::path outFolder = fs::absolute(call.Out).lexically_normal().parent_path();
    bool ok = true;
    auto check = [&](const fs::path& file, TPictureFacts* facts) {
        const std::string problem = NameProblem(outFolder, file);
        if (!problem.empty()) {
            std::cerr << "glowcanvas-show: " << file.string() << " " << problem << "\n";
            ok = false;
        } else if (facts && !ReadPictureFacts(file, *facts)) {
            ok = false;
        }
    };
    std::vector<TPictureFacts> pictureFacts(pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) check(pictures[i], &pictureFacts[i]);
    std::vector<std::vector<TPictureFacts>> collageFacts;
    for (const std::vector<fs::path>& folder : collages) {
        collageFacts.emplace_back(folder.size());
        for (size_t i = 0; i < folder.size(); ++i) check(folder[i], &collageFacts.back()[i]);
    }
    if (!call.Snow.empty()) {
        TPictureFacts flake;
        check(call.Snow, &flake);
    }
    std::vector<TMusicCheck> checks;
    for (const std::string& file : call.Music) {
        check(file, nullptr);
        checks.push_back(CheckMusic(file));
        if (!checks.back().Playable) {
            std::cerr << "glowcanvas-show: " << file << ": " << checks.back().Why << "\n";
            ok = false;
        }
    }
    if (!ok) return 1;

    const TShowBuilder builder(call, className);
    TSlideShow show;
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
    if (!call.Music.empty()) {
        auto* music = dynamic_cast<TMusicProperties*>(show.MusicProperties);
        if (!music) {
            std::cerr << "glowcanvas-show: this build has no background music\n";
            return 1;
        }
        for (size_t i = 0; i < call.Music.size(); ++i) {
            auto item = std::make_unique<TMusicPlayListItem>();
            item->FileName = builder.Name(call.Music[i]);
            if (checks[i].EndPoint > 0) item->EndPoint = checks[i].EndPoint;
            music->PlayList->Add(std::move(item));
        }
    }
    TMemoryStream m;
    if (!show.SaveToStream(m)) {
        std::cerr << "glowcanvas-show: the show cannot be stored\n";
        return 1;
    }
    return WriteWhole(call.Out, m) ? 0 : 1;
}

int BuildCall(const std::vector<std::string>& args) {
    TBuildCall call;
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        long long ms = 0;
        if (a == "--duration" && hasValue) {
            if (!ParseNumber(args[++i], 1, INT32_MAX, ms))
                return WrongCall("--duration takes milliseconds (at least 1), not " + args[i]);
            call.Duration = static_cast<int32_t>(ms);
        } else if (a == "--transition" && hasValue) {
            call.Transition = args[++i];
        } else if (a == "--music" && hasValue) {
            call.Music.push_back(args[++i]);
        } else if (a == "--title" && hasValue) {
            call.Title = args[++i];
            if (call.Title.empty()) return WrongCall("--title takes a text");
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
                return WrongCall("--aspect takes fill or W:H (16:9), not " + v);
            }
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return WrongCall("unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return WrongCall("build takes a folder and a show file");
    call.Folder = files[0];
    call.Out = files[1];
    StartModules();
    return Build(call);
}

// The transition classes a show may name, in registration order: the class name, then
// its caption as the settings list it.
int Transitions() {
    StartModules();
    if (auto subset = Plugins->SubsetOf<TTransitionPlugin>())
        for (int i = 0; i < subset->GetCount(); ++i) {
            const ClassInfo& cls = subset->GetItem(i)->PluginClass();
            std::cout << cls.Name << "\t" << AnsiToUtf8(PluginCaption(cls)) << "\n";
        }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    const int call = TakeCommand(
        argc, argv, "glowcanvas-show", kUsage,
        {{"dump", 2, 2}, {"resave", 3, 3}, {"options", 2}, {"render", 1}, {"play", 1}, {"build", 1}, {"transitions", 1, 1}}, args);
    if (call >= 0) return call;
    const std::string& command = args[0];
    if (command == "options") return Options(std::vector<std::string>(args.begin() + 1, args.end()));
    int status = 1;
    try {
        if (command == "render") {
            status = RenderCall(args);
        } else if (command == "play") {
            status = PlayCall(args);
        } else if (command == "build") {
            status = BuildCall(args);
        } else if (command == "transitions") {
            status = Transitions();
        } else {
            StartModules();
            status = command == "dump" ? Dump(args[1]) : Resave(args[1], args[2]);
        }
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-show: " << AnsiToUtf8(e.what()) << "\n";
        status = 1;
    }
    RunFinalizations();
    return status;
}
