#include "document/TimeToValue.h"

#include "foundation/OKFStream.h"

#include <algorithm>
#include <cmath>

GC_IMPLEMENT_CLASS(TTimeValue, TObject)
GC_IMPLEMENT_CLASS(TTimeIntegerValue, TTimeValue)
GC_IMPLEMENT_CLASS(TTimeVector2DValue, TTimeValue)
GC_IMPLEMENT_CLASS(TTimeToValue, TObject)
GC_IMPLEMENT_CLASS(TTimeToIntegerValue, TTimeToValue)
GC_IMPLEMENT_CLASS(TTimeToVector2DValue, TTimeToValue)

// ---- keys ----

void TTimeValue::Assign(const TTimeValue& source) {
    Time = source.Time;
    Linear = source.Linear;
}

bool TTimeValue::WriteData(TOKFStream& stream) const {
    stream.WriteInteger(Time);
    stream.WriteBoolean(Linear);
    return true;
}

bool TTimeValue::ReadData(TOKFStream& stream) {
    Time = stream.ReadIntegerValue();
    Linear = stream.ReadBooleanValue();
    return true;
}

void TTimeIntegerValue::Assign(const TTimeValue& source) {
    TTimeValue::Assign(source);
    if (auto* s = dynamic_cast<const TTimeIntegerValue*>(&source)) Value = s->Value;
}

bool TTimeIntegerValue::WriteData(TOKFStream& stream) const {
    TTimeValue::WriteData(stream);
    stream.WriteInteger(Value);
    return true;
}

bool TTimeIntegerValue::ReadData(TOKFStream& stream) {
    TTimeValue::ReadData(stream);
    Value = stream.ReadIntegerValue();
    return true;
}

void TTimeVector2DValue::Assign(const TTimeValue& source) {
    TTimeValue::Assign(source);
    if (auto* s = dynamic_cast<const TTimeVector2DValue*>(&source)) Value = s->Value;
}

bool TTimeVector2DValue::WriteData(TOKFStream& stream) const {
    TTimeValue::WriteData(stream);
    stream.WriteInteger(Value.X);
    stream.WriteInteger(Value.Y);
    return true;
}

bool TTimeVector2DValue::ReadData(TOKFStream& stream) {
    TTimeValue::ReadData(stream);
    Value.X = stream.ReadIntegerValue();
    Value.Y = stream.ReadIntegerValue();
    return true;
}

// ---- curve base ----

bool TTimeToValue::WriteData(TOKFStream& stream) const {
    stream.WriteInteger(KeyCount());
    if (Keys.empty()) return true;
    stream.WriteString(Keys.front()->ClassName());
    for (const auto& k : Keys) k->WriteData(stream);
    return true;
}

bool TTimeToValue::ReadData(TOKFStream& stream) {
    const int32_t count = stream.ReadIntegerValue();
    if (count <= 0) return true;
    const AnsiString className = stream.ReadStringValue();
    // Only keys of this curve's own kind: a stored name of another class is unknown.
    const ClassInfo* cls = FindClass(className);
    if (!cls || !cls->InheritsFrom(KeyClass()) || !cls->Factory) return false;
    const std::unique_ptr<TTimeValue> probe = CreateAs<TTimeValue>(*cls);
    if (!probe) return false;
    const int64_t recordSize = probe->StoredSize();
    // Every key takes its record's bytes: a count beyond what is left is damage.
    if (static_cast<int64_t>(count) * recordSize > stream.BytesLeft()) RaiseOKFError(okfReadError);
    try {
        for (int32_t i = 0; i < count; ++i) {
            std::unique_ptr<TTimeValue> key = CreateAs<TTimeValue>(*cls);
            key->ReadData(stream);
            Keys.push_back(std::move(key));
        }
    } catch (...) {
        Sort();
        throw;
    }
    // Stored keys may be out of order; the key search relies on the order.
    Sort();
    return true;
}

