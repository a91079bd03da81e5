#include "transitions/PicBoxTransitions.h"

#include "graphics/JpegReader.h"
#include "platform/Names.h"
#include "transitions/MaskResources.h"
#include "transitions/TransitionMath.h"

#include <algorithm>

GC_IMPLEMENT_PLUGIN(TBoxPictureTransitionPlugin, TFineBoxTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDropsTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDropsFadeTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect1TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect2TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect3TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect4TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect5TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect6TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffect7TransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownEffectKorbTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownHairWavyTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDownHairSmoothTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxHeartTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxMarbleTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxDropRadarTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxSmallCirclesWildTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxSpiderNetTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxStar4EdgesTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxStar8EdgesTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxStar14EdgesTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxStar8EdgesWildTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxSwirlSharpTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxSwirlSmoothTransitionPlugin, TBoxPictureTransitionPlugin)
GC_IMPLEMENT_PLUGIN(TBoxWoodTransitionPlugin, TBoxPictureTransitionPlugin)

using namespace TransitionMath;

TBitmap32 LoadJPEGResource(const AnsiString& resName) {
    const std::span<const uint8_t> bytes = FindMaskResource(resName);
    if (bytes.empty()) throw EResNotFound("Ressource nicht gefunden: " + resName);
    return ReadJpegPicture(bytes.data(), bytes.size());
}

TBoxPictureTransitionPlugin::TBoxPictureTransitionPlugin() = default;

TBitmap32 TBoxPictureTransitionPlugin::LoadMask() { return LoadJPEGResource(UpperCaseAscii(ClassName())); }

void TBoxPictureTransitionPlugin::FillStartTimes(long double span) {
    const TBitmap32 mask = LoadMask();
    if (mask.Empty()) return;
    const long double scale = span / 255;
    const int32_t mw = mask.Width(), mh = mask.Height();
    for (int32_t r = 0; r < Rows; ++r) {
        // A grid finer than half the mask would reach one pixel before it: stay inside.
        const int32_t y = int32_t(std::clamp<int64_t>(Round(static_cast<long double>(r + 1) / Rows * mh) - 1, 0, mh - 1));
        for (int32_t c = 0; c < Cols; ++c) {
            const int32_t x =
                int32_t(std::clamp<int64_t>(Round(static_cast<long double>(c + 1) / Cols * mw) - 1, 0, mw - 1));
            SetStartTime(r, c, Round(BlueComponent(mask.Pixel(x, y)) * scale));
        }
    }
}

TBoxHeartTransitionPlugin::TBoxHeartTransitionPlugin() { Enabled = false; }

AnsiString TBoxDropsTransitionPlugin::Caption() { return "Tropfen"; }
AnsiString TBoxDropsFadeTransitionPlugin::Caption() { return "Tropfenverlauf"; }
AnsiString TBoxDownEffect1TransitionPlugin::Caption() { return "Verlauf nach unten 1"; }
AnsiString TBoxDownEffect2TransitionPlugin::Caption() { return "Verlauf nach unten 2"; }
AnsiString TBoxDownEffect3TransitionPlugin::Caption() { return "Verlauf nach unten 3"; }
AnsiString TBoxDownEffect4TransitionPlugin::Caption() { return "Verlauf nach unten 4"; }
AnsiString TBoxDownEffect5TransitionPlugin::Caption() { return "Verlauf nach unten 5"; }
AnsiString TBoxDownEffect6TransitionPlugin::Caption() { return "Verlauf nach unten 6"; }
AnsiString TBoxDownEffect7TransitionPlugin::Caption() { return "Verlauf nach unten 7"; }
AnsiString TBoxDownEffectKorbTransitionPlugin::Caption() { return "Korb"; }
AnsiString TBoxDownHairWavyTransitionPlugin::Caption() { return "Haar (Geschwungen)"; }
AnsiString TBoxDownHairSmoothTransitionPlugin::Caption() { return "Haar (Glatt)"; }
AnsiString TBoxHeartTransitionPlugin::Caption() { return "Herz"; }
AnsiString TBoxMarbleTransitionPlugin::Caption() { return "Marmor"; }
AnsiString TBoxDropRadarTransitionPlugin::Caption() { return "Radar (Tropfen)"; }
AnsiString TBoxSmallCirclesWildTransitionPlugin::Caption() { return "kleine Kreise (wild)"; }
AnsiString TBoxSpiderNetTransitionPlugin::Caption() { return "Spinnennetz"; }
AnsiString TBoxStar4EdgesTransitionPlugin::Caption() { return "Stern (4 Ecken)"; }
AnsiString TBoxStar8EdgesTransitionPlugin::Caption() { return "Stern (8 Ecken)"; }
AnsiString TBoxStar14EdgesTransitionPlugin::Caption() { return "Stern (14 Ecken)"; }
AnsiString TBoxStar8EdgesWildTransitionPlugin::Caption() { return "Stern (8 Ecken, Wild)"; }
AnsiString TBoxSwirlSharpTransitionPlugin::Caption() { return "Abfluss (Scharf)"; }
AnsiString TBoxSwirlSmoothTransitionPlugin::Caption() { return "Abfluss (Weich)"; }
AnsiString TBoxWoodTransitionPlugin::Caption() { return "Holz"; }
