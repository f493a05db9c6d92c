#include "test_files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

void write_wav(const std::string& path, const Channels& channels, int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = static_cast<int>(channels.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    ADD_FAILURE() << "cannot write " << path;
    return;
  }
  std::vector<float> interleaved;
  for (size_t i = 0; i < channels[0].size(); i++)
    for (const auto& channel : channels) interleaved.push_back(channel[i]);
  sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(channels[0].size()));
  sf_close(file);
}

Channels read_wav(const std::string& path, SF_INFO* infoOut) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return {};
  std::vector<float> interleaved(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  Channels channels(static_cast<size_t>(info.channels));
  for (size_t i = 0; i < interleaved.size(); i++) channels[i % channels.size()].push_back(interleaved[i]);
  if (infoOut != nullptr) *infoOut = info;
  return channels;
}

CommandRun run_command(const std::string& command) {
  CommandRun run{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
  run.status = pclose(pipe);
  return run;
}

Channels test_input(int channels, size_t length, size_t leadingSilence) {
  if (leadingSilence > 0) {
    Channels input = test_input(channels, length - std::min(length, leadingSilence));
    for (std::vector<float>& channel : input) channel.insert(channel.begin(), length - channel.size(), 0.0f);
    return input;
  }
  Channels input(static_cast<size_t>(channels), std::vector<float>(length, 0.0f));
  const size_t sounding = length - length / 4;
  uint32_t noise = 12345;
  for (size_t c = 0; c < input.size(); c++) {
    double phase = 0.0;
    for (size_t i = 0; i < sounding; i++) {
      const double t = static_cast<double>(i) / static_cast<double>(sounding);
      phase += 2.0 * M_PI * (110.0 * (1.0 + 0.25 * static_cast<double>(c)) * std::pow(16.0, t)) / 44100.0;
      noise = noise * 1664525u + 1013904223u;
      const double burst = (i / 4096) % 3 == 1 ? 0.9 : 0.35;
      const double grain = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.05;
      input[c][i] = static_cast<float>(burst * std::sin(phase) + grain);
    }
  }
  return input;
}

std::string first_difference(const Channels& expected, const Channels& actual) {
  if (expected.size() != actual.size())
    return std::to_string(expected.size()) + " channels expected, " + std::to_string(actual.size()) + " found";
  for (size_t c = 0; c < expected.size(); c++) {
    if (expected[c].size() != actual[c].size())
      return "channel " + std::to_string(c) + ": " + std::to_string(expected[c].size()) + " samples expected, " +
             std::to_string(actual[c].size()) + " found";
    for (size_t i = 0; i < expected[c].size(); i++) {
      if (std::memcmp(&expected[c][i], &actual[c][i], sizeof(float)) != 0) {
        std::ostringstream text;
        text.precision(9);
        text << "channel " << c << ", sample " << i << ": " << expected[c][i] << " expected, " << actual[c][i]
             << " found";
        return text.str();
      }
    }
  }
  return "";
}

std::string test_folder() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  const std::string folder = testing::TempDir() + "tildefx_" + std::to_string(getpid()) + "_" + info->name();
  mkdir(folder.c_str(), 0755);
  return folder;
}
