// The plug-ins loaded in-process through lilv: a changed control reaches the
// object as its message before the run, once; what the object refuses is
// logged and changes nothing; MIDI notes become note lists; and the sound is
// the stand-in host's at the internal block length, as late as the latency
// port says. (How any cutting of the cycles sounds: lv2_cycles_test.cpp.)
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xmmintrin.h>

#include <cmath>
#include <fstream>

#include "lv2_reference.h"
#include "lv2_world.h"

namespace {

const size_t LENGTH = 16384;

Channels input_for(const std::string& object, size_t length = LENGTH) {
  return test_input(object == "sidesplit" ? 2 : 1, length, 256);
}

// The input through the LV2 instance in cycles of 64, with change(k) called
// before sample k * pieceLength.
template <typename Change>
Channels run_in_pieces(Lv2Instance& plugin, const Channels& input, size_t pieceLength, Change change) {
  return plugin.run(input, {64}, [&](size_t /*cycle*/, size_t start) {
    if (start % pieceLength == 0) change(start / pieceLength);
  });
}

TEST(Lv2Plugin, AChangedControlIsItsMessageBeforeTheRun) {
  const Channels input = input_for("echoloom");
  Lv2Instance plugin("echoloom");
  ASSERT_TRUE(plugin.created());
  const Channels output = run_in_pieces(plugin, input, 4096, [&](size_t k) {
    if (k == 1) plugin.set("time", 40.0f);
    if (k == 2) plugin.set("lfoDepth", 60.0f);
    if (k == 3) plugin.set("time", 250.0f);
  });
  EXPECT_EQ(plugin.log(), std::vector<std::string>{});
  const Channels expected =
      render_in_pieces("echoloom", input, 64, {{}, {"time 40"}, {"lfoDepth 60"}, {"time 250"}}, 4096);
  EXPECT_EQ(plugin.latency(), 63.0f);
  EXPECT_EQ(first_difference(late(expected, 63), output), "");
}

TEST(Lv2Plugin, ARefusedValueIsLoggedOnceAndChangesNothing) {
  const Channels input = input_for("echoloom");
  Lv2Instance refused("echoloom");
  Lv2Instance untouched("echoloom");
  ASSERT_TRUE(refused.created() && untouched.created());
  refused.set("time", 6000.0f);
  refused.set("feedback", NAN);
  const Channels output = refused.run(input, {64});
  EXPECT_EQ(refused.log(), (std::vector<std::string>{"error: echoloom~: time value must be >= 1.0 ms and <= 5000.0 ms.",
                                                     "error: echoloom~: 'feedback' needs finite numbers"}));
  EXPECT_EQ(first_difference(untouched.run(input, {64}), output), "");
}

TEST(Lv2Plugin, ChoicesAndInletsReachTheirMethods) {
  Lv2Instance grainfall("grainfall");
  ASSERT_TRUE(grainfall.created());
  grainfall.set("intonation", 0.0f);
  grainfall.run(input_for("grainfall", 256), {64});
  grainfall.set("intonation", 2.0f);
  grainfall.run(input_for("grainfall", 256), {64});
  EXPECT_EQ(grainfall.log(), (std::vector<std::string>{"grainfall~: 12tet intonation.",
                                                       "error: grainfall~: 'intonation' takes a whole number from 0 to 1"}));
  Lv2Instance levelsway("levelsway");
  ASSERT_TRUE(levelsway.created());
  levelsway.set("threshold", 10.0f);
  levelsway.set("rmsDetect", 1.0f);
  levelsway.run(input_for("levelsway", 256), {64});
  EXPECT_EQ(levelsway.log(), (std::vector<std::string>{"error: levelsway~: threshold value must be >= -96.0dB and <= 0.0dB.",
                                                       "levelsway~: RMS Level Detect Mode."}));
}

// levelsway~'s ratio, threshold and soft knee rebuild its gain table: with
// a worker offered, they wait for it and the worker delivers them (its
// lines come then), while the other controls still change in the run.
TEST(Lv2Plugin, CostlyControlsGoToTheWorkerWhenOneIsOffered) {
  const Channels first = input_for("levelsway", 8192);
  const Channels second = test_input(1, 8192);
  Lv2Instance plugin("levelsway", {0, true});
  Lv2Instance inRun("levelsway");
  ASSERT_TRUE(plugin.created() && inRun.created());
  for (Lv2Instance* instance : {&plugin, &inRun}) instance->set("attack", 5.0f);
  plugin.set("ratio", 0.25f);
  plugin.set("threshold", -30.0f);
  plugin.set("softKnee", 0.5f);
  EXPECT_EQ(first_difference(inRun.run(first, {64}), plugin.run(first, {64})), "");
  EXPECT_EQ(plugin.run_work(), 3u);
  inRun.set("ratio", 0.25f);
  inRun.set("threshold", -30.0f);
  inRun.set("softKnee", 0.5f);
  EXPECT_EQ(first_difference(inRun.run(second, {64}), plugin.run(second, {64})), "");
  EXPECT_EQ(plugin.run_work(), 0u);

  plugin.set("ratio", 12.0f);
  plugin.run(second, {64});
  EXPECT_EQ(plugin.log(), std::vector<std::string>{});
  EXPECT_EQ(plugin.run_work(), 1u);
  EXPECT_EQ(plugin.log(), std::vector<std::string>{"error: levelsway~: ratio value must be >= 0.01 and <= 10.0"});
}

TEST(Lv2Plugin, NotesBecomeNoteListsAtTheStartOfTheirRun) {
  const Channels input = input_for("grainfall", 32768);
  Lv2Instance plugin("grainfall");
  ASSERT_TRUE(plugin.created());
  const Channels output = run_in_pieces(plugin, input, 4096, [&](size_t k) {
    if (k == 1) plugin.midi(0x90, 60, 100);
    if (k == 2) plugin.midi(0x91, 67, 90);  // any channel
    if (k == 4) plugin.midi(0x80, 60, 64);
    if (k == 5) {
      plugin.midi(0x90, 67, 0);  // velocity 0: released
      plugin.midi(0x90, 76, 100);
    }
  });
  EXPECT_EQ(plugin.log(), std::vector<std::string>{});
  const Channels expected = render_in_pieces(
      "grainfall", input, 64, {{}, {"60 100"}, {"67 90"}, {}, {"60 0"}, {"67 0", "76 100"}}, 4096);
  EXPECT_EQ(first_difference(late(expected, 63), output), "");
}

// A host may hand a note sequence that is not 64-bit aligned (jalv's is
// not always): its notes still arrive, read without a misaligned access.
TEST(Lv2Plugin, NotesInAMisalignedSequenceArrive) {
  const Channels input = input_for("grainfall", 32768);
  Lv2Instance aligned("grainfall");
  Lv2Instance misaligned("grainfall", {0, false, true});
  ASSERT_TRUE(aligned.created() && misaligned.created());
  Channels outputs[2];
  Lv2Instance* instances[2] = {&aligned, &misaligned};
  for (int k = 0; k < 2; k++)
    outputs[k] = instances[k]->run(input, {300}, [&](size_t cycle, size_t /*start*/) {
      if (cycle == 1) instances[k]->midi(0x90, 67, 100, 17);
      if (cycle == 2) instances[k]->midi(0x90, 72, 90, 250);
    });
  EXPECT_EQ(first_difference(outputs[0], outputs[1]), "");
  Lv2Instance withoutNotes("grainfall");
  ASSERT_TRUE(withoutNotes.created());
  EXPECT_NE(first_difference(withoutNotes.run(input, {300}), outputs[1]), "") << "the notes changed nothing";
}

// Without options the internal block is 64 samples; a host's nominal block
// length takes its place.
TEST(Lv2Plugin, TheSoundIsTheStandInHostsAtTheInternalBlockLength) {
  for (const std::string& object : all_objects()) {
    for (int nominal : {0, 300}) {
      const int blockLength = nominal > 0 ? nominal : 64;
      const Channels input = input_for(object);
      Lv2Instance plugin(object, {nominal, false});
      ASSERT_TRUE(plugin.created()) << object;
      const Channels output = plugin.run(input, {blockLength});
      const size_t fifo = fifo_latency(object, blockLength);
      EXPECT_EQ(plugin.latency(), static_cast<float>(fifo + own_latency(object, blockLength))) << object;
      EXPECT_EQ(first_difference(late(render_in_pieces(object, input, blockLength, {}, LENGTH), fifo), output), "")
          << object << " at block length " << blockLength;
    }
  }
}

// A host that flushes subnormal numbers to zero on its audio thread (Ardour
// does) hears the same bits: the objects run in the default mode.
TEST(Lv2Plugin, AHostsFloatingPointModeChangesNothing) {
  for (const std::string& object : all_objects()) {
    Channels input = input_for(object, 4096);
    for (std::vector<float>& channel : input)
      for (size_t i = 0; i < channel.size(); i += 3) channel[i] *= 1e-38f;  // many subnormal samples
    Lv2Instance plain(object);
    Lv2Instance flushing(object);
    ASSERT_TRUE(plain.created() && flushing.created());
    const Channels expected = plain.run(input, {64});
    const unsigned int mode = _mm_getcsr();
    _mm_setcsr(mode | 0x8040);  // flush to zero, subnormal inputs are zero
    const Channels output = flushing.run(input, {64});
    _mm_setcsr(mode);
    EXPECT_EQ(first_difference(expected, output), "") << object;
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// Resident address space of this process, in bytes.
size_t address_space() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  statm >> pages;
  return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}
#endif

TEST(Lv2Plugin, AFailedAllocationFailsInstantiation) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#else
  find_plugin("echoloom");  // the bundle is loaded before the limit
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Room for a few MiB, not for echoloom~'s 24.
    const rlim_t limit = address_space() + 12u * 1024u * 1024u;
    const rlimit limits = {limit, limit};
    setrlimit(RLIMIT_AS, &limits);
    Lv2Instance plugin("echoloom");
    _exit(plugin.created() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "the child crashed";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "echoloom~ was created without the memory it needs";
#endif
}

}  // namespace
