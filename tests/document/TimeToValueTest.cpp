#include "document/TimeToValue.h"

#include "TestSupport.h"
#include "foundation/OKFStream.h"

#include <gtest/gtest.h>

namespace {

struct Keys {
    Keys() { InitializeTimeToValue(); }
};
const Keys keysRegistered;

void AddInt(TTimeToIntegerValue& c, int32_t t, int32_t v, bool linear = false) {
    auto k = std::make_unique<TTimeIntegerValue>();
    k->Time = t;
    k->Value = v;
    k->Linear = linear;
    c.AddKey(std::move(k));
}

void AddVec(TTimeToVector2DValue& c, int32_t t, int32_t x, int32_t y, bool linear = false) {
    auto k = std::make_unique<TTimeVector2DValue>();
    k->Time = t;
    k->Value = Vector2D(x, y);
    k->Linear = linear;
    c.AddKey(std::move(k));
}

bool ReadCurve(TTimeToValue& c, const std::vector<uint8_t>& bytes) {
    TMemoryStream m(bytes);
    TOKFStream s(&m, okfRaw);
    return c.ReadData(s);
}

}  // namespace

TEST(TimeToIntegerValue, EmptyOneKeyAndExactKeys) {
    TTimeToIntegerValue c;
    EXPECT_EQ(c.GetValue(123), 0);
    c.MinValue = 10;
    c.MaxValue = 255;
    EXPECT_EQ(c.GetValue(0), 10);  // the empty curve's 0 is clamped too
    c.MinValue = 0;
    EXPECT_EQ(c.GetValue(0), 0);
    AddInt(c, 500, 77);
    EXPECT_EQ(c.GetValue(-100000), 77);
    EXPECT_EQ(c.GetValue(500), 77);
    EXPECT_EQ(c.GetValue(900000), 77);
    EXPECT_EQ(c.GetNeighbourDistance(500), -1);
}

TEST(TimeToIntegerValue, TwoKeysAreAStraightLineRoundedHalfToEven) {
    TTimeToIntegerValue c;
    AddInt(c, 1000, 100);
    AddInt(c, 0, 0);  // added out of order, kept sorted
    EXPECT_EQ(c.Key(0)->Time, 0);
    EXPECT_EQ(c.GetValue(250), 25);
    EXPECT_EQ(c.GetValue(5), 0);   // 0.5
    EXPECT_EQ(c.GetValue(15), 2);  // 1.5
    EXPECT_EQ(c.GetValue(1000), 100);
    EXPECT_EQ(c.GetValue(2000), 100);
}

TEST(TimeToIntegerValue, ParabolaAndLinearFlagsAtTheEdges) {
    // y = -0.001 t^2 + 2 t through (0,0), (1000,1000), (2000,0).
    TTimeToIntegerValue c;
    AddInt(c, 0, 0);
    AddInt(c, 1000, 1000);
    AddInt(c, 2000, 0);
    EXPECT_EQ(c.GetValue(500), 750);
    EXPECT_EQ(c.GetValue(1500), 750);
    // First segment: the first two keys linear suffice.
    c.Key(0)->Linear = c.Key(1)->Linear = true;
    EXPECT_EQ(c.GetValue(500), 500);
    // Last segment: needs all three of the last keys.
    c.Key(0)->Linear = false;
    c.Key(2)->Linear = true;
    EXPECT_EQ(c.GetValue(1500), 750);
    c.Key(0)->Linear = true;
    EXPECT_EQ(c.GetValue(1500), 500);
}

