// Files and commands for the tests that run programs: WAV files through
// libsndfile, and a command's exit status with its output.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

using Channels = std::vector<std::vector<float>>;

// A 32-bit float WAV with one channel per vector, all of one length.
void write_wav(const std::string& path, const Channels& channels, int rate = 44100);
// The channels of a sound file (none if it cannot be read), and its format.
Channels read_wav(const std::string& path, SF_INFO* info = nullptr);

struct CommandRun {
  int status;
  std::string output;  // stdout and stderr together
};
CommandRun run_command(const std::string& command);
