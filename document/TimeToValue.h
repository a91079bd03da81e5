// Key-frame curves: a time in ms mapped to an integer or a 2-D point, interpolated
// between keys, held before the first and after the last key.
#pragma once

#include "document/Vector2D.h"
#include "foundation/ClassRegistry.h"

#include <cstdint>
#include <memory>
#include <vector>

class TOKFStream;

// One key: a time and the flag that straightens the segments meeting at it.
class TTimeValue : public TObject {
    GC_DECLARE_CLASS(TTimeValue)
public:
    TTimeValue() = default;
    // Time and Linear always; the kind's value when Source is of the same kind.
    virtual void Assign(const TTimeValue& source);
    virtual bool WriteData(TOKFStream& stream) const;
    virtual bool ReadData(TOKFStream& stream);
    // Bytes of the stored record, to bound a stored key count.
    virtual int StoredSize() const { return 5; }

    int32_t Time = -1;
    bool Linear = false;
};

class TTimeIntegerValue : public TTimeValue {
    GC_DECLARE_CLASS(TTimeIntegerValue)
public:
    void Assign(const TTimeValue& source) override;
    bool WriteData(TOKFStream& stream) const override;
    bool ReadData(TOKFStream& stream) override;
    int StoredSize() const override { return 9; }

    int32_t Value = 0;
};

class TTimeVector2DValue : public TTimeValue {
    GC_DECLARE_CLASS(TTimeVector2DValue)
public:
    void Assign(const TTimeValue& source) override;
    bool WriteData(TOKFStream& stream) const override;
    bool ReadData(TOKFStream& stream) override;
    int StoredSize() const override { return 13; }

    TVector2D Value;
};

// FindKey's answer for a time outside the keys.
enum : int { fkWithin = 0, fkBefore = 1, fkAfter = 2 };

class TTimeToValue : public TObject {
    GC_DECLARE_CLASS(TTimeToValue)
public:
    TTimeToValue() = default;
    ~TTimeToValue() override = default;
    TTimeToValue(const TTimeToValue&) = delete;
    TTimeToValue& operator=(const TTimeToValue&) = delete;

    // The key kind this curve holds; stored keys of any other class are refused.
    virtual const ClassInfo& KeyClass() const { return TTimeValue::StaticClassInfo(); }

    virtual bool WriteData(TOKFStream& stream) const;
    // Appends the stored keys, then sorts. False (keys read so far kept) for a key class
    // that is unknown or not of this curve's kind; a count that the bytes left cannot
    // hold raises the container's read error.
    virtual bool ReadData(TOKFStream& stream);
    // Copies the keys (sorted); Clamp stays as it is.
    virtual void Assign(const TTimeToValue& source);
    // Takes the key and keeps the keys in time order.
    virtual void AddKey(std::unique_ptr<TTimeValue> key);
    virtual TTimeValue* AddKeyIndex(std::unique_ptr<TTimeValue> key, int& index);
    // Index of the last key with Time <= T inside the keys' span, else -1 with Where.
    virtual int FindKey(int32_t time, int& where) const;
    int FindKeyIndex(int32_t time) const {
        int where;
        return FindKey(time, where);
    }
    virtual TTimeValue* GetKeyAt(int32_t time) const;
    // A copy of the same class with the same keys, Clamp and range.
    virtual std::unique_ptr<TTimeToValue> Clone() const;
    // Ascending by time; keys of equal time keep their order.
    virtual void Sort();
    virtual int32_t GetNeighbourDistance(int32_t time) const;
    virtual int32_t GetLastTime() const;

    int KeyCount() const { return static_cast<int>(Keys.size()); }
    TTimeValue* Key(int index) const {
        return index >= 0 && index < KeyCount() ? Keys[static_cast<size_t>(index)].get() : nullptr;
    }
    void DeleteKey(int index);
    void ClearKeys() { Keys.clear(); }

    bool Clamp = true;
    std::vector<std::unique_ptr<TTimeValue>> Keys;

protected:
    virtual void AssignRange(const TTimeToValue&) {}
};

class TTimeToIntegerValue : public TTimeToValue {
    GC_DECLARE_CLASS(TTimeToIntegerValue)
public:
    const ClassInfo& KeyClass() const override { return TTimeIntegerValue::StaticClassInfo(); }
    virtual int32_t GetValue(int32_t time) const;
    TTimeIntegerValue* IntKey(int index) const { return static_cast<TTimeIntegerValue*>(Key(index)); }

    int32_t MaxValue = 0;
    int32_t MinValue = 0;

protected:
    void AssignRange(const TTimeToValue& source) override;

private:
    int32_t Unclamped(int32_t time) const;
};

class TTimeToVector2DValue : public TTimeToValue {
    GC_DECLARE_CLASS(TTimeToVector2DValue)
public:
    const ClassInfo& KeyClass() const override { return TTimeVector2DValue::StaticClassInfo(); }
    virtual void GetValue(int32_t time, TVector2D& point) const;
    // The value mapped from 0..MaxValue onto a Width x Height pixel area.
    virtual void GetScaledValue(int32_t time, int32_t width, TVector2D& point, int32_t height) const;
    // The same for key Index; False (point (0, 0)) when there is no such key.
    virtual bool GetScaledKeyValue(int index, int32_t width, TVector2D& point, int32_t height) const;
    TTimeVector2DValue* VecKey(int index) const { return static_cast<TTimeVector2DValue*>(Key(index)); }

    TVector2D MaxValue{1000000, 1000000};
    TVector2D MinValue{0, 0};

protected:
    void AssignRange(const TTimeToValue& source) override;

private:
    void Unclamped(int32_t time, TVector2D& point) const;
    TVector2D Scale(const TVector2D& v, int32_t width, int32_t height) const;
};

// Registers the key classes with the class registry so stored names find them.
void InitializeTimeToValue();
void FinalizeTimeToValue();
