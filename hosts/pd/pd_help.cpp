// pd_help OBJECT IN OUT: writes the help patch IN as OUT with the ranges of
// OBJECT's parameters filled in from its description. In IN,
// @NAME.range@ stands for a text ("1 to 5000") and @NAME.box@ for a number
// box's lower and upper limit, the 32-bit floats the object accepts
// ("0.0100000007 10"). Run by the build.
//
// pd_help --objects OUT: writes the library's object list for deken, one
// "NAME~<tab>SUMMARY" a line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "object_descriptions.h"

namespace {

[[noreturn]] void fail(const std::string& reason) {
  std::fprintf(stderr, "pd_help: %s\n", reason.c_str());
  std::exit(1);
}

std::string number(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

const tildefx::Parameter& find_parameter(const tildefx::Description& description, const std::string& name) {
  for (int i = 0; i < description.parameterCount; i++)
    if (name == description.parameters[i].name) return description.parameters[i];
  fail("no parameter '" + name + "'");
}

// The text for NAME.range or NAME.box.
std::string value_of(const tildefx::Description& description, const std::string& key) {
  const size_t dot = key.find('.');
  if (dot == std::string::npos) fail("@" + key + "@ is neither NAME.range nor NAME.box");
  const tildefx::Parameter& parameter = find_parameter(description, key.substr(0, dot));
  const std::string what = key.substr(dot + 1);
  if (what == "range") return number("%g", parameter.minimum) + " to " + number("%g", parameter.maximum);
  if (what == "box")
    return number("%.9g", tildefx::lowest_float(parameter)) + " " + number("%.9g", tildefx::highest_float(parameter));
  fail("@" + key + "@ is neither NAME.range nor NAME.box");
}

int write_object_list(const char* path) {
  std::ofstream out(path);
  for (const tildefx::NamedDescription& object : OBJECT_DESCRIPTIONS)
    out << object.name << '\t' << object.description->summary << '\n';
  out.close();
  if (!out) fail(std::string("cannot write ") + path);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--objects") == 0) return write_object_list(argv[2]);
  if (argc != 4) {
    std::fprintf(stderr, "usage: pd_help OBJECT IN OUT, or pd_help --objects OUT\n");
    return 2;
  }
  const tildefx::Description* description = tildefx::find_description(OBJECT_DESCRIPTIONS, argv[1]);
  if (description == nullptr) fail(std::string("no description of ") + argv[1]);
  std::ifstream in(argv[2]);
  std::ostringstream patch;
  patch << in.rdbuf();
  if (!in) fail(std::string("cannot read ") + argv[2]);
  std::string text = patch.str();
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
    const size_t end = text.find('@', at + 1);
    if (end == std::string::npos) fail("an @ without its closing @");
    const std::string value = value_of(*description, text.substr(at + 1, end - at - 1));
    text.replace(at, end - at + 1, value);
    at += value.size();
  }
  std::ofstream out(argv[3]);
  out << text;
  out.close();
  if (!out) fail(std::string("cannot write ") + argv[3]);
  return 0;
}