void TTimeToValue::Assign(const TTimeToValue& source) {
    if (&source == this) return;
    Keys.clear();
    for (const auto& k : source.Keys) {
        std::unique_ptr<TTimeValue> key = CreateAs<TTimeValue>(k->ClassType());
        key->Assign(*k);
        Keys.push_back(std::move(key));
    }
    Sort();
    AssignRange(source);
}

void TTimeToValue::AddKey(std::unique_ptr<TTimeValue> key) {
    if (!key) return;
    Keys.push_back(std::move(key));
    Sort();
}

TTimeValue* TTimeToValue::AddKeyIndex(std::unique_ptr<TTimeValue> key, int& index) {
    TTimeValue* raw = key.get();
    AddKey(std::move(key));
    index = -1;
    for (int i = 0; i < KeyCount(); ++i)
        if (Keys[static_cast<size_t>(i)].get() == raw) index = i;
    return raw;
}

int TTimeToValue::FindKey(int32_t time, int& where) const {
    where = fkBefore;
    int result = -1;
    bool stopped = false;
    for (int i = 0; i < KeyCount(); ++i) {
        const int32_t t = Keys[static_cast<size_t>(i)]->Time;
        if (t > time) {
            if (i > 0) result = i - 1;
            where = result == -1 ? fkBefore : fkWithin;
            stopped = true;
            break;
        }
        if (t == time) {
            result = i;
            where = fkWithin;
            stopped = true;
            break;
        }
        where = fkWithin;
    }
    if (!stopped && !Keys.empty()) where = fkAfter;
    return result;
}

TTimeValue* TTimeToValue::GetKeyAt(int32_t time) const { return Key(FindKeyIndex(time)); }

std::unique_ptr<TTimeToValue> TTimeToValue::Clone() const {
    std::unique_ptr<TTimeToValue> copy = CreateAs<TTimeToValue>(ClassType());
    copy->Assign(*this);
    // A copy behaves like its original: the owner's clamp switch goes with it.
    copy->Clamp = Clamp;
    return copy;
}

void TTimeToValue::Sort() {
    std::stable_sort(Keys.begin(), Keys.end(),
                     [](const std::unique_ptr<TTimeValue>& a, const std::unique_ptr<TTimeValue>& b) {
                         return a->Time < b->Time;
                     });
}

int32_t TTimeToValue::GetNeighbourDistance(int32_t time) const {
    const int i = FindKeyIndex(time);
    if (i == -1) return -1;
    int64_t best = -1;
    if (i > 0) best = int64_t(time) - Keys[static_cast<size_t>(i - 1)]->Time;
    if (i < KeyCount() - 1) {
        const int64_t d2 = int64_t(Keys[static_cast<size_t>(i + 1)]->Time) - time;
        if (best < 0 || d2 < best) best = d2;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(best, -1, INT32_MAX));
}

int32_t TTimeToValue::GetLastTime() const { return Keys.empty() ? 0 : Keys.back()->Time; }

void TTimeToValue::DeleteKey(int index) {
    if (index >= 0 && index < KeyCount()) Keys.erase(Keys.begin() + index);
}

// ---- integer curve ----

namespace {

struct TPt {
    double X;
    double Y;
};

int32_t Line(long double t, long double x0, long double y0, long double x1, long double y1) {
    if (x1 == x0) return RoundToInt32(y0);
    return RoundToInt32((t - x0) / (x1 - x0) * (y1 - y0) + y0);
}

double Parabola(double t, const TPt& p0, const TPt& p1, const TPt& p2) {
    auto coeff = [](const TPt& k, const TPt& m, const TPt& n) {
        const double d = (k.X - m.X) * (k.X - n.X);
        return d == 0 ? 0.0 : k.Y / d;
    };
    const double c0 = coeff(p0, p1, p2), c1 = coeff(p1, p0, p2), c2 = coeff(p2, p0, p1);
    const double a = c0 + c1 + c2;
    const double b = -((p1.X + p2.X) * c0 + (p0.X + p2.X) * c1 + (p0.X + p1.X) * c2);
    const double c = p1.X * p2.X * c0 + p0.X * p2.X * c1 + p0.X * p1.X * c2;
    return a * t * t + b * t + c;
}

}  // namespace

