// Timed messages: from the command line (time 0) and from a score file,
// one "TIME MESSAGE" per line, TIME in samples ("22050") or seconds ("0.5s").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tildefx_tool {

struct TimedMessage {
  int64_t sample;
  std::string text;
  std::string origin;  // "score.txt:3" or "argument 2", for error lines
};

// Reads a score; blank lines and lines starting with '#' are skipped. Seconds
// become samples at sampleRate.
bool read_score(const std::string& path, double sampleRate, std::vector<TimedMessage>& messages,
                std::string& errorText);

// "dsp RATE BLOCK": the directive that rebuilds the signal chain.
struct DspChange {
  float sampleRate;
  int blockSize;
};
bool is_dsp_directive(const std::string& text);
bool parse_dsp_directive(const std::string& text, DspChange& change, std::string& errorText);

// Reads a whole text as a finite number.
bool parse_finite_number(const std::string& text, double& number);
// Reads a whole text as a whole number from 1 to most.
bool parse_count(const std::string& text, int most, int& count);

constexpr int MAX_BLOCK_SIZE = 65536;

}  // namespace tildefx_tool
