// Runs one object in Pd itself, headless, over a generated input with
// messages at set times, and the same through tildefx render, so that tests
// can compare the two outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_files.h"

// A message at a sample time, written as tildefx takes it: "p2 0", or
// "2: -6" for inlet 2. Times are multiples of the block size: Pd delivers a
// message before the block that contains its time, tildefx before the first
// block that starts at or after it.
struct TimedMessage {
  int64_t sample;
  std::string text;
};

struct RenderCase {
  std::string object;
  Channels input;  // one vector per signal inlet, all of one length
  int outlets = 1;
  std::vector<TimedMessage> messages;
  int blockSize = 64;
  // Pd only, after the time-0 messages: texts in which $1 stands for a NaN.
  // The tildefx render never sees them, so they must change nothing.
  std::vector<std::string> badMessages;
  // Leaves the left inlet unconnected in Pd and sends it this number at time
  // 0 instead (input[0] then holds the constant the render reads).
  bool leftInletNumber = false;
};

struct PdRun {
  int status = -1;
  std::string console;  // Pd's stderr: "error: NAME~: TEXT" lines and the like
  Channels output;
  bool skipped = false;  // the externals of a sanitizer build could not be loaded
};

PdRun render_in_pd(const RenderCase& renderCase, const std::string& folder);
Channels render_with_tildefx(const RenderCase& renderCase, const std::string& folder, std::string& console);

// Opens the patches in one Pd process and quits; returns Pd's stderr. A
// memory limit (in KiB of address space) makes large allocations fail.
PdRun open_in_pd(const std::vector<std::string>& patches, long memoryLimitKib = 0);

// True in a sanitizer build, whose runtimes are preloaded into pd.
bool sanitizer_build();

// Lines of the console text that start with "error".
std::vector<std::string> error_lines(const std::string& console);