void TTimeToIntegerValue::AssignRange(const TTimeToValue& source) {
    if (auto* s = dynamic_cast<const TTimeToIntegerValue*>(&source)) {
        MinValue = s->MinValue;
        MaxValue = s->MaxValue;
    }
}

int32_t TTimeToIntegerValue::Unclamped(int32_t t) const {
    const int count = KeyCount();
    const int i = FindKeyIndex(t);
    if (i == -1) {
        if (count == 0) return 0;
        return t < IntKey(0)->Time ? IntKey(0)->Value : IntKey(count - 1)->Value;
    }
    if (IntKey(i)->Time == t) return IntKey(i)->Value;
    auto pt = [this](int k) { return TPt{double(IntKey(k)->Time), double(IntKey(k)->Value)}; };
    if (count == 2) {
        const TPt a = pt(0), b = pt(1);
        return Line(t, a.X, a.Y, b.X, b.Y);
    }
    const int j = std::max(i, 1);
    const int j3 = j + 2 > count - 1 ? j + 1 : j + 2;
    const TPt p0 = pt(j - 1), p1 = pt(j), p2 = pt(j + 1), p3 = pt(j3);
    const bool l0 = IntKey(j - 1)->Linear, l1 = IntKey(j)->Linear, l2 = IntKey(j + 1)->Linear;
    const bool l3 = IntKey(j3)->Linear;
    (void)l3;
    const double T = t;
    if (i == 0 || j + 2 > count - 1) {
        if (i == 0 && l0 && l1) return Line(t, p0.X, p0.Y, p1.X, p1.Y);
        if (i != 0 && l0 && l1 && l2) return Line(t, p1.X, p1.Y, p2.X, p2.Y);
        return RoundToInt32(Parabola(T, p0, p1, p2));
    }
    if (l1 && l2) return Line(t, p1.X, p1.Y, p2.X, p2.Y);
    if (!l1 && l2) return RoundToInt32(Parabola(T, p0, p1, p2));
    if (l1 && !l2) return RoundToInt32(Parabola(T, p1, p2, p3));
    const double a = Parabola(T, p0, p1, p2);
    const double b = Parabola(T, p1, p2, p3);
    const double x1 = p1.X, x2 = p2.X;
    const double v = a * (x2 - T) / (x2 - x1) + b * (T - x1) / (x2 - x1);
    // A fault in the blend gives 0, as it always has.
    if (!std::isfinite(v)) return 0;
    return RoundToInt32(v);
}

int32_t TTimeToIntegerValue::GetValue(int32_t time) const {
    int32_t r = Unclamped(time);
    if (Clamp && MinValue != MaxValue) r = std::min(MaxValue, std::max(MinValue, r));
    return r;
}

// ---- vector curve ----

void TTimeToVector2DValue::AssignRange(const TTimeToValue& source) {
    if (auto* s = dynamic_cast<const TTimeToVector2DValue*>(&source)) {
        MinValue = s->MinValue;
        MaxValue = s->MaxValue;
    }
}

