// What a preparation step asks of the player that prepares it, beyond the model's services:
// whether it runs for an item that is late, and whether its work may go to the player's
// helper thread. Items reach it through PreparationOf(player).
#pragma once

#include "platform/AsideWork.h"

#include <memory>

class IPlayerServices;
class TSlideShowObject;

class IPreparationSteps {
public:
    // Whether the step running now is for an item due already or about to be late (the
    // first picture, a jump): its work may take more cores to end sooner.
    virtual bool StepIsUrgent() const = 0;
    // Hands the work of the step running now for item to the helper thread; False when
    // the step is to do it itself (its item is due, the show is being prepared before its
    // first frame, the step is another item's that runs this one's steps, or there is no
    // helper). Once handed aside, the step stays to be done: the player runs it again when
    // the work is Done or the item is due (the step then Finishes it and takes the result
    // up), and no tick before waits for it.
    virtual bool RunAside(const TSlideShowObject* item, const std::shared_ptr<TAsideWork>& work) = 0;

protected:
    ~IPreparationSteps() = default;
};

// A player that prepares its items step by step hands them its preparation.
class IPreparingPlayer {
public:
    virtual IPreparationSteps& Preparation() = 0;

protected:
    ~IPreparingPlayer() = default;
};

// The preparation of the player; null for one that prepares no steps itself (a collage
// drawn off-screen, a test's host): its steps then do their work at once and none is urgent.
IPreparationSteps* PreparationOf(IPlayerServices* player);
