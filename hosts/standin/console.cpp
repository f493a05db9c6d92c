// Console lines, queued until the tool or a test takes them.
#include "internal.h"

namespace standin {

namespace {
std::vector<ConsoleLine> pendingLines;

void queue_line(const core::Context& /*context*/, bool isError, const char* text) {
  pendingLines.push_back({core::current_name(), isError, text});
}

// The core prints through the queue from the moment the host library loads.
[[maybe_unused]] const bool consoleSet = (core::set_console(queue_line), true);
}  // namespace

void print_host_line(bool isError, const std::string& text) { core::print_line(isError, "%s", text.c_str()); }

std::vector<ConsoleLine> take_console_lines() {
  std::vector<ConsoleLine> lines;
  lines.swap(pendingLines);
  return lines;
}

std::string format_console_line(const ConsoleLine& line) {
  return (line.isError ? "error: " : "") + line.object + ": " + line.text;
}

}  // namespace standin
