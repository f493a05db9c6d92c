// Timed messages: from the command line (time 0) and from a score file,
// one "TIME MESSAGE" per line, TIME in samples ("22050") or seconds ("0.5s").
// Each is parsed once, when it is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin.h"

namespace tildefx_tool {

// "dsp RATE BLOCK": the directive that rebuilds the signal chain.
struct DspChange {
  float sampleRate;
  int blockSize;
};

struct TimedMessage {
  int64_t sample = 0;
  std::string origin;          // "score.txt:3" or "argument 2", for error lines
  bool rebuildsChain = false;  // a dsp directive: dsp holds it
  DspChange dsp{};
  standin::Message message;    // otherwise, the message for every instance
};

// A message holds at most this many atoms (its inlet address not counted):
// a line of millions of numbers is refused before it is held.
constexpr size_t MAX_MESSAGE_ATOMS = 256;
// A score line holds at most this many bytes.
constexpr size_t MAX_SCORE_LINE = 65536;

// Parses a message text, or a dsp directive, into timed (whose sample and
// origin stay). False with errorText, which starts with the origin.
bool parse_timed_message(const std::string& text, TimedMessage& timed, std::string& errorText);

// Reads a score, in binary, to its end; blank lines and lines starting
// with '#' are skipped. Seconds become samples at sampleRate. False with
// errorText when it cannot be read or a line is not a timed message.
bool read_score(const std::string& path, double sampleRate, std::vector<TimedMessage>& messages,
                std::string& errorText);

// Reads a whole text as a finite number.
bool parse_finite_number(const std::string& text, double& number);
// Reads a whole text as a whole number from 1 to most.
bool parse_count(const std::string& text, int most, int& count);

constexpr int MAX_BLOCK_SIZE = 65536;

// Sample rates the objects are run at, in Hz, and the range in words.
bool valid_sample_rate(double rate);
extern const char* const SAMPLE_RATE_RANGE;

}  // namespace tildefx_tool
