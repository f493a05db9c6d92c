#include "score.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "standin.h"

namespace tildefx_tool {

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
}  // namespace

bool read_score(const std::string& path, double sampleRate, std::vector<TimedMessage>& messages,
                std::string& errorText) {
  std::ifstream file(path);
  if (!file) {
    errorText = "cannot read score " + path;
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(file, line); number++) {
    std::istringstream words(line);
    std::string timeToken;
    if (!(words >> timeToken) || timeToken[0] == '#') continue;
    const std::string origin = path + ":" + std::to_string(number);
    TimedMessage message{0, "", origin};
    if (!parse_time(timeToken, sampleRate, message.sample)) {
      errorText = origin + ": '" + timeToken + "' is not a time (samples, or seconds like 0.5s)";
      return false;
    }
    std::getline(words, message.text);
    if (message.text.find_first_not_of(" \t\r") == std::string::npos) {
      errorText = origin + ": a message must follow the time";
      return false;
    }
    messages.push_back(message);
  }
  return true;
}

bool is_dsp_directive(const std::string& text) {
  std::istringstream words(text);
  std::string first;
  return (words >> first) && first == "dsp";
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
  if (!(rateValue > 0.0) || rateValue > 1.0e7) {
    errorText = "'" + text + "': the sample rate must be above 0 and at most 10000000";
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

}  // namespace tildefx_tool
