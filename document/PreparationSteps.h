// The numbers of the items' preparation steps and the values around them. An item
// prepares in stages from 0 to its last; each stage adds the entries it needs to the
// item's list, and the player runs them ahead of time (SlideShowObjectInitialization.h).
// The numbers are stored nowhere, but the kinds share them: a kind's steps must sort
// between those of the kinds it builds on.
#pragma once

#include <cstdint>

namespace PreparationStep {

// The stages.
constexpr int32_t First = 0;              // where every item begins
constexpr int32_t OpenSound = 0;          // sound items and the music placeholder
constexpr int32_t LoadPicture = 1;        // picture items read their file
constexpr int32_t PictureToBitmap = 2;    // and convert it to a bitmap
constexpr int32_t LoadParticles = 1;      // particle items read their pictures
constexpr int32_t LayOutText = 1;         // text items lay out their outline text
constexpr int32_t DrawTextEffects = 2;    // and draw its effects
constexpr int32_t Compose = 3;            // collages compose their children
constexpr int32_t Scale = 10;             // bitmap items scale to their display size
constexpr int32_t PrepareTransition = 11;  // and prepare their transition

// The values around them.
constexpr int32_t None = -1;           // the last step of a kind without steps
constexpr int32_t NotBegun = -1;       // a list's current step before the first stage
constexpr int32_t AllDone = -2;        // a list's current step once every stage has run
constexpr int32_t EveryNotBegun = -3;  // asks for every stage after the current one

// Whether a request for stage requested adds the entries of stage own, while the
// list's current stage is current: the stage itself, or every stage not yet begun.
constexpr bool Requests(int32_t requested, int32_t own, int32_t current) {
    return requested == own || (requested == EveryNotBegun && current < own);
}

}  // namespace PreparationStep
