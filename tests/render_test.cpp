// tildefx render, run as a user runs it, compared with the same objects
// driven directly through the host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "rig.h"
#include "test_files.h"

namespace {

std::string temp_path(const std::string& name) { return testing::TempDir() + "tildefx_render_" + name; }

CommandRun tildefx(const std::string& arguments) {
  return run_command(std::string(TILDEFX_TOOL) + " " + arguments);
}

std::vector<float> test_signal(size_t n, double frequency) {
  std::vector<float> signal(n);
  for (size_t i = 0; i < n; i++)
    signal[i] = static_cast<float>(0.8 * std::sin(2.0 * M_PI * frequency * static_cast<double>(i) / 44100.0));
  return signal;
}

TEST(Render, ScoreMessagesArriveAtTheFirstBlockFromTheirTime) {
  const std::vector<float> input = test_signal(4000, 330.0);
  write_wav(temp_path("in.wav"), {input});
  std::ofstream(temp_path("score.txt")) << "# partials\n\n1000 p3 0\n0.05s p7 -6\n1000 p2 -3\n";
  const CommandRun run = tildefx("render --score " + temp_path("score.txt") + " overtoner~ " + temp_path("in.wav") +
                          " " + temp_path("out.wav") + " \"p2 0\"");
  ASSERT_EQ(run.status, 0) << run.output;

  // 1000 falls inside the block from 960; 0.05 s = 2205 samples, inside the block from 2176.
  Rig rig("overtoner~");
  rig.send("p2 0");
  std::vector<float> expected = rig.run(std::vector<float>(input.begin(), input.begin() + 1024));
  rig.send("p3 0");
  rig.send("p2 -3");
  auto part = rig.run(std::vector<float>(input.begin() + 1024, input.begin() + 2240));
  expected.insert(expected.end(), part.begin(), part.end());
  rig.send("p7 -6");
  part = rig.run(std::vector<float>(input.begin() + 2240, input.end()));
  expected.insert(expected.end(), part.begin(), part.end());
  EXPECT_EQ(read_wav(temp_path("out.wav")), (std::vector<std::vector<float>>{expected}));
}

TEST(Render, TwoInletObjectsTakeAStereoFile) {
  const std::vector<std::vector<float>> stereo = {test_signal(1000, 200.0), test_signal(1000, 300.0)};
  write_wav(temp_path("stereo.wav"), stereo);
  const CommandRun run = tildefx("render sidesplit~ " + temp_path("stereo.wav") + " " + temp_path("ms.wav") +
                          " \"2: 6\" \"4: 1\"");
  ASSERT_EQ(run.status, 0) << run.output;
  Rig rig("sidesplit~");
  rig.send("2: 6");
  rig.send("4: 1");
  EXPECT_EQ(read_wav(temp_path("ms.wav")), rig.run_channels(stereo));
}

TEST(Render, OneInOneOutObjectsRunOncePerChannel) {
  const std::vector<std::vector<float>> stereo = {test_signal(700, 200.0), test_signal(700, 500.0)};
  write_wav(temp_path("two.wav"), stereo);
  const CommandRun run = tildefx("render --block 32 overtoner~ " + temp_path("two.wav") + " " +
                          temp_path("two-out.wav") + " \"p5 0\"");
  ASSERT_EQ(run.status, 0) << run.output;
  const auto channels = read_wav(temp_path("two-out.wav"));
  ASSERT_EQ(channels.size(), 2u);
  for (size_t c = 0; c < 2; c++) {
    Rig rig("overtoner~", 44100.0f, 32);
    rig.send("p5 0");
    EXPECT_EQ(channels[c], rig.run(stereo[c]));
  }
}

TEST(Render, DspLinesRebuildTheChainWithANewBlockSize) {
  const std::vector<float> input = test_signal(1000, 440.0);
  write_wav(temp_path("dsp.wav"), {input});
  std::ofstream(temp_path("dsp.txt")) << "256 dsp 48000 16\n256 p4 0\n";
  const CommandRun run = tildefx("render --score " + temp_path("dsp.txt") + " overtoner~ " + temp_path("dsp.wav") +
                          " " + temp_path("dsp-out.wav"));
  ASSERT_EQ(run.status, 0) << run.output;
  Rig rig("overtoner~");
  std::vector<float> expected = rig.run(std::vector<float>(input.begin(), input.begin() + 256));
  rig.dsp(48000.0f, 16);
  rig.send("p4 0");
  const auto rest = rig.run(std::vector<float>(input.begin() + 256, input.end()));
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(read_wav(temp_path("dsp-out.wav"))[0], expected);
}

TEST(Render, TailKeepsRunningOnSilenceAndConsoleLinesGoToStderr) {
  write_wav(temp_path("short.wav"), {test_signal(441, 100.0)});
  const CommandRun run = tildefx("render --tail 0.5 overtoner~ " + temp_path("short.wav") + " " +
                          temp_path("tail.wav") + " \"p3 5\"");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "error: overtoner~: value must be >= -60.0dB and <= 0.0dB.\n");
  SF_INFO info{};
  read_wav(temp_path("tail.wav"), &info);
  EXPECT_EQ(info.frames, 441 + 22050);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

TEST(Render, FailuresExplainThemselvesAndLeaveTheOutputAlone) {
  write_wav(temp_path("mono.wav"), {test_signal(100, 100.0)});
  const std::string existing = temp_path("keep.wav");
  std::ofstream(existing) << "precious";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"render sidesplit~ " + temp_path("mono.wav") + " " + existing,
       "sidesplit~ takes 2 input channels; the input file has 1"},
      {"render overtoner~ " + temp_path("missing.wav") + " " + existing, "cannot read"},
      {"render nothing~ " + temp_path("mono.wav") + " " + existing, "no object 'nothing~' found"},
      {"render --block 0 overtoner~ " + temp_path("mono.wav") + " " + existing, "--block"},
      {"render --score " + temp_path("missing.txt") + " overtoner~ " + temp_path("mono.wav") + " " + existing,
       "cannot read score"},
      {"render overtoner~ " + temp_path("mono.wav") + " " + existing + " \"3: \"", "argument 1: empty message"},
      {"render overtoner~ " + temp_path("mono.wav") + " /nonexistent-folder/out.wav", "cannot write"},
      {"frobnicate", "unknown command"},
  };
  for (const auto& [arguments, reason] : cases) {
    const CommandRun run = tildefx(arguments);
    EXPECT_NE(run.status, 0) << arguments;
    EXPECT_NE(run.output.find(reason), std::string::npos) << arguments << "\n" << run.output;
  }
  std::ifstream kept(existing);
  std::string content;
  kept >> content;
  EXPECT_EQ(content, "precious");
}

