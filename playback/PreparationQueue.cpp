#include "playback/PreparationQueue.h"

#include "document/PlayableSlideShowObject.h"
#include "document/PreparationSteps.h"
#include "document/SlideShowObjectInitialization.h"
#include "playback/AsideWorker.h"
#include "playback/PlayerInternals.h"
#include "playback/SlideShowPlayer.h"
#include "platform/RunEnd.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

using namespace PlayerInternals;

TPreparationQueue::TPreparationQueue(TSlideShowPlayer& player)
    : player_(player), coming_(player.ComingObjects), waker_(std::make_shared<TWaker>()) {}

TPreparationQueue::~TPreparationQueue() { WakeThrough(nullptr); }

void TPreparationQueue::WakeThrough(IPlayerWindow* window) {
    // Under the lock: a wake under way ends before the window may go.
    std::lock_guard<std::mutex> guard(waker_->Lock);
    waker_->Window = window;
}

void TPreparationQueue::TWaker::Wake() {
    std::lock_guard<std::mutex> guard(Lock);
    if (Window) Window->Wake();
}

// ---- the coming objects ----

bool TPreparationQueue::IsQueued(const TSlideShowObject* object) const {
    return std::find(coming_.begin(), coming_.end(), object) != coming_.end();
}

void TPreparationQueue::Queue(TSlideShowObject* object) {
    if (!IsQueued(object)) coming_.push_back(object);
}

void TPreparationQueue::Drop(TSlideShowObject* object) {
    EraseObject(coming_, object);
    asideSteps_.erase(object);
    wentAside_.erase(object);
    if (IsMusicPlaceholder(object)) FreeSlideShowObject(object);
}

void TPreparationQueue::Clear() {
    while (!coming_.empty()) Drop(coming_.back());
}

// ---- work aside ----

void TPreparationQueue::ForgetAside() {
    asideSteps_.clear();
    wentAside_.clear();
}

bool TPreparationQueue::AsideOver(const TSlideShowObject* object) const {
    const auto found = asideSteps_.find(object);
    return found != asideSteps_.end() && !found->second.Work->Pending();
}

// ---- preparation ----

TSlideShowObjectInitializationList* TPreparationQueue::CurrentInitializationList(IPlayable* playable) {
    if (!playable->GetInitializationList()) playable->BeginInitializationStep(&player_, PreparationStep::First);
    TSlideShowObjectInitializationList* list = playable->GetInitializationList();
    // Stages without entries are passed over; a kind may hand out a fresh list.
    for (int guard = 0; list && list->Count() == 0 && guard < 65536; ++guard) {
        if (playable->NextInitializationStep()) break;
        playable->BeginInitializationStep(&player_, list->CurrentStep);
        list = playable->GetInitializationList();
    }
    if (!list || list->CurrentStep == PreparationStep::AllDone || list->Count() == 0) return nullptr;
    return list;
}

int32_t TPreparationQueue::RemainingEstimate(IPlayable* playable) {
    const TSlideShowObjectInitializationList* list = playable->GetInitializationList();
    return list && list->CurrentStep != PreparationStep::AllDone ? list->GetTotalEstimatedTime() : 0;
}

void TPreparationQueue::PreparationFailed(TSlideShowObject* object, std::vector<TSlideShowObject*>& objects) {
    // It will not be shown: it lets go of what its steps loaded.
    if (IPlayable* playable = AsPlayable(object)) {
        playable->Reset();
        playable->ReleaseResources();
    }
    if (&objects == &coming_) Drop(object);
    else EraseObject(objects, object);
}

