// The tables that never change after they are built (echoloom~'s five
// waveforms, levelsway~'s square roots) are built once per
// process and shared read-only: every instance sees the same, complete table,
// also after the instance that built it is gone and after a refused creation.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "echoloom/echoloom.h"
#include "levelsway/levelsway.h"
#include "rig.h"

namespace {

constexpr int N = 1 << 20;

template <typename Record>
Record& record_of(standin::Instance& instance) {
  return *static_cast<Record*>(instance.record());
}

void expect_echoloom_tables(const Echoloom& x) {
  const double twoPi = static_cast<float>(8.0 * static_cast<float>(std::atan(1.0)));
  for (int k : {0, 1, 262144, 524287, 524288, 786432, N - 1}) {
    const double step = k;
    EXPECT_EQ(x.sineTable[k], static_cast<float>(std::sin(step * twoPi / N))) << k;
    EXPECT_EQ(x.squareTable[k], k < N / 2 ? 1.0f : -1.0f) << k;
    EXPECT_EQ(x.triangleTable[k], static_cast<float>(k < N / 2 ? 4.0 * step / N - 1.0 : 3.0 - 4.0 * step / N)) << k;
    EXPECT_EQ(x.rampUpTable[k], static_cast<float>(2.0 * step / N - 1.0)) << k;
    EXPECT_EQ(x.rampDownTable[k], static_cast<float>(1.0 - 2.0 * step / N)) << k;
  }
}

TEST(SharedTables, EcholoomInstancesShareFiveCompleteTables) {
  auto first = standin::Instance::create("echoloom~");
  auto second = standin::Instance::create("echoloom~");
  ASSERT_TRUE(first && second);
  const Echoloom& a = record_of<Echoloom>(*first);
  const Echoloom& b = record_of<Echoloom>(*second);
  EXPECT_EQ(a.sineTable, b.sineTable);
  EXPECT_EQ(a.triangleTable, b.triangleTable);
  EXPECT_EQ(a.rampDownTable, b.rampDownTable);
  EXPECT_NE(a.ringBuffer, b.ringBuffer);  // each keeps its own line
  const float* sine = a.sineTable;
  first.reset();  // freeing one instance leaves the tables to the others
  expect_echoloom_tables(b);
  auto third = standin::Instance::create("echoloom~");
  ASSERT_TRUE(third);
  EXPECT_EQ(record_of<Echoloom>(*third).sineTable, sine);
  expect_echoloom_tables(record_of<Echoloom>(*third));
}

TEST(SharedTables, LevelswayInstancesShareTheirSquareRoots) {
  auto swayA = standin::Instance::create("levelsway~");
  auto swayB = standin::Instance::create("levelsway~");
  ASSERT_TRUE(swayA && swayB);
  const float* roots = record_of<Levelsway>(*swayA).sqrtTable;
  EXPECT_EQ(record_of<Levelsway>(*swayB).sqrtTable, roots);
  EXPECT_NE(record_of<Levelsway>(*swayB).gainTable, record_of<Levelsway>(*swayA).gainTable);
  swayA.reset();
  for (int i : {0, 1, 2, 256, 65535})
    EXPECT_EQ(roots[i], static_cast<float>(std::sqrt(static_cast<double>(i)) * 0.00390625)) << i;
}

// A creation refused for want of memory leaves the shared tables as they
// were; the next creation gets them whole and renders as the first did.
TEST(SharedTables, RefusedCreationLeavesTheTablesWhole) {
  Rig before("echoloom~");
  before.send("lfoDepth 50");
  before.send("heads 2");
  const auto expected = before.run(impulse(20000, 0.5f));

  standin::limit_allocations(1 << 20);
  EXPECT_FALSE(standin::Instance::create("echoloom~"));
  EXPECT_FALSE(standin::Instance::create("tonewarp~"));
  standin::limit_allocations(0);
  standin::take_console_lines();

  Rig after("echoloom~");
  after.send("lfoDepth 50");
  after.send("heads 2");
  EXPECT_EQ(after.run(impulse(20000, 0.5f)), expected);
  expect_echoloom_tables(after.record<Echoloom>());
}

}  // namespace
