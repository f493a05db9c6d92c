#include "score.h"

#include <cctype>
#include <cmath>
#include <sstream>

#include "system_files.h"

namespace tildefx_tool {

const char* const SAMPLE_RATE_RANGE = "from 1 to 10000000";

bool valid_sample_rate(double rate) { return rate >= 1.0 && rate <= 1.0e7; }

bool parse_finite_number(const std::string& text, double& number) {
  return standin::parse_number(text, number) && std::isfinite(number);
}

bool parse_count(const std::string& text, int most, int& count) {
  double number = 0.0;
  if (!parse_finite_number(text, number) || number != std::floor(number) || number < 1 || number > most) return false;
  count = static_cast<int>(number);
  return true;
}

namespace {

bool parse_time(std::string token, double sampleRate, int64_t& sample) {
  const bool seconds = !token.empty() && token.back() == 's';
  if (seconds) token.pop_back();
  double value = 0.0;
  if (!parse_finite_number(token, value) || value < 0.0) return false;
  if (seconds) value *= sampleRate;
  if (!seconds && value != std::floor(value)) return false;
  if (value > 9.0e15) return false;
  sample = std::llround(value);
  return true;
}

// The words of a text, without an inlet address ("2:") of its own,
// counted without holding them.
size_t count_atoms(const std::string& text) {
  size_t atoms = 0;
  bool address = false;
  for (size_t i = 0; i < text.size();) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) i++;
    const size_t start = i;
    while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) i++;
    if (i == start) break;
    if (atoms == 0 && text[i - 1] == ':') address = true;
    atoms++;
  }
  return address ? atoms - 1 : atoms;
}

bool parse_dsp_directive(const std::string& text, DspChange& change, std::string& errorText) {
  std::istringstream words(text);
  std::string keyword, rate, block, extra;
  words >> keyword >> rate >> block;
  double rateValue = 0.0, blockValue = 0.0;
  if (!parse_finite_number(rate, rateValue) || !parse_finite_number(block, blockValue) || (words >> extra)) {
    errorText = "'" + text + "': write dsp RATE BLOCK";
    return false;
  }
  if (!valid_sample_rate(rateValue)) {
    errorText = "'" + text + "': the sample rate must be " + SAMPLE_RATE_RANGE;
    return false;
  }
  if (blockValue != std::floor(blockValue) || blockValue < 1 || blockValue > MAX_BLOCK_SIZE) {
    errorText = "'" + text + "': the block size must be a whole number from 1 to " +
                std::to_string(MAX_BLOCK_SIZE);
    return false;
  }
  change.sampleRate = static_cast<float>(rateValue);
  change.blockSize = static_cast<int>(blockValue);
  return true;
}

// Splits a score's bytes into lines as they are read.
struct LineReader {
  int descriptor;
  std::string buffered;
  size_t used = 0;
  bool ended = false;
  bool tooLong = false;
};

// The next line without its line ending; false at the end of the file or
// with a reason when it cannot be read.
bool next_line(LineReader& reader, std::string& line, std::string& reason) {
  for (;;) {
    const size_t newline = reader.buffered.find('\n', reader.used);
    if (newline != std::string::npos || (reader.ended && reader.used < reader.buffered.size())) {
      const size_t end = newline == std::string::npos ? reader.buffered.size() : newline;
      line.assign(reader.buffered, reader.used, end - reader.used);
      reader.used = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    if (reader.ended) return false;
    reader.buffered.erase(0, reader.used);
    reader.used = 0;
    if (reader.buffered.size() > MAX_SCORE_LINE) {
      reader.tooLong = true;
      return false;
    }
    char chunk[16384];
    const long got = read_bytes(reader.descriptor, chunk, sizeof chunk, reason);
    if (got < 0) return false;
    reader.ended = got == 0;
    reader.buffered.append(chunk, static_cast<size_t>(got));
  }
}

}  // namespace

bool parse_timed_message(const std::string& text, TimedMessage& timed, std::string& errorText) {
  std::string problem;
  std::istringstream words(text);
  std::string first;
  timed.rebuildsChain = (words >> first) && first == "dsp";
  bool parsed = false;
  if (count_atoms(text) > MAX_MESSAGE_ATOMS)
    problem = "a message holds at most " + std::to_string(MAX_MESSAGE_ATOMS) + " atoms";
  else if (timed.rebuildsChain)
    parsed = parse_dsp_directive(text, timed.dsp, problem);
  else
    parsed = standin::parse_message(text, timed.message, problem);
  if (!parsed) errorText = timed.origin + ": " + problem;
  return parsed;
}

bool read_score(const std::string& path, double sampleRate, std::vector<TimedMessage>& messages,
                std::string& errorText) {
  std::string reason;
  LineReader reader{open_for_reading(path, reason), "", 0, false, false};
  if (reader.descriptor < 0) {
    errorText = "cannot read score " + path + ": " + reason;
    return false;
  }
  std::string line;
  bool valid = true;
  int number = 1;
  for (; valid && next_line(reader, line, reason); number++) {
    std::istringstream words(line);
    std::string timeToken;
    if (!(words >> timeToken) || timeToken[0] == '#') continue;
    TimedMessage timed;
    timed.origin = path + ":" + std::to_string(number);
    std::string text;
    std::getline(words, text);
    if (!parse_time(timeToken, sampleRate, timed.sample)) {
      errorText = timed.origin + ": '" + timeToken + "' is not a time (samples, or seconds like 0.5s)";
      valid = false;
    } else if (text.find_first_not_of(" \t") == std::string::npos) {
      errorText = timed.origin + ": a message must follow the time";
      valid = false;
    } else {
      valid = parse_timed_message(text, timed, errorText);
      if (valid) messages.push_back(std::move(timed));
    }
  }
  close_descriptor(reader.descriptor);
  if (valid && reader.tooLong)
    errorText = path + ":" + std::to_string(number) + ": the line is longer than " + std::to_string(MAX_SCORE_LINE) +
                " bytes";
  else if (valid && !reason.empty())
    errorText = "cannot read score " + path + ": " + reason;
  return valid && !reader.tooLong && reason.empty();
}

}  // namespace tildefx_tool