int TPreparationQueue::PlanPreparation(std::vector<TSlideShowObject*>& objects, int32_t remaining, bool& due,
                                      std::vector<TInitListItem>& plan, bool unlimited) {
    // Only a due object after work aside is prepared past the time left (due on entry).
    if (remaining < 0 && !unlimited && !due) return 0;
    const int32_t now = player_.GetPlayTime();
    const bool dueOnEntry = due;
    int result = 0;
    std::vector<TSlideShowObject*> exhausted;
    for (TSlideShowObject* object : objects) {
        IPlayable* playable = AsPlayable(object);
        if (!playable || playable->IsInitialized()) continue;
        const int32_t start = playable->GetStartTime();
        if (dueOnEntry && !unlimited && start > now) continue;
        // Its step waits for its work on the helper thread: nothing to do before that ends.
        if (!unlimited && start > now && StepRunsAside(object)) continue;
        if (start <= now) due = true;
        result = 1;
        TSlideShowObjectInitializationList* list = CurrentInitializationList(playable);
        if (!list) {
            // Every step has run and it is still not ready: it never will be.
            if (!playable->IsInitialized()) exhausted.push_back(object);
            continue;
        }
        for (int k = 0; k < list->Count(); ++k) {
            const TSlideShowObjectInitialization* entry = list->GetItem(k);
            const bool aside = entry->MayRunAside && !unlimited && start > now;
            if (!aside && entry->EstimatedTime > remaining && !unlimited && start > now) {
                result = 2;
                break;
            }
            plan.push_back({entry->EstimatedTime, start, entry->Step, aside, playable, object});
            if (!aside) remaining = SaturateInt32(int64_t(remaining) - entry->EstimatedTime);
        }
        if (result == 2) break;
    }
    for (TSlideShowObject* object : exhausted) PreparationFailed(object, objects);
    return result;
}

bool TPreparationQueue::ExecuteStep(IPlayable* playable, TSlideShowObject* object, int32_t step,
                                   std::vector<TSlideShowObject*>& objects) {
    steppedThisTick_.insert(object);
    stepObject_ = object;
    stepNumber_ = step;
    stepWentAside_ = false;
    const bool ok = playable->ExecuteInitializationStep(&player_, step);
    stepObject_ = nullptr;
    if (!ok) {
        asideSteps_.erase(object);
        PreparationFailed(object, objects);
        return false;
    }
    // Its work runs aside: the step stays, and runs again once the work is over.
    if (stepWentAside_) return true;
    asideSteps_.erase(object);
    if (TSlideShowObjectInitializationList* list = playable->GetInitializationList()) {
        list->DeleteStep(step);
        // The stage's last step done: on to the next stage, so that an object whose
        // steps are all done counts as prepared at once.
        if (list->Count() == 0) CurrentInitializationList(playable);
    }
    return true;
}

int TPreparationQueue::RunPreparation(std::vector<TInitListItem>& plan, std::vector<TSlideShowObject*>& objects,
                                     int32_t budget, bool unlimited, int32_t watchStart) {
    std::stable_sort(plan.begin(), plan.end(), [](const TInitListItem& a, const TInitListItem& b) {
        if (a.StartTime != b.StartTime) return a.StartTime < b.StartTime;
        return a.EstimatedTime < b.EstimatedTime;
    });
    const int32_t now = player_.GetPlayTime();
    int ran = 0;
    std::unordered_set<const TSlideShowObject*> failed;
    for (const TInitListItem& entry : plan) {
        // A failed step ends its object's preparation: its later steps do not run, nor
        // do those after a step whose work went aside.
        if (failed.count(entry.Object)) continue;
        // The run ends: nothing more is prepared for a frame that never comes.
        if (RunEndRequested()) break;
        if (entry.StartTime > now && StepRunsAside(entry.Object)) continue;
        const int64_t left = int64_t(budget) - Diff(player_.GetCurrentPlayTime(), watchStart);
        if (!unlimited && !entry.Aside && left <= entry.EstimatedTime && entry.StartTime > now) break;
        ++ran;
        urgentStep_ = entry.StartTime <= now;
        // What is due, or wanted before the first frame, is done at once.
        asideAllowed_ = !unlimited && entry.StartTime > now;
        const bool done = ExecuteStep(entry.Playable, entry.Object, entry.Step, objects);
        urgentStep_ = false;
        asideAllowed_ = false;
        if (!done) failed.insert(entry.Object);
    }
    plan.clear();
    return ran;
}

void TPreparationQueue::RunUrgentStep(std::vector<TSlideShowObject*>& objects) {
    // An object whose start is nearer than its remaining steps gets one step in every
    // tick, whatever the budget: a show that never idles stalls one step at a time
    // before the change, not all of them at it.
    const int32_t now = player_.GetPlayTime();
    TSlideShowObject* chosen = nullptr;
    IPlayable* chosenPlayable = nullptr;
    for (TSlideShowObject* object : objects) {
        IPlayable* playable = AsPlayable(object);
        if (!playable || playable->IsInitialized()) continue;
        const int32_t start = playable->GetStartTime();
        if (start <= now || StepRunsAside(object)) continue;
        if (!CurrentInitializationList(playable)) continue;
        if (int64_t(start) - now >= int64_t(RemainingEstimate(playable)) + 50) continue;
        if (!chosen || start < chosenPlayable->GetStartTime()) {
            chosen = object;
            chosenPlayable = playable;
        }
    }
    if (!chosen || steppedThisTick_.count(chosen)) return;
    TSlideShowObjectInitializationList* list = CurrentInitializationList(chosenPlayable);
    if (!list) return;
    urgentStep_ = true;
    asideAllowed_ = true;
    ExecuteStep(chosenPlayable, chosen, list->First()->Step, objects);
    urgentStep_ = false;
    asideAllowed_ = false;
}

