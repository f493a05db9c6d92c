// Console lines, and the object they are printed for.
#include "internal.h"

namespace standin {

namespace {
std::vector<ConsoleLine> pendingLines;
std::string currentObject = "tildefx";
}  // namespace

ObjectContext::ObjectContext(const std::string& objectName) : saved_(currentObject) {
  currentObject = objectName;
}

ObjectContext::~ObjectContext() { currentObject = saved_; }

const std::string& current_object_name() { return currentObject; }

void print_line(bool isError, const std::string& text) {
  pendingLines.push_back({currentObject, isError, text});
}

std::vector<ConsoleLine> take_console_lines() {
  std::vector<ConsoleLine> lines;
  lines.swap(pendingLines);
  return lines;
}

std::string format_console_line(const ConsoleLine& line) {
  return (line.isError ? "error: " : "") + line.object + ": " + line.text;
}

}  // namespace standin
