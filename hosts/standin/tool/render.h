// tildefx render: runs an audio file through an object into another file.
#pragma once

#include <string>
#include <vector>

namespace tildefx_tool {

// Each channel of a one-in, one-out object gets an instance of its own, so a
// file header alone must not decide how many are made.
constexpr int DEFAULT_MAX_CHANNELS = 64;
constexpr int MAX_CHANNELS_LIMIT = 1024;  // what a WAV file can hold

struct RenderOptions {
  std::string object;
  std::string inputPath;
  std::string outputPath;
  std::vector<std::string> messages;  // delivered before the first block
  int blockSize = 64;
  double sampleRate = 0.0;  // reported to the object; 0: the input file's
  double tailSeconds = 0.0;
  std::string scorePath;
  std::string format = "float";
  bool quiet = false;
  int maxChannels = DEFAULT_MAX_CHANNELS;  // input channels accepted
};

// Returns the exit status: 0, or 1 after printing a one-line reason.
int render(const RenderOptions& options);

// Prints the console lines the host has collected, to stderr; with quiet,
// only the errors.
void print_console(bool quiet);

}  // namespace tildefx_tool