bool TPreparationQueue::RunAside(const TSlideShowObject* item, const std::shared_ptr<TAsideWork>& work) {
    // A collage prepares its children whole in its own step: theirs never go aside.
    if (!asideAllowed_ || !stepObject_ || item != stepObject_ || !work || stepWentAside_) return false;
    if (!worker_) worker_ = std::make_unique<TAsideWorker>([waker = waker_] { waker->Wake(); });
    if (!worker_->Queue(work)) return false;
    asideSteps_[stepObject_] = TAsideStep{work, stepNumber_};
    wentAside_.insert(stepObject_);
    stepWentAside_ = true;
    return true;
}

bool TPreparationQueue::DueAfterAside(const std::vector<TSlideShowObject*>& objects) {
    const int32_t now = player_.GetPlayTime();
    for (TSlideShowObject* object : objects) {
        IPlayable* playable = AsPlayable(object);
        if (playable && wentAside_.count(object) && playable->GetStartTime() <= now && !playable->IsInitialized())
            return true;
    }
    return false;
}

void TPreparationQueue::PrepareDueAfterAside() {
    std::vector<TInitListItem> plan;
    // A pass runs a stage of each due object; the guard only keeps damage from looping.
    for (int guard = 0; guard < 256 && DueAfterAside(coming_); ++guard) {
        bool due = true;
        plan.clear();
        PlanPreparation(coming_, 0, due, plan, false);
        if (RunPreparation(plan, coming_, 0, false, player_.GetCurrentPlayTime()) == 0) break;
    }
}

bool TPreparationQueue::StepRunsAside(const TSlideShowObject* object) const {
    const auto found = asideSteps_.find(object);
    return found != asideSteps_.end() && found->second.Work->Pending();
}

void TPreparationQueue::TakeUpAsideSteps(std::vector<TSlideShowObject*>& objects) {
    std::vector<std::pair<TSlideShowObject*, int32_t>> over;
    for (TSlideShowObject* object : objects) {
        const auto found = asideSteps_.find(object);
        if (found != asideSteps_.end() && !found->second.Work->Pending()) over.emplace_back(object, found->second.Step);
    }
    for (const auto& [object, step] : over) {
        IPlayable* playable = AsPlayable(object);
        TSlideShowObjectInitializationList* list = playable ? playable->GetInitializationList() : nullptr;
        bool listed = false;
        for (int k = 0; list && k < list->Count() && !listed; ++k) listed = list->GetItem(k)->Step == step;
        // Only the step that handed its work aside takes it up.
        if (!listed) {
            asideSteps_.erase(object);
            continue;
        }
        ExecuteStep(playable, object, step, objects);
        // Taking the result up is no step's work: an urgent object still gets its step.
        steppedThisTick_.erase(object);
    }
}

void TPreparationQueue::PrepareWhileWaiting(std::vector<TSlideShowObject*>& objects, int32_t delay) {
    const bool unlimited = delay == -1;
    const int32_t watchStart = player_.GetCurrentPlayTime();
    const int32_t budget = std::max(0, delay - 50);
    auto left = [&] { return int64_t(budget) - Diff(player_.GetCurrentPlayTime(), watchStart); };
    std::vector<TInitListItem> plan;
    TakeUpAsideSteps(objects);
    bool due = DueAfterAside(objects);
    while (!objects.empty()) {
        plan.clear();
        const int result = PlanPreparation(objects, SaturateInt32(left()), due, plan, unlimited);
        if (result == 1 || (result == 2 && due)) {
            // A pass that runs no step would only plan the same again.
            if (RunPreparation(plan, objects, budget, unlimited, watchStart) == 0) break;
            if (!(unlimited || left() > 0 || DueAfterAside(objects))) break;
        } else {
            break;
        }
    }
    if (!unlimited && !objects.empty()) RunUrgentStep(objects);
}
