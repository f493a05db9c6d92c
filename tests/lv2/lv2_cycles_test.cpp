// However a host cuts its cycles, the plug-ins sound the same: every object
// runs with cycles of random length (1 to 4096 samples, a new one every
// cycle) and with fixed ones, its controls changing at random cycle starts
// and, for grainfall~, notes at random frames, as a DAW's automation and
// tracks make them. The reference is the stand-in host at the internal
// block length B, each message sent before the block that holds its
// sample, made late by the FIFO (B - 1 samples). The objects that skip the
// FIFO (levelsway~, sidesplit~, overtoner~) are held to more: the stand-in
// host at block length 1, each message at its very sample, with no
// latency; that they match it however the cycles fall is what shows their
// sound does not depend on the block length.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "lv2_reference.h"
#include "lv2_world.h"

namespace {

const size_t LENGTH = 44100;

// A message the plug-in delivers, at the sample it holds for.
struct Timed {
  size_t sample;
  std::string message;
};

// Many short cycles and some long ones: 1 to 2^e samples, e from 0 to 12.
int random_cycle(std::mt19937& random) {
  const int longest = 1 << std::uniform_int_distribution<int>(0, 12)(random);
  return std::uniform_int_distribution<int>(1, longest)(random);
}

// A value in the port's range; now and then one beyond it, which the
// object refuses in both hosts alike. The random LFO shape of echoloom~
// draws from the host's one generator, which the two hosts of this test
// process do not share, so it is left out.
float random_value(std::mt19937& random, const std::string& object, const ControlPort& port) {
  const float maximum = object == "echoloom" && port.symbol == "lfoShape" ? 4.0f : port.maximum;
  if (std::uniform_int_distribution<int>(0, 15)(random) == 0 && port.selectors.empty())
    return maximum + 1.0f;
  const float value = std::uniform_real_distribution<float>(port.minimum, maximum)(random);
  return port.integer || !port.selectors.empty() ? std::round(value) : value;
}

// Runs the plug-in in cycles from nextCycle, changing one control at about
// every third cycle start and, for grainfall~, sending a note at about
// every fourth cycle; returns its output and, in timed, every message it
// delivered, in the order it delivered them.
template <typename NextCycle>
Channels run_with_changes(Lv2Instance& plugin, const std::string& object, const Channels& input,
                          NextCycle nextCycle, std::vector<Timed>& timed) {
  std::mt19937 random(7);
  const std::vector<ControlPort> ports = control_ports(object);
  std::vector<float> values;
  for (const ControlPort& port : ports) values.push_back(port.defaultValue);
  std::vector<int> cycles;
  for (size_t total = 0; total < LENGTH; total += static_cast<size_t>(cycles.back())) cycles.push_back(nextCycle(random));
  return plugin.run(input, cycles, [&](size_t cycle, size_t start) {
    if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
      const size_t p = std::uniform_int_distribution<size_t>(0, ports.size() - 1)(random);
      const float value = random_value(random, object, ports[p]);
      if (value != values[p]) {
        values[p] = value;
        plugin.set(ports[p].symbol, value);
        timed.push_back({start, message_for(ports[p], value)});
      }
    }
    if (object == "grainfall" && std::uniform_int_distribution<int>(0, 3)(random) == 0) {
      const size_t available = std::min(static_cast<size_t>(cycles[cycle]), LENGTH - start);
      const size_t frame = std::uniform_int_distribution<size_t>(0, available - 1)(random);
      const int note = std::uniform_int_distribution<int>(48, 72)(random);
      const int velocity = std::uniform_int_distribution<int>(0, 1)(random) * 100;
      plugin.midi(0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity), static_cast<int64_t>(frame));
      timed.push_back({start + frame, std::to_string(note) + " " + std::to_string(velocity)});
    }
  });
}

// The stand-in host at the given block length, each message before the
// block that holds its sample.
Channels reference(const std::string& object, const Channels& input, int blockLength, const std::vector<Timed>& timed) {
  std::vector<std::vector<std::string>> messages((LENGTH + static_cast<size_t>(blockLength) - 1) / static_cast<size_t>(blockLength));
  for (const Timed& change : timed) messages[change.sample / static_cast<size_t>(blockLength)].push_back(change.message);
  return render_in_pieces(object, input, blockLength, messages, static_cast<size_t>(blockLength));
}

template <typename NextCycle>
void expect_same_sound(const std::string& object, int nominal, NextCycle nextCycle, const std::string& how) {
  const int blockLength = nominal > 0 ? nominal : 64;
  const Channels input = test_input(object == "sidesplit" ? 2 : 1, LENGTH, 256);
  Lv2Instance plugin(object, {nominal, false});
  ASSERT_TRUE(plugin.created()) << object;
  std::vector<Timed> timed;
  const Channels output = run_with_changes(plugin, object, input, nextCycle, timed);
  const size_t fifo = fifo_latency(object, blockLength);
  EXPECT_EQ(plugin.latency(), static_cast<float>(fifo + own_latency(object, blockLength))) << object;
  const Channels expected = reference(object, input, fifo == 0 ? 1 : blockLength, timed);
  EXPECT_EQ(first_difference(late(expected, fifo), output), "")
      << object << ", " << how << ", internal block " << blockLength << ", " << timed.size() << " messages";
}

class Cycles : public testing::TestWithParam<std::string> {};

TEST_P(Cycles, RandomCyclesSoundAsWholeBlocks) {
  expect_same_sound(GetParam(), 0, random_cycle, "random cycles");
  expect_same_sound(GetParam(), 256, random_cycle, "random cycles");
}

TEST_P(Cycles, FixedCyclesSoundAsWholeBlocks) {
  expect_same_sound(GetParam(), 0, [](std::mt19937&) { return 64; }, "cycles of 64");
  // A fixed cycle other than the internal block.
  expect_same_sound(GetParam(), 0, [](std::mt19937&) { return 1000; }, "cycles of 1000");
  expect_same_sound(GetParam(), 1024, [](std::mt19937&) { return 1024; }, "cycles of 1024");
}

INSTANTIATE_TEST_SUITE_P(EveryObject, Cycles, testing::ValuesIn(all_objects()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

// bitgrind~ outputs the oldest block of a history of at least 256 samples:
// an impulse at its defaults comes out exactly as late as the port says.
TEST(Lv2Latency, BitgrindsHistoryIsReported) {
  for (int nominal : {0, 128, 256, 300}) {
    Channels impulse(1, std::vector<float>(4096, 0.0f));
    impulse[0][0] = 0.5f;
    Lv2Instance plugin("bitgrind", {nominal, false});
    ASSERT_TRUE(plugin.created());
    const Channels output = plugin.run(impulse, {37, 500, 1});
    const size_t latency = static_cast<size_t>(plugin.latency());
    const int blockLength = nominal > 0 ? nominal : 64;
    EXPECT_EQ(latency, static_cast<size_t>(std::max(255, blockLength - 1))) << "nominal " << nominal;
    for (size_t i = 0; i < output[0].size(); i++)
      ASSERT_EQ(output[0][i], i == latency ? 0.5f : 0.0f) << "sample " << i << ", nominal " << nominal;
  }
}

// Zero-length cycles are allowed and change nothing.
TEST(Lv2Latency, EmptyCyclesChangeNothing) {
  const Channels input = test_input(1, 8192, 256);
  Lv2Instance plain("echoloom");
  Lv2Instance withEmpty("echoloom");
  ASSERT_TRUE(plain.created() && withEmpty.created());
  EXPECT_EQ(first_difference(plain.run(input, {100}), withEmpty.run(input, {0, 100, 0, 0})), "");
}

}  // namespace
