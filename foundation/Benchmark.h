// Measured durations of preparation work, kept per name and keyed by the size of the
// work, and predictions for new work by linear inter- and extrapolation. Keys are kept
// in 64 bits: file sizes, their sums and picture areas easily pass 2^31. Nothing here
// is stored, so the width of a key is free.
#pragma once

#include "foundation/ClassRegistry.h"

#include <cstdint>
#include <memory>
#include <vector>

// One measurement: a time in ms under the key of its class.
class TBenchmarkValue : public TObject {
    GC_DECLARE_CLASS(TBenchmarkValue)
public:
    // A comparator on keys: negative, 0 or positive.
    static int Compare(const TBenchmarkValue& a, const TBenchmarkValue& b);

    virtual void Assign(const TBenchmarkValue& source);
    virtual int64_t GetKey() const { return 0; }
    // A new value of this value's class carrying this key and the time, at this key, of
    // the straight line through A and B (anchored at B); never negative.
    virtual std::unique_ptr<TBenchmarkValue> Interpolate(const TBenchmarkValue& a, const TBenchmarkValue& b) const;

    int32_t Time() const { return FTime; }
    void SetTime(int32_t ms) { FTime = ms; }

    // A new, empty object of the same class (the virtual constructor).
    std::unique_ptr<TBenchmarkValue> NewOfSameClass() const;

protected:
    int32_t FTime = 0;
};

class TIntegerBenchmarkValue : public TBenchmarkValue {
    GC_DECLARE_CLASS(TIntegerBenchmarkValue)
public:
    static std::unique_ptr<TIntegerBenchmarkValue> CreateValue(int64_t key);

    void Assign(const TBenchmarkValue& source) override;
    int64_t GetKey() const override { return FKey; }

protected:
    int64_t FKey = 0;
};

// Key: the size in bytes of a file (-1 when it is not found).
class TFileSizeBenchmarkValue : public TIntegerBenchmarkValue {
    GC_DECLARE_CLASS(TFileSizeBenchmarkValue)
public:
    static std::unique_ptr<TFileSizeBenchmarkValue> CreateValue(const AnsiString& fileName);
};

// Key: the area of a picture, width x height.
class TPicSizeBenchmarkValue : public TIntegerBenchmarkValue {
    GC_DECLARE_CLASS(TPicSizeBenchmarkValue)
public:
    static std::unique_ptr<TPicSizeBenchmarkValue> CreateValue(int32_t width, int32_t height);
};

// Key: the sum of the sizes of the named files (each missing file adds -1).
class TFilesSizeBenchmarkValue : public TIntegerBenchmarkValue {
    GC_DECLARE_CLASS(TFilesSizeBenchmarkValue)
public:
    static std::unique_ptr<TFilesSizeBenchmarkValue> CreateValue(const std::vector<AnsiString>& fileNames);
};

// The values of one name, sorted by ascending key, each key at most once.
class TBenchmarkValueList : public TObject {
    GC_DECLARE_CLASS(TBenchmarkValueList)
public:
    TBenchmarkValueList() = default;
    explicit TBenchmarkValueList(const AnsiString& name);

    const AnsiString& Name() const { return FName; }
    int Count() const { return static_cast<int>(FItems.size()); }
    const TBenchmarkValue& Items(int index) const { return *FItems.at(static_cast<size_t>(index)); }

    TBenchmarkValue* FindSameKey(const TBenchmarkValue& value) const;
    virtual bool Contains(const TBenchmarkValue& value) const;
    // Takes the value. A value with a key already present only updates that item's time
    // (result False); otherwise it is inserted in key order (result True).
    virtual bool Add(std::unique_ptr<TBenchmarkValue> value);
    // A new value of Probe's class with the expected time at Probe's key, or null when
    // the list cannot tell (empty, or one value of another key).
    std::unique_ptr<TBenchmarkValue> Estimate(const TBenchmarkValue& probe) const;

private:
    AnsiString FName;
    std::vector<std::unique_ptr<TBenchmarkValue>> FItems;
};

class TBenchmark : public TObject {
    GC_DECLARE_CLASS(TBenchmark)
public:
    // Takes the value; creates the list of Name on first use.
    virtual bool Add(const AnsiString& name, std::unique_ptr<TBenchmarkValue> value);
    // The list of Name (without regard to case), or null.
    virtual TBenchmarkValueList* FindList(const AnsiString& name) const;
    virtual std::unique_ptr<TBenchmarkValue> Estimate(const AnsiString& name, const TBenchmarkValue& probe) const;
    // The expected time for Probe (which it takes and frees), or Default when unknown.
    virtual int32_t EstimateTime(const AnsiString& name, std::unique_ptr<TBenchmarkValue> probe, int32_t defaultTime) const;

    int Count() const { return static_cast<int>(FLists.size()); }

private:
    std::vector<std::unique_ptr<TBenchmarkValueList>> FLists;
};

// The names preparation steps record under, and their default estimates in ms.
namespace BenchmarkNames {
inline constexpr const char* OpenSound = "OpenSound";      // file size of the sound
inline constexpr const char* LoadFile = "LoadFile";        // file size of the picture
inline constexpr const char* Pic2Bmp = "Pic2Bmp";          // area of the loaded picture
inline constexpr const char* Scale = "Scale";              // area of the bitmap to scale
inline constexpr const char* ITransition = "iTransition";  // key 0
inline constexpr const char* ITxt = "itxt";                // key 0
inline constexpr const char* ETxt = "etxt";                // key 0
inline constexpr const char* LoadFiles = "LoadFiles";      // summed size of the files
inline constexpr const char* CPU = "CPU";                  // key 1,000,000 loop iterations
}  // namespace BenchmarkNames

namespace BenchmarkDefaults {
inline constexpr int32_t OpenSound = 200;
inline constexpr int32_t LoadFile = 500;
inline constexpr int32_t Pic2Bmp = 50;
inline constexpr int32_t Scale = 500;
inline constexpr int32_t ITransition = 20;
inline constexpr int32_t ITxt = 200;
inline constexpr int32_t ETxt = 100;
inline constexpr int32_t LoadFilesPerFile = 250;  // times the number of files
inline constexpr int64_t CPUKey = 1000000;
}  // namespace BenchmarkDefaults
