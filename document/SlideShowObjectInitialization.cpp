#include "document/SlideShowObjectInitialization.h"

#include <algorithm>
#include <limits>

GC_IMPLEMENT_CLASS(TSlideShowObjectInitialization, TObject)
GC_IMPLEMENT_CLASS(TSlideShowObjectInitializationList, TObject)

void TSlideShowObjectInitializationList::SortEntries() {
    // Compared, never subtracted: extreme estimates must not overflow the order.
    std::stable_sort(items_.begin(), items_.end(), [](const auto& a, const auto& b) {
        if (a->Order != b->Order) return a->Order < b->Order;
        return a->EstimatedTime < b->EstimatedTime;
    });
}

void TSlideShowObjectInitializationList::Add(std::unique_ptr<TSlideShowObjectInitialization> entry) {
    if (!entry) return;
    items_.push_back(std::move(entry));
    SortEntries();
}

void TSlideShowObjectInitializationList::Insert(int i, std::unique_ptr<TSlideShowObjectInitialization> entry) {
    if (!entry) return;
    i = std::clamp(i, 0, Count());
    items_.insert(items_.begin() + i, std::move(entry));
    SortEntries();
}

int TSlideShowObjectInitializationList::Remove(TSlideShowObjectInitialization* entry) {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)].get() == entry) {
            items_.erase(items_.begin() + i);
            return i;
        }
    return -1;
}

int32_t TSlideShowObjectInitializationList::GetTotalEstimatedTime() const {
    int64_t sum = 0;
    for (const auto& e : items_) sum += e->EstimatedTime;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

void TSlideShowObjectInitializationList::Delete(int i) {
    if (i >= 0 && i < Count()) items_.erase(items_.begin() + i);
}

void TSlideShowObjectInitializationList::DeleteStep(int32_t step) {
    for (int i = 0; i < Count(); ++i)
        if (items_[static_cast<size_t>(i)]->Step == step) {
            items_.erase(items_.begin() + i);
            return;
        }
}
