// Show-file tool for tests and for looking into shows:
//   glowcanvas-show dump FILE      load result, header, settings groups, item tree
//   glowcanvas-show resave IN OUT  load and save again
// Exit status 0 when the show loads with result 0, else 1 with the reason on stderr.

#include "document/CollectionSlideShowObject.h"
#include "document/PlayableSlideShowObject.h"
#include "document/SlideShow.h"
#include "document/SlideShowObjectEvents.h"
#include "document/SlideShowObjectModules.h"
#include "foundation/OKFStream.h"
#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "platform/Charset.h"
#include "document/SlideShowPlayerProperties.h"
#include "graphics/GraphicsModules.h"
#include "transitions/TransitionModules.h"
#include "media/MediaModules.h"
#include "media/MusicPlayList.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

namespace {

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
    AddFoundationModules();
    AddGraphicsModules();
    AddTransitionModules();
    AddSlideShowObjectModules();
    AddSlideShowDocumentModules();
    AddSlideShowPlayerPropertiesModules();
    AddMediaModules();
    RunInitializations();
}

// What the container's header says, and why a file that does not load fails.
struct THeaderInfo {
    bool Opened = false;
    bool IsContainer = false;
    TOKFHeader Header;
    std::string Error;
};

THeaderInfo ReadHeaderInfo(const AnsiString& fileName) {
    THeaderInfo info;
    try {
        TFileStream f(fileName, fmOpenRead | fmShareDenyNone);
        info.Opened = true;
        TOKFStream c(&f, okfRead);
        info.IsContainer = true;
        info.Header = c.Header;
    } catch (const std::exception& e) {
        info.Error = e.what();
    }
    return info;
}

std::string FailureReason(const THeaderInfo& h, int result) {
    if (!h.Opened) return "cannot open the file: " + Text(h.Error);
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

void DumpItem(TSlideShowObject* item, const std::string& indent) {
    std::cout << indent << item->GetPathString() << " " << item->ClassName() << " enabled=" << Bool(item->GetEnabled());
    auto* playable = Supports<IPlayable>(item);
    if (playable) std::cout << " start=" << playable->GetStartTime();
    std::cout << " duration=" << item->GetDuration();
    if (auto* t = Supports<IText>(item)) std::cout << " text=" << Quoted(t->GetText());
    if (auto* k = Supports<IKeywords>(item); k && !k->GetKeywords().empty())
        std::cout << " keywords=" << Quoted(k->GetKeywords());
    std::cout << " name=" << Quoted(item->GetDisplayName()) << "\n";
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

int Dump(const AnsiString& fileName) {
    const THeaderInfo h = ReadHeaderInfo(fileName);
    TSlideShow show;
    const int result = show.LoadFromFile(fileName);
    std::cout << "load result: " << result << "\n";
    if (!h.IsContainer) {
        std::cerr << "glowcanvas-show: " << FailureReason(h, result) << "\n";
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
        std::cerr << "glowcanvas-show: " << FailureReason(h, result) << "\n";
        return 1;
    }
    return 0;
}

int Resave(const AnsiString& in, const AnsiString& out) {
    TSlideShow show;
    const int result = show.LoadFromFile(in);
    if (result != slLoaded) {
        std::cerr << "glowcanvas-show: " << FailureReason(ReadHeaderInfo(in), result) << "\n";
        return 1;
    }
    if (!show.SaveToFile(out)) {
        std::cerr << "glowcanvas-show: cannot write " << Text(out) << "\n";
        return 1;
    }
    if (show.DroppedItemCount() > 0)
        std::cerr << "glowcanvas-show: " << show.DroppedItemCount() << " unreadable items were left out\n";
    return 0;
}

int Usage() {
    std::cerr << "usage: glowcanvas-show dump FILE\n"
                 "       glowcanvas-show resave IN OUT\n";
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (!((command == "dump" && argc == 3) || (command == "resave" && argc == 4))) return Usage();
    int status = 1;
    try {
        StartModules();
        status = command == "dump" ? Dump(Utf8ToAnsi(argv[2])) : Resave(Utf8ToAnsi(argv[2]), Utf8ToAnsi(argv[3]));
    } catch (const std::exception& e) {
        std::cerr << "glowcanvas-show: " << AnsiToUtf8(e.what()) << "\n";
        status = 1;
    }
    RunFinalizations();
    return status;
}