TEST(TimeToIntegerValue, InteriorSegmentBlendsTwoParabolas) {
    // A through (0,0),(1000,1000),(2000,0) is 750 at 1500; B through (1000,1000),
    // (2000,0),(3000,1000) is 250 there; the blend weighs them half and half.
    TTimeToIntegerValue c;
    AddInt(c, 0, 0);
    AddInt(c, 1000, 1000);
    AddInt(c, 2000, 0);
    AddInt(c, 3000, 1000);
    EXPECT_EQ(c.GetValue(1500), 500);
    c.Key(2)->Linear = true;
    EXPECT_EQ(c.GetValue(1500), 750);
    c.Key(2)->Linear = false;
    c.Key(1)->Linear = true;
    EXPECT_EQ(c.GetValue(1500), 250);
    c.Key(2)->Linear = true;
    EXPECT_EQ(c.GetValue(1500), 500);
    c.MinValue = 0;
    c.MaxValue = 400;
    EXPECT_EQ(c.GetValue(1500), 400);
    c.Clamp = false;
    EXPECT_EQ(c.GetValue(1500), 500);
}

TEST(TimeToIntegerValue, FindKeyAndNeighbours) {
    TTimeToIntegerValue c;
    int where = -5;
    EXPECT_EQ(c.FindKey(10, where), -1);
    EXPECT_EQ(where, fkBefore);
    AddInt(c, 0, 0);
    AddInt(c, 1000, 10);
    AddInt(c, 3000, 30);
    EXPECT_EQ(c.FindKey(-1, where), -1);
    EXPECT_EQ(where, fkBefore);
    EXPECT_EQ(c.FindKey(1200, where), 1);
    EXPECT_EQ(where, fkWithin);
    EXPECT_EQ(c.FindKey(3000, where), 2);
    EXPECT_EQ(c.FindKey(3001, where), -1);
    EXPECT_EQ(where, fkAfter);
    EXPECT_EQ(c.GetKeyAt(3001), nullptr);
    EXPECT_EQ(c.GetValue(3001), 30);
    EXPECT_EQ(c.GetNeighbourDistance(1200), 1200);  // from the key before the found one
    EXPECT_EQ(c.GetNeighbourDistance(2900), 100);
    EXPECT_EQ(c.GetLastTime(), 3000);
    int idx = -1;
    auto k = std::make_unique<TTimeIntegerValue>();
    k->Time = 2000;
    c.AddKeyIndex(std::move(k), idx);
    EXPECT_EQ(idx, 2);
}

TEST(TimeToVector2DValue, LineBezierAndClamping) {
    TTimeToVector2DValue c;
    TVector2D p;
    c.GetValue(0, p);
    EXPECT_EQ(p, Vector2D(0, 0));
    AddVec(c, 0, 0, 0);
    AddVec(c, 1000, 1000, 2000);
    c.GetValue(250, p);
    EXPECT_EQ(p, Vector2D(250, 500));

    // (0,0) (1000,0) (2000,0), none linear, at 500: P0 := P1, P3 = (2000,0);
    // Q1 = 250, Q2 = 562.5; 250*.375 + 562.5*.375 + 1000*.125 = 429.6875.
    TTimeToVector2DValue b;
    AddVec(b, 0, 0, 0);
    AddVec(b, 1000, 1000, 0);
    AddVec(b, 2000, 2000, 0);
    b.GetValue(500, p);
    EXPECT_EQ(p, Vector2D(430, 0));
    b.Key(1)->Linear = true;  // P3 dropped, P0 absent: straight line
    b.GetValue(500, p);
    EXPECT_EQ(p, Vector2D(500, 0));

    TTimeToVector2DValue m;
    m.Clamp = false;
    AddVec(m, 0, -5, 2000000);
    m.GetValue(10, p);
    EXPECT_EQ(p, Vector2D(-5, 2000000));
    m.Clamp = true;
    m.GetValue(10, p);
    EXPECT_EQ(p, Vector2D(0, 1000000));
    // Skipped only when both components of the range are equal.
    m.MaxValue = Vector2D(0, 100);
    m.GetValue(10, p);
    EXPECT_EQ(p, Vector2D(0, 100));
    m.MaxValue = Vector2D(0, 0);
    m.GetValue(10, p);
    EXPECT_EQ(p, Vector2D(-5, 2000000));
}

