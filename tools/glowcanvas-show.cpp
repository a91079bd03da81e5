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
#include "platform/SysUtils.h"
#include "document/SlideShowPlayerProperties.h"
#include "shell/ScreenSaverConfigureLogic.h"
#include "shell/ScreenSaverMain.h"
#include "shell/ScreenSaverProperties.h"
#include "tools/ShowBuilder.h"
#include "tools/ShowToolSupport.h"
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
#include "platform/Installed.h"
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
    "                             [--aspect fill|W:H]\n"
    "                                       a show of every picture file of FOLDER in name order,\n"
    "                                       named relative to OUT's folder; each shows MS ms\n"
    "                                       (default: the show's default) with the transition\n"
    "                                       class (default random); the music files make the\n"
    "                                       play list, a MIDI song ending at its last event;\n"
    "                                       the pictures then cycle until every song has\n"
    "                                       played whole, each for MS or the show's 5000 ms.\n"
    "                                       --captions: each picture captioned with its file's\n"
    "                                       name (\"03-Lagune.jpg\": \"Lagune\"); --title: the text\n"
    "                                       zooming in and out over the first; --collage: a\n"
    "                                       collage of that folder's pictures after them;\n"
    "                                       --snow: that picture falling as flakes over the\n"
    "                                       show as long as it lasts when built; --aspect: the\n"
    "                                       stage fills the screen (fill, the default) or keeps\n"
    "                                       W:H with bars beside it\n"
    "       glowcanvas-show transitions     the transition classes, each with its caption\n"
    "       glowcanvas-show --help          this text (also -h)\n";

std::string Text(const AnsiString& s) { return AnsiToUtf8(s); }
// Built by appending: g++ 12 at -O3 takes "\"" + text for overlapping copies (-Wrestrict).
std::string Quoted(const AnsiString& s) {
    std::string q = "\"";
    q += Text(s);
    q += '"';
    return q;
}
std::string Hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}
const char* Bool(bool b) { return b ? "1" : "0"; }

// The reason and the usage of a wrong call; status 2.
int WrongCall(const std::string& why) { return ::WrongCall("glowcanvas-show", kUsage, why); }

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
    // The container's own reason is the system's German text; the line is English.
    if (!h.IsContainer) return "not a show file (no container)";
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

int Resave(const std::string& in, const std::string& out) {
    TSlideShow show;
    const int result = LoadShow(show, in);
    if (result != slLoaded) {
        std::cerr << "glowcanvas-show: " << in << ": " << FailureReason(ReadHeaderInfo(in), result) << "\n";
        return 1;
    }
    TMemoryStream m;
    if (!show.SaveToStream(m)) {
        std::cerr << "glowcanvas-show: " << in << ": the show cannot be saved again\n";
        return 1;
    }
    if (!WriteWhole(out, m)) return 1;
    if (show.DroppedItemCount() > 0)
        std::cerr << "glowcanvas-show: " << in << ": " << show.DroppedItemCount() << " unreadable items were left out\n";
    return 0;
}

// Why the options may not be written over file, "" when they may: only a file that
// reads whole as stored options is replaced.
std::string OptionsOutputProblem(const std::string& file) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) return "";
    if (S_ISDIR(st.st_mode)) return "is a folder";
    try {
        TFileStream f(TExactPath{file}, fmOpenRead | fmShareDenyNone);
        TScreenSaverProperties stored;
        if (stored.LoadFromStream(f, 0, 0) && f.GetPosition() == f.GetSize()) return "";
    } catch (const EFOpenError& e) {
        return "cannot be read to tell whether it holds options: " + FileErrorReason(e);
    } catch (const std::exception&) {
        // Not the stored form.
    }
    return "exists and holds no screen saver options; options replace only options";
}

// The options file a package carries as "settings.dat": the stored form of the
// screen saver's options with an empty show name.
int WriteOptions(const std::vector<std::string>& args) {
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
    if (const std::string problem = OptionsOutputProblem(args[0]); !problem.empty()) {
        std::cerr << "glowcanvas-show: " << args[0] << ": " << problem << "; nothing was written\n";
        return 1;
    }
    TMemoryStream m;
    if (!options.SaveToStream(m, 0, 0)) {
        std::cerr << "glowcanvas-show: the options cannot be stored\n";
        return 1;
    }
    return WriteWhole(args[0], m) ? 0 : 1;
}

// The show handed to its player as the screen saver hands it (its player settings, no
// look-ahead, a restart at the end, no logo), with the show's own durations and order.
void ApplyShowPlayerSettings(TSlideShow& show, TSlideShowPlayer& player) {
    TScreenSaverProperties options;
    options.DefaultDuration = 0;
    options.Shuffle = false;
    ApplyScreenSaverOptions(show, player, options);
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
        std::cerr << "glowcanvas-show: " << out << ": cannot be written: " << FileErrorReason(e) << "\n";
        return false;
    }
}

// With every > 0, out is a folder that gets a frame at each multiple of every up to at.
int Render(const std::string& file, int32_t at, int32_t every, int32_t width, int32_t height, uint64_t seed,
           const std::string& out) {
    TSlideShow show;
    if (!LoadForPlay(show, file)) return 1;
    if (every > 0 && ::mkdir(out.c_str(), 0777) != 0 && errno != EEXIST) {
        std::cerr << "glowcanvas-show: " << out << ": the folder cannot be made: " << std::strerror(errno) << "\n";
        return 1;
    }
    RandSeed(seed);
    TManualTickCount clock;
    // Installed until the render returns, after the player and its host have gone.
    TInstalled<SetTickSource> installedClock(clock);
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
    if (command == "options") return WriteOptions(std::vector<std::string>(args.begin() + 1, args.end()));
    int status = 1;
    try {
        if (command == "render") {
            status = RenderCall(args);
        } else if (command == "play") {
            status = PlayCall(args);
        } else if (command == "build") {
            status = BuildCall(args, [](const std::string& why) { return WrongCall(why); });
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
