#include "transitions/TransitionModules.h"

#include "foundation/SlideShowGlobals.h"
#include "foundation/Startup.h"
#include "transitions/PicBoxTransitions.h"
#include "transitions/PicTransitions.h"

#include <span>

namespace {

// Registration order: it is the order the random choice and the lists see.
std::span<const ClassInfo* const> TransitionClasses() {
    static const ClassInfo* const classes[] = {
        &TRandomTransitionPlugin::StaticClassInfo(),
        &TAlphablendingTransitionPlugin::StaticClassInfo(),
        &TBoxTopLeftToBottomRightTransitionPlugin::StaticClassInfo(),
        &TBoxTopRightToBottomLeftTransitionPlugin::StaticClassInfo(),
        &TBoxBottomLeftToTopRightTransitionPlugin::StaticClassInfo(),
        &TBoxBottomRightToTopLeftTransitionPlugin::StaticClassInfo(),
        &TBoxRandomTransitionPlugin::StaticClassInfo(),
        &TBoxAllSimultaneousTransitionPlugin::StaticClassInfo(),
        &TBoxCircleGrowTransitionPlugin::StaticClassInfo(),
        &TBoxCircleShrinkTransitionPlugin::StaticClassInfo(),
        &TBoxCircleRingTransitionPlugin::StaticClassInfo(),
        &TBoxSmallCirclesTransitionPlugin::StaticClassInfo(),
        &TBoxMODEffectTransitionPlugin::StaticClassInfo(),
        &TBoxRadarTransitionPlugin::StaticClassInfo(),
        &TBoxSpiralRadarTransitionPlugin::StaticClassInfo(),
        &TBoxQuarterRadarTransitionPlugin::StaticClassInfo(),
        &TBoxQuarterSpiralRadarTransitionPlugin::StaticClassInfo(),
        &TMovePictureTransitionPlugin::StaticClassInfo(),
        &TBlindTransitionPlugin::StaticClassInfo(),
        &TStripeTransitionPlugin::StaticClassInfo(),
        &TBoxDropsTransitionPlugin::StaticClassInfo(),
        &TBoxDropsFadeTransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect1TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect2TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect3TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect4TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect5TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect6TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffect7TransitionPlugin::StaticClassInfo(),
        &TBoxDownEffectKorbTransitionPlugin::StaticClassInfo(),
        &TBoxDownHairWavyTransitionPlugin::StaticClassInfo(),
        &TBoxDownHairSmoothTransitionPlugin::StaticClassInfo(),
        &TBoxHeartTransitionPlugin::StaticClassInfo(),
        &TBoxMarbleTransitionPlugin::StaticClassInfo(),
        &TBoxDropRadarTransitionPlugin::StaticClassInfo(),
        &TBoxSmallCirclesWildTransitionPlugin::StaticClassInfo(),
        &TBoxSpiderNetTransitionPlugin::StaticClassInfo(),
        &TBoxStar4EdgesTransitionPlugin::StaticClassInfo(),
        &TBoxStar8EdgesTransitionPlugin::StaticClassInfo(),
        &TBoxStar14EdgesTransitionPlugin::StaticClassInfo(),
        &TBoxStar8EdgesWildTransitionPlugin::StaticClassInfo(),
        &TBoxSwirlSharpTransitionPlugin::StaticClassInfo(),
        &TBoxSwirlSmoothTransitionPlugin::StaticClassInfo(),
        &TBoxWoodTransitionPlugin::StaticClassInfo(),
    };
    return classes;
}

void InitializeWithGlobalRegistry() {
    if (!Plugins) throw Exception("Plug-in-Verwaltung fehlt");
    InitializeTransitionModules(*Plugins);
}

void FinalizeWithGlobalRegistry() {
    if (Plugins) FinalizeTransitionModules(*Plugins);
}

}  // namespace

void InitializeTransitionModules(TPlugins& plugins) {
    for (const ClassInfo* cls : TransitionClasses()) plugins.Register(*cls);
}

void FinalizeTransitionModules(TPlugins& plugins) {
    const auto classes = TransitionClasses();
    for (auto it = classes.rbegin(); it != classes.rend(); ++it) plugins.Unregister(**it);
}

void AddTransitionModules() {
    AddStartupModule(TStartupStage::Plugins, "Transitions", InitializeWithGlobalRegistry, FinalizeWithGlobalRegistry);
}