TEST(TimeToVector2DValue, ScaledValuesAndKeyIndexChecked) {
    TTimeToVector2DValue c;
    AddVec(c, 0, 500000, 250000);
    TVector2D p;
    c.GetScaledValue(0, 800, p, 600);
    EXPECT_EQ(p, Vector2D(400, 150));
    EXPECT_TRUE(c.GetScaledKeyValue(0, 800, p, 600));
    EXPECT_EQ(p, Vector2D(400, 150));
    EXPECT_FALSE(c.GetScaledKeyValue(1, 800, p, 600));
    EXPECT_FALSE(c.GetScaledKeyValue(-1, 800, p, 600));
    c.MaxValue = Vector2D(0, 0);
    c.GetScaledValue(0, 800, p, 600);
    EXPECT_EQ(p, Vector2D(0, 0));
}

TEST(TimeToValueStream, StoredFormMatchesFixtureAndReadsBack) {
    TTimeToIntegerValue c;
    AddInt(c, 0, 255, true);
    AddInt(c, 1500, -3);
    TMemoryStream m;
    {
        TOKFStream s(&m, okfRaw);
        EXPECT_TRUE(c.WriteData(s));
    }
    const std::vector<uint8_t> expected =
        Bytes().i32(2).str("TTimeIntegerValue").i32(0).u8(1).i32(255).i32(1500).u8(0).i32(-3);
    EXPECT_EQ(m.Bytes(), expected);

    TTimeToIntegerValue back;
    EXPECT_TRUE(ReadCurve(back, expected));
    ASSERT_EQ(back.KeyCount(), 2);
    EXPECT_TRUE(back.Key(0)->Linear);
    EXPECT_EQ(back.IntKey(1)->Value, -3);

    TTimeToIntegerValue empty;
    EXPECT_TRUE(ReadCurve(empty, Bytes().i32(0)));
    EXPECT_EQ(empty.KeyCount(), 0);
}

TEST(TimeToValueStream, DamagedStoredCurves) {
    // Keys out of order are sorted, so the search finds them.
    TTimeToIntegerValue c;
    EXPECT_TRUE(ReadCurve(c, Bytes().i32(3).str("TTimeIntegerValue").i32(2000).u8(0).i32(20).i32(0).u8(0).i32(0)
                                 .i32(1000).u8(0).i32(10)));
    EXPECT_EQ(c.Key(0)->Time, 0);
    EXPECT_EQ(c.Key(2)->Time, 2000);
    EXPECT_EQ(c.GetValue(1000), 10);

    TTimeToIntegerValue u;
    EXPECT_FALSE(ReadCurve(u, Bytes().i32(1).str("TNoSuchKey").i32(0).u8(0).i32(0)));
    // A key of the other kind is unknown to this curve.
    EXPECT_FALSE(ReadCurve(u, Bytes().i32(1).str("TTimeVector2DValue").i32(0).u8(0).i32(0).i32(0)));
    EXPECT_FALSE(ReadCurve(u, Bytes().i32(1).str("TTimeToIntegerValue").i32(0).u8(0).i32(0)));
    EXPECT_EQ(u.KeyCount(), 0);
    // A runaway count is refused before anything is allocated.
    EXPECT_THROW(ReadCurve(u, Bytes().i32(0x7FFFFFFF).str("TTimeIntegerValue").i32(0).u8(0).i32(0)), EOKFError);
    EXPECT_EQ(u.KeyCount(), 0);
}

TEST(TimeToValueCopy, CloneKeepsClampAndRange) {
    TTimeToIntegerValue c;
    c.Clamp = false;
    c.MinValue = 0;
    c.MaxValue = 255;
    AddInt(c, 0, 300);
    auto copy = c.Clone();
    auto* ic = dynamic_cast<TTimeToIntegerValue*>(copy.get());
    ASSERT_NE(ic, nullptr);
    EXPECT_FALSE(ic->Clamp);
    EXPECT_EQ(ic->MaxValue, 255);
    EXPECT_EQ(ic->GetValue(0), 300);
    c.IntKey(0)->Value = 1;
    EXPECT_EQ(ic->IntKey(0)->Value, 300);  // keys are copies

    TTimeToIntegerValue target;  // Assign leaves the target's clamp alone
    target.Assign(c);
    EXPECT_TRUE(target.Clamp);
}
