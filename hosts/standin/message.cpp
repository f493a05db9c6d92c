// Message texts as a message box holds them: "time 500", "60 100", "2: -6".
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "standin.h"

namespace standin {

bool parse_number(const std::string& text, double& number) {
  const char* start = text.c_str();
  char* end = nullptr;
  number = std::strtod(start, &end);
  return end != start && *end == '\0';
}

namespace {
bool is_integer_text(const std::string& token) {
  size_t i = (token[0] == '-' || token[0] == '+') ? 1 : 0;
  if (i == token.size()) return false;
  for (; i < token.size(); i++)
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return false;
  return true;
}

Value value_of(const std::string& token) {
  Value value{false, false, 0.0, token};
  if (parse_number(token, value.number)) {
    value.isNumber = true;
    value.isInteger = is_integer_text(token);
  }
  return value;
}

// "2:" or "2:-6": an inlet number before a colon; the rest goes back to the line.
bool split_inlet_prefix(std::string& token, int& inlet) {
  const size_t colon = token.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string digits = token.substr(0, colon);
  for (char c : digits)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  if (digits.size() > 6) return false;
  inlet = std::atoi(digits.c_str());
  token = token.substr(colon + 1);
  return true;
}
}  // namespace

bool parse_message(const std::string& text, Message& message, std::string& errorText) {
  std::vector<std::string> tokens;
  std::istringstream words(text);
  for (std::string token; words >> token;) tokens.push_back(token);
  message = Message();
  if (!tokens.empty() && split_inlet_prefix(tokens[0], message.inlet) && tokens[0].empty())
    tokens.erase(tokens.begin());
  if (tokens.empty()) {
    errorText = "empty message '" + text + "'";
    return false;
  }
  for (const std::string& token : tokens) message.arguments.push_back(value_of(token));
  const Value& first = message.arguments.front();
  if (!first.isNumber) {
    message.selector = first.word;
    message.arguments.erase(message.arguments.begin());
  } else if (message.arguments.size() > 1) {
    message.selector = "list";
  } else {
    message.selector = first.isInteger ? "int" : "float";
  }
  return true;
}

}  // namespace standin