TEST(Render, ScoreErrorsNameTheLine) {
  write_wav(temp_path("mono2.wav"), {test_signal(100, 100.0)});
  std::ofstream(temp_path("bad.txt")) << "0 p2 0\nsoon p3 0\n";
  CommandRun run = tildefx("render --score " + temp_path("bad.txt") + " overtoner~ " + temp_path("mono2.wav") + " " +
                    temp_path("bad-out.wav"));
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("bad.txt:2: 'soon' is not a time"), std::string::npos) << run.output;
  std::ofstream(temp_path("bad2.txt")) << "0 dsp 44100 0\n";
  run = tildefx("render --score " + temp_path("bad2.txt") + " overtoner~ " + temp_path("mono2.wav") + " " +
                temp_path("bad-out.wav"));
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("the block size must be a whole number"), std::string::npos) << run.output;
}

TEST(Render, AnObjectThatWritesOutsideItsRecordFailsTheRender) {
  write_wav(temp_path("trespass.wav"), {test_signal(300, 100.0)});
  const std::string existing = temp_path("trespass-out.wav");
  for (const char* where : {"header", "past"}) {
    std::ofstream(existing) << "precious";
    const CommandRun run = tildefx("--path " + std::string(TILDEFX_TEST_PLUGIN_DIR) + " render trespasser~ " +
                                   temp_path("trespass.wav") + " " + existing + " " + where);
    EXPECT_NE(run.status, 0) << where;
    EXPECT_NE(run.output.find("error: trespasser~: the object wrote"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("trespasser~ wrote outside its record; OUT is left as it was"), std::string::npos)
        << run.output;
    std::string content;
    std::ifstream(existing) >> content;
    EXPECT_EQ(content, "precious") << where;
  }
}

TEST(Info, ListsInletsOutletsAndMessages) {
  const CommandRun run = tildefx("info sidesplit~");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("2  float   (float) Mid Gain (-12 - 12)"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("1  signal  (signal) Right Output"), std::string::npos) << run.output;
  const CommandRun overtoner = tildefx("info overtoner~");
  EXPECT_NE(overtoner.output.find("p7 NUMBER"), std::string::npos) << overtoner.output;
  EXPECT_NE(tildefx("list").output.find("sidesplit~\n"), std::string::npos);
}

}  // namespace
