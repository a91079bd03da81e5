#include "foundation/Benchmark.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TIntegerBenchmarkValue> Value(int64_t key, int32_t time) {
    auto v = TIntegerBenchmarkValue::CreateValue(key);
    v->SetTime(time);
    return v;
}

int32_t EstimateAt(const TBenchmark& b, const char* name, int64_t key, int32_t def = -99) {
    return b.EstimateTime(name, TIntegerBenchmarkValue::CreateValue(key), def);
}

}  // namespace

TEST(Benchmark, EmptyAndSingleValueLists) {
    TBenchmark b;
    EXPECT_EQ(EstimateAt(b, "x", 10, 200), 200);
    b.Add("x", Value(10, 77));
    EXPECT_EQ(EstimateAt(b, "x", 10), 77);
    EXPECT_EQ(EstimateAt(b, "x", 11, 200), 200);
    EXPECT_EQ(EstimateAt(b, "x", 9, 200), 200);
    EXPECT_EQ(b.EstimateTime("x", nullptr, 5), 5);
}

TEST(Benchmark, LinearInterAndExtrapolation) {
    TBenchmark b;
    b.Add("Scale", Value(1000, 100));
    b.Add("Scale", Value(3000, 300));
    EXPECT_EQ(EstimateAt(b, "Scale", 2000), 200);
    EXPECT_EQ(EstimateAt(b, "Scale", 5000), 500);
    EXPECT_EQ(EstimateAt(b, "Scale", 0), 0);
    EXPECT_EQ(EstimateAt(b, "Scale", 1000), 100);
    TBenchmark d;
    d.Add("n", Value(1000, 300));
    d.Add("n", Value(2000, 100));
    EXPECT_EQ(EstimateAt(d, "n", 4000), 0);  // never negative
    EXPECT_EQ(EstimateAt(d, "n", 1500), 200);
}

TEST(Benchmark, EstimateCarriesProbeKeyAndClass) {
    TBenchmark b;
    b.Add("p", TPicSizeBenchmarkValue::CreateValue(10, 10));
    b.Add("p", TPicSizeBenchmarkValue::CreateValue(20, 10));
    auto probe = TPicSizeBenchmarkValue::CreateValue(30, 10);
    auto e = b.Estimate("p", *probe);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ClassType().Name, std::string("TPicSizeBenchmarkValue"));
    EXPECT_EQ(e->GetKey(), 300);
}

TEST(Benchmark, RoundsHalvesToEven) {
    TBenchmark b;
    b.Add("r", Value(0, 0));
    b.Add("r", Value(2, 1));  // 0.5 ms per key unit
    EXPECT_EQ(EstimateAt(b, "r", 1), 0);   // 0.5 -> 0
    EXPECT_EQ(EstimateAt(b, "r", 3), 2);   // 1.5 -> 2
    EXPECT_EQ(EstimateAt(b, "r", 5), 2);   // 2.5 -> 2
    EXPECT_EQ(EstimateAt(b, "r", 7), 4);   // 3.5 -> 4
}

TEST(Benchmark, KeysBeyond32Bits) {
    const int64_t big = int64_t(3) << 31;  // 6 GiB
    TBenchmark b;
    b.Add("LoadFile", Value(big, 3000));
    b.Add("LoadFile", Value(2 * big, 6000));
    EXPECT_EQ(EstimateAt(b, "LoadFile", big / 2), 1500);
    EXPECT_EQ(EstimateAt(b, "LoadFile", 3 * big), 9000);
    EXPECT_EQ(TPicSizeBenchmarkValue::CreateValue(70000, 70000)->GetKey(), int64_t(70000) * 70000);
    // An absurd extrapolation stays a valid time.
    TBenchmark c;
    c.Add("c", Value(0, 0));
    c.Add("c", Value(1, 1000000));
    EXPECT_EQ(EstimateAt(c, "c", int64_t(1) << 40), std::numeric_limits<int32_t>::max());
    c.Add("c", Value(std::numeric_limits<int64_t>::max(), 5));
    EXPECT_GE(EstimateAt(c, "c", std::numeric_limits<int64_t>::min()), 0);
}

TEST(Benchmark, ListsKeepLatestPerKeySortedAndNamesIgnoreCase) {
    TBenchmark b;
    EXPECT_TRUE(b.Add("OpenSound", Value(5, 50)));
    EXPECT_TRUE(b.Add("opensound", Value(1, 10)));
    EXPECT_TRUE(b.Add("OPENSOUND", Value(3, 30)));
    EXPECT_FALSE(b.Add("OpenSound", Value(3, 33)));
    EXPECT_EQ(b.Count(), 1);
    TBenchmarkValueList* l = b.FindList("openSOUND");
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->Name(), "OPENSOUND");
    ASSERT_EQ(l->Count(), 3);
    EXPECT_EQ(l->Items(0).GetKey(), 1);
    EXPECT_EQ(l->Items(1).GetKey(), 3);
    EXPECT_EQ(l->Items(1).Time(), 33);
    EXPECT_EQ(l->Items(2).GetKey(), 5);
    EXPECT_TRUE(l->Contains(*Value(5, 0)));
    EXPECT_FALSE(l->Contains(*Value(4, 0)));
    EXPECT_EQ(b.FindList("other"), nullptr);
}

TEST(Benchmark, AssignCopiesKeyOnlyBetweenKeyedValues) {
    auto a = Value(42, 7);
    TBenchmarkValue plain;
    plain.Assign(*a);
    EXPECT_EQ(plain.Time(), 7);
    EXPECT_EQ(plain.GetKey(), 0);
    auto c = Value(1, 1);
    c->Assign(plain);
    EXPECT_EQ(c->GetKey(), 1);
    EXPECT_EQ(c->Time(), 7);
}

TEST(Benchmark, FileSizeKeys) {
    TempDir t;
    t.Write("a", std::string(100, 'a'));
    t.Write("b", std::string(23, 'b'));
    EXPECT_EQ(TFileSizeBenchmarkValue::CreateValue(t.Program() + "a")->GetKey(), 100);
    EXPECT_EQ(TFileSizeBenchmarkValue::CreateValue(t.Program() + "zz")->GetKey(), -1);
    EXPECT_EQ(TFilesSizeBenchmarkValue::CreateValue({t.Program() + "a", t.Program() + "b", t.Program() + "zz"})->GetKey(),
              122);
    EXPECT_EQ(TFilesSizeBenchmarkValue::CreateValue({})->GetKey(), 0);
}
