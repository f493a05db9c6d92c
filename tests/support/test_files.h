// Files and commands for the tests that run programs: WAV files through
// libsndfile, a command's exit status with its output, the test signal and
// a bit-for-bit comparison of outputs.
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

// A test signal: a sweep, a few louder bursts and a quiet tail, the same on
// every run; channel c is shifted in frequency so stereo channels differ.
// With leadingSilence, it starts after that many zeros (levelsway~'s
// detector wakes on silence) and is as long in all.
Channels test_input(int channels, size_t length, size_t leadingSilence = 0);

// "" when the two are equal to the bit, else where they first differ.
std::string first_difference(const Channels& expected, const Channels& actual);

// A fresh folder for one test's files.
std::string test_folder();
