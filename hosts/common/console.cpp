// Console lines: formatted as printf formats them, named after the object
// of the call in progress, and handed to the adapter's sink.
#include <cstdarg>
#include <cstdio>

#include "core.h"

namespace core {

namespace {
// Longer lines are cut here.
constexpr size_t LINE_SIZE = 1024;

// Each thread has its own call in progress: an LV2 host may run instances
// on several threads.
thread_local Context current;

void print_to_stderr(const Context& /*context*/, bool isError, const char* text) {
  std::fprintf(stderr, "%s%s: %s\n", isError ? "error: " : "", current_name(), text);
}
ConsoleSink sink = print_to_stderr;

void print_formatted(bool isError, const char* format, va_list arguments) {
  char text[LINE_SIZE];
  std::vsnprintf(text, sizeof text, format, arguments);
  sink(current, isError, text);
}
}  // namespace

CallScope::CallScope(host::Class* objectClass, Instance* instance) : saved_(current) {
  current = {objectClass, instance};
}

CallScope::~CallScope() { current = saved_; }

const Context& current_context() { return current; }

const char* current_name() { return current.objectClass != nullptr ? current.objectClass->name.c_str() : "tildefx"; }

void set_console(ConsoleSink newSink) { sink = newSink; }

void print_line(bool isError, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  print_formatted(isError, format, arguments);
  va_end(arguments);
}

}  // namespace core

namespace host {

void error(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  core::print_formatted(true, format, arguments);
  va_end(arguments);
}

void post(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  core::print_formatted(false, format, arguments);
  va_end(arguments);
}

// The objects use it only to fill the assist method's buffer.
int sprintf(char* buffer, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, ASSIST_TEXT_SIZE, format, arguments);
  va_end(arguments);
  return length;
}

}  // namespace host
