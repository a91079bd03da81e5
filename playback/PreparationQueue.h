// The player's preparation: the coming objects' steps, run cheapest and soonest first in
// the time a tick leaves, an urgent step for an object about to be late, and the work a
// step hands to the helper thread, which wakes the loop when it is over so that a later
// tick takes the result up. The player owns it; items reach it as their preparation
// (objects/PlayerPreparation.h).
#pragma once

#include "objects/PlayerPreparation.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class IPlayable;
class IPlayerWindow;
class TAsideWorker;
class TSlideShowObject;
class TSlideShowObjectInitializationList;
class TSlideShowPlayer;

class TPreparationQueue final : public IPreparationSteps {
public:
    // Queues the player's coming objects (TSlideShowPlayer::ComingObjects).
    explicit TPreparationQueue(TSlideShowPlayer& player);
    // Drops the work aside not begun; a read under way ends on its own.
    ~TPreparationQueue();
    TPreparationQueue(const TPreparationQueue&) = delete;
    TPreparationQueue& operator=(const TPreparationQueue&) = delete;

    // ---- the coming objects ----
    // Queues an object among the coming ones (once).
    void Queue(TSlideShowObject* object);
    bool IsQueued(const TSlideShowObject* object) const;
    // Takes an object out of the coming ones and forgets its work aside; a music
    // placeholder, which no show owns, is freed.
    void Drop(TSlideShowObject* object);
    void Clear();

    // ---- the steps ----
    // A new tick: no object has run a step in it yet.
    void BeginTick() { steppedThisTick_.clear(); }
    // Forgets every work aside: the show is prepared anew or let go of.
    void ForgetAside();
    // Runs steps of objects within delay ms (less a margin); -1: every step, none aside.
    void PrepareWhileWaiting(std::vector<TSlideShowObject*>& objects, int32_t delay);
    // Prepares the coming objects due now whole, before the frame, waiting for their work
    // aside, so that one shows at its start however long its read took.
    void PrepareDueAfterAside();
    // Whether the object's work aside is over and waits for a tick to take it up.
    bool AsideOver(const TSlideShowObject* object) const;
    // The estimated time of the object's steps left in its current stage.
    static int32_t RemainingEstimate(IPlayable* playable);
    // The window whose loop a finished work aside wakes; null while none plays.
    void WakeThrough(IPlayerWindow* window);

    // IPreparationSteps.
    bool StepIsUrgent() const override { return urgentStep_; }
    bool RunAside(const TSlideShowObject* item, const std::shared_ptr<TAsideWork>& work) override;

private:
    struct TInitListItem {
        int32_t EstimatedTime = 0;
        int32_t StartTime = 0;
        int32_t Step = 0;
        // Its work goes to the helper thread: the tick's time left does not hold it back.
        bool Aside = false;
        IPlayable* Playable = nullptr;
        TSlideShowObject* Object = nullptr;
    };
    struct TAsideStep {
        std::shared_ptr<TAsideWork> Work;
        int32_t Step = 0;
    };
    // The window a finished work wakes, shared with the helper thread.
    struct TWaker {
        std::mutex Lock;
        IPlayerWindow* Window = nullptr;
        void Wake();
    };

    // The object's current preparation entries, begun or moved on to the next stage as
    // needed; null when no step is left.
    TSlideShowObjectInitializationList* CurrentInitializationList(IPlayable* playable);
    int PlanPreparation(std::vector<TSlideShowObject*>& objects, int32_t remaining, bool& due,
                        std::vector<TInitListItem>& plan, bool unlimited);
    int RunPreparation(std::vector<TInitListItem>& plan, std::vector<TSlideShowObject*>& objects, int32_t budget,
                       bool unlimited, int32_t watchStart);
    void RunUrgentStep(std::vector<TSlideShowObject*>& objects);
    bool ExecuteStep(IPlayable* playable, TSlideShowObject* object, int32_t step,
                     std::vector<TSlideShowObject*>& objects);
    void PreparationFailed(TSlideShowObject* object, std::vector<TSlideShowObject*>& objects);
    bool DueAfterAside(const std::vector<TSlideShowObject*>& objects);
    // Whether the object's step waits for its work aside, which is not done yet.
    bool StepRunsAside(const TSlideShowObject* object) const;
    // Runs again the steps of objects whose work aside is over, so that they take its
    // result up (cheaply, whatever the time left).
    void TakeUpAsideSteps(std::vector<TSlideShowObject*>& objects);

    TSlideShowPlayer& player_;
    std::vector<TSlideShowObject*>& coming_;
    // A preparation step runs for an item that is due or about to be late.
    bool urgentStep_ = false;
    // Objects that ran a preparation step in the current tick.
    std::unordered_set<const TSlideShowObject*> steppedThisTick_;
    // The step running now, whether it may hand its work aside and whether it did.
    TSlideShowObject* stepObject_ = nullptr;
    int32_t stepNumber_ = 0;
    bool asideAllowed_ = false;
    bool stepWentAside_ = false;
    // The objects whose step waits for its work aside.
    std::unordered_map<const TSlideShowObject*, TAsideStep> asideSteps_;
    // Objects whose work went aside in this run: one that is due unprepared is prepared
    // whole in the tick, so that it shows at its start however long its work took.
    std::unordered_set<const TSlideShowObject*> wentAside_;
    std::shared_ptr<TWaker> waker_;
    // The helper thread, made on first use; declared last, so that it goes first.
    std::unique_ptr<TAsideWorker> worker_;
};
