#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>

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
