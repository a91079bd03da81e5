#include "foundation/Benchmark.h"

#include "foundation/FileTools.h"
#include "platform/Names.h"

#include <algorithm>
#include <cmath>
#include <limits>

GC_IMPLEMENT_CLASS(TBenchmarkValue, TObject)
GC_IMPLEMENT_CLASS(TIntegerBenchmarkValue, TBenchmarkValue)
GC_IMPLEMENT_CLASS(TFileSizeBenchmarkValue, TIntegerBenchmarkValue)
GC_IMPLEMENT_CLASS(TPicSizeBenchmarkValue, TIntegerBenchmarkValue)
GC_IMPLEMENT_CLASS(TFilesSizeBenchmarkValue, TIntegerBenchmarkValue)
GC_IMPLEMENT_CLASS(TBenchmarkValueList, TObject)
GC_IMPLEMENT_CLASS(TBenchmark, TObject)

int TBenchmarkValue::Compare(const TBenchmarkValue& a, const TBenchmarkValue& b) {
    const int64_t ka = a.GetKey(), kb = b.GetKey();
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

void TBenchmarkValue::Assign(const TBenchmarkValue& source) { FTime = source.FTime; }

std::unique_ptr<TBenchmarkValue> TBenchmarkValue::NewOfSameClass() const {
    return CreateAs<TBenchmarkValue>(ClassType());
}

std::unique_ptr<TBenchmarkValue> TBenchmarkValue::Interpolate(const TBenchmarkValue& a,
                                                              const TBenchmarkValue& b) const {
    std::unique_ptr<TBenchmarkValue> result = NewOfSameClass();
    result->Assign(*this);
    // Differences in integers, the line in extended precision, halves to even.
    // (128 bits, so no pair of 64-bit keys can overflow.)
    const __int128 keySpan = static_cast<__int128>(b.GetKey()) - a.GetKey();
    const int64_t timeSpan = int64_t(b.Time()) - a.Time();
    const __int128 keyOffset = static_cast<__int128>(GetKey()) - b.GetKey();
    long double t = b.Time();
    if (keySpan != 0)  // keys in a list are unique; guard anyway
        t = static_cast<long double>(keyOffset) *
                (static_cast<long double>(timeSpan) / static_cast<long double>(keySpan)) + b.Time();
    t = std::nearbyint(t);
    constexpr long double maxTime = std::numeric_limits<int32_t>::max();
    result->SetTime(!(t > 0) ? 0 : (t >= maxTime ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(t)));
    return result;
}

void TIntegerBenchmarkValue::Assign(const TBenchmarkValue& source) {
    TBenchmarkValue::Assign(source);
    if (auto* s = dynamic_cast<const TIntegerBenchmarkValue*>(&source)) FKey = s->FKey;
}

std::unique_ptr<TIntegerBenchmarkValue> TIntegerBenchmarkValue::CreateValue(int64_t key) {
    auto v = std::make_unique<TIntegerBenchmarkValue>();
    v->FKey = key;
    return v;
}

std::unique_ptr<TFileSizeBenchmarkValue> TFileSizeBenchmarkValue::CreateValue(const AnsiString& fileName) {
    auto v = std::make_unique<TFileSizeBenchmarkValue>();
    try {
        v->FKey = GetFileSize(fileName);
    } catch (const std::exception&) {
        v->FKey = 0;
    }
    return v;
}

std::unique_ptr<TPicSizeBenchmarkValue> TPicSizeBenchmarkValue::CreateValue(int32_t width, int32_t height) {
    auto v = std::make_unique<TPicSizeBenchmarkValue>();
    v->FKey = int64_t(width) * height;
    return v;
}

std::unique_ptr<TFilesSizeBenchmarkValue> TFilesSizeBenchmarkValue::CreateValue(
    const std::vector<AnsiString>& fileNames) {
    auto v = std::make_unique<TFilesSizeBenchmarkValue>();
    try {
        for (const AnsiString& name : fileNames) v->FKey += GetFileSize(name);
    } catch (const std::exception&) {
        // The partial sum stands.
    }
    return v;
}

TBenchmarkValueList::TBenchmarkValueList(const AnsiString& name) : FName(AnsiUpperCase(name)) {}

TBenchmarkValue* TBenchmarkValueList::FindSameKey(const TBenchmarkValue& value) const {
    for (const auto& item : FItems)
        if (TBenchmarkValue::Compare(*item, value) == 0) return item.get();
    return nullptr;
}

bool TBenchmarkValueList::Contains(const TBenchmarkValue& value) const { return FindSameKey(value) != nullptr; }

bool TBenchmarkValueList::Add(std::unique_ptr<TBenchmarkValue> value) {
    if (!value) return false;
    if (TBenchmarkValue* same = FindSameKey(*value)) {
        same->SetTime(value->Time());
        return false;
    }
    // Inserting at the sorted place is the same as appending and sorting.
    auto pos = std::upper_bound(FItems.begin(), FItems.end(), value,
                                [](const std::unique_ptr<TBenchmarkValue>& a, const std::unique_ptr<TBenchmarkValue>& b) {
                                    return TBenchmarkValue::Compare(*a, *b) < 0;
                                });
    FItems.insert(pos, std::move(value));
    return true;
}

std::unique_ptr<TBenchmarkValue> TBenchmarkValueList::Estimate(const TBenchmarkValue& probe) const {
    const size_t n = FItems.size();
    const TBenchmarkValue* a = nullptr;
    const TBenchmarkValue* b = nullptr;
    if (n > 0 && TBenchmarkValue::Compare(probe, *FItems.back()) > 0) {
        if (n < 2) return nullptr;
        a = FItems[n - 2].get();
        b = FItems[n - 1].get();
    } else {
        for (size_t i = 0; i < n; ++i) {
            const int c = TBenchmarkValue::Compare(probe, *FItems[i]);
            if (c == 0) {
                std::unique_ptr<TBenchmarkValue> result = probe.NewOfSameClass();
                result->Assign(*FItems[i]);
                return result;
            }
            if (c < 0) {
                if (n < 2) return nullptr;
                if (i == 0) {
                    a = FItems[0].get();
                    b = FItems[1].get();
                } else {
                    a = FItems[i - 1].get();
                    b = FItems[i].get();
                }
                break;
            }
        }
    }
    if (!a) return nullptr;
    return probe.Interpolate(*a, *b);
}

bool TBenchmark::Add(const AnsiString& name, std::unique_ptr<TBenchmarkValue> value) {
    TBenchmarkValueList* list = FindList(name);
    if (!list) {
        FLists.push_back(std::make_unique<TBenchmarkValueList>(name));
        list = FLists.back().get();
    }
    return list->Add(std::move(value));
}

TBenchmarkValueList* TBenchmark::FindList(const AnsiString& name) const {
    const AnsiString upper = AnsiUpperCase(name);
    for (const auto& list : FLists)
        if (list->Name() == upper) return list.get();
    return nullptr;
}

std::unique_ptr<TBenchmarkValue> TBenchmark::Estimate(const AnsiString& name, const TBenchmarkValue& probe) const {
    const TBenchmarkValueList* list = FindList(name);
    return list ? list->Estimate(probe) : nullptr;
}

int32_t TBenchmark::EstimateTime(const AnsiString& name, std::unique_ptr<TBenchmarkValue> probe,
                                 int32_t defaultTime) const {
    if (!probe) return defaultTime;
    std::unique_ptr<TBenchmarkValue> estimate = Estimate(name, *probe);
    return estimate ? estimate->Time() : defaultTime;
}