void TTimeToVector2DValue::Unclamped(int32_t t, TVector2D& point) const {
    const int count = KeyCount();
    const int i = FindKeyIndex(t);
    if (i == -1) {
        if (count == 0) point = TVector2D{};
        else point = t < VecKey(0)->Time ? VecKey(0)->Value : VecKey(count - 1)->Value;
        return;
    }
    if (VecKey(i)->Time == t) {
        point = VecKey(i)->Value;
        return;
    }
    const TTimeVector2DValue* k1 = VecKey(i);
    const TTimeVector2DValue* k2 = VecKey(i + 1);
    const TTimeVector2DValue* k0 = i > 0 ? VecKey(i - 1) : nullptr;
    const TTimeVector2DValue* k3 = i + 2 < count ? VecKey(i + 2) : nullptr;
    if (k1->Linear) k0 = nullptr;
    if (k2->Linear) k3 = nullptr;
    const float s = static_cast<float>(double(int64_t(t) - k1->Time) / double(int64_t(k2->Time) - k1->Time));
    if (!k0 && !k3) {
        point = AddVector2D(ScaleVector2D(k1->Value, 1 - s), ScaleVector2D(k2->Value, s));
        return;
    }
    const TFloatVector2D P1 = FloatVector2D(k1->Value), P2 = FloatVector2D(k2->Value);
    const TFloatVector2D P0 = k0 ? FloatVector2D(k0->Value) : P1;
    const TFloatVector2D P3 = k3 ? FloatVector2D(k3->Value) : P2;
    const TFloatVector2D M = ScaleFloatVector2D(AddFloatVector2D(P1, P2), 0.5f);
    const TFloatVector2D Q1 =
        ScaleFloatVector2D(AddFloatVector2D(AddFloatVector2D(P1, ScaleFloatVector2D(SubFloatVector2D(P1, P0), 0.375f)), M), 0.5f);
    const TFloatVector2D Q2 =
        ScaleFloatVector2D(AddFloatVector2D(AddFloatVector2D(P2, ScaleFloatVector2D(SubFloatVector2D(P2, P3), 0.375f)), M), 0.5f);
    const float u = 1 - s;
    const float b0 = u * u * u, b1 = 3 * u * u * s, b2 = 3 * u * s * s, b3 = s * s * s;
    TFloatVector2D r = ScaleFloatVector2D(P1, b0);
    r = AddFloatVector2D(r, ScaleFloatVector2D(Q1, b1));
    r = AddFloatVector2D(r, ScaleFloatVector2D(Q2, b2));
    r = AddFloatVector2D(r, ScaleFloatVector2D(P2, b3));
    point = RoundVector2D(r);
}

void TTimeToVector2DValue::GetValue(int32_t time, TVector2D& point) const {
    Unclamped(time, point);
    if (Clamp && (MinValue.X != MaxValue.X || MinValue.Y != MaxValue.Y)) {
        point.X = std::min(MaxValue.X, std::max(MinValue.X, point.X));
        point.Y = std::min(MaxValue.Y, std::max(MinValue.Y, point.Y));
    }
}

TVector2D TTimeToVector2DValue::Scale(const TVector2D& v, int32_t width, int32_t height) const {
    // A zero range maps nothing: 0 rather than a division fault.
    TVector2D r;
    r.X = MaxValue.X == 0 ? 0 : TruncToInt32(static_cast<long double>(v.X) / MaxValue.X * width);
    r.Y = MaxValue.Y == 0 ? 0 : TruncToInt32(static_cast<long double>(v.Y) / MaxValue.Y * height);
    return r;
}

void TTimeToVector2DValue::GetScaledValue(int32_t time, int32_t width, TVector2D& point, int32_t height) const {
    TVector2D v;
    GetValue(time, v);
    point = Scale(v, width, height);
}

bool TTimeToVector2DValue::GetScaledKeyValue(int index, int32_t width, TVector2D& point, int32_t height) const {
    const TTimeVector2DValue* k = VecKey(index);
    if (!k) {
        point = TVector2D{};
        return false;
    }
    point = Scale(k->Value, width, height);
    return true;
}

void InitializeTimeToValue() {
    RegisterClass(TTimeValue::StaticClassInfo());
    RegisterClass(TTimeIntegerValue::StaticClassInfo());
    RegisterClass(TTimeVector2DValue::StaticClassInfo());
}

void FinalizeTimeToValue() {
    UnRegisterClass(TTimeVector2DValue::StaticClassInfo());
    UnRegisterClass(TTimeIntegerValue::StaticClassInfo());
    UnRegisterClass(TTimeValue::StaticClassInfo());
}
