// Preparation steps of an item: the player runs them ahead of time, cheapest first.
#pragma once

#include "document/PreparationSteps.h"
#include "foundation/ClassRegistry.h"

#include <cstdint>
#include <memory>
#include <vector>

class TSlideShowObjectInitialization : public TObject {
    GC_DECLARE_CLASS(TSlideShowObjectInitialization)
public:
    TSlideShowObjectInitialization() = default;
    TSlideShowObjectInitialization(int32_t step, int32_t estimatedTime, int32_t order)
        : EstimatedTime(estimatedTime), Order(order), Step(step) {}

    int32_t EstimatedTime = 0;  // ms
    int32_t Order = 0;          // sort key
    int32_t Step = 0;           // the item's own step number
    // The step hands its work to the player's helper thread (IPreparationSteps::RunAside)
    // when it may: asking for it costs a tick next to nothing, whatever its estimate.
    bool MayRunAside = false;
};

// Kept sorted by Order, then EstimatedTime; entries equal in both keep their order.
class TSlideShowObjectInitializationList : public TObject {
    GC_DECLARE_CLASS(TSlideShowObjectInitializationList)
public:
    TSlideShowObjectInitializationList() = default;

    // Take the entry; null is ignored.
    virtual void Add(std::unique_ptr<TSlideShowObjectInitialization> entry);
    virtual void Insert(int i, std::unique_ptr<TSlideShowObjectInitialization> entry);
    TSlideShowObjectInitialization* First() const { return GetItem(0); }
    TSlideShowObjectInitialization* Last() const { return GetItem(Count() - 1); }
    // Frees the entry; its former index, or -1 when it is not in the list.
    virtual int Remove(TSlideShowObjectInitialization* entry);
    // Sum over all entries, saturated to 32 bits.
    virtual int32_t GetTotalEstimatedTime() const;

    int Count() const { return static_cast<int>(items_.size()); }
    TSlideShowObjectInitialization* GetItem(int i) const {
        return i >= 0 && i < Count() ? items_[static_cast<size_t>(i)].get() : nullptr;
    }
    void Delete(int i);
    void Clear() { items_.clear(); }
    // Frees the first entry with that step; nothing when there is none.
    void DeleteStep(int32_t step);
    void SetCurrentStep(int32_t value) { CurrentStep = value; }

    // NotBegun, AllDone, else the step in progress.
    int32_t CurrentStep = PreparationStep::NotBegun;

private:
    void SortEntries();
    std::vector<std::unique_ptr<TSlideShowObjectInitialization>> items_;
};
