// Console lines go to the host's log when it offers one, else to stderr, as
// the stand-in host prints them: "error: echoloom~: time value must be ...",
// "levelsway~: RMS Level Detect Mode.". Lines printed while a run delivers
// messages are logged as traces, the one kind of line a plug-in may log
// from the audio thread.
#include <cstdarg>

#include "internal.h"

namespace lv2_host {

namespace {
thread_local Plugin* currentPlugin = nullptr;

// Outside an instance there is no log: lines go to stderr.
LV2_Log_Logger noLog{};

// One console line, "error: NAME: TEXT" or "NAME: TEXT", in the current
// instance's log.
LV2_LOG_FUNC(2, 3) void print_line(bool isError, const char* format, ...) {
  LV2_Log_Logger* logger = currentPlugin != nullptr ? &currentPlugin->logger : &noLog;
  const bool inRun = currentPlugin != nullptr && currentPlugin->running;
  const LV2_URID type = inRun ? logger->Trace : isError ? logger->Error : logger->Note;
  va_list arguments;
  va_start(arguments, format);
  lv2_log_vprintf(logger, type, format, arguments);
  va_end(arguments);
}

const char* current_name() { return currentPlugin != nullptr ? currentPlugin->object->name : "tildefx"; }
}  // namespace

Plugin* current_plugin() { return currentPlugin; }

CallContext::CallContext(Plugin* plugin) : saved_(currentPlugin) { currentPlugin = plugin; }

CallContext::~CallContext() { currentPlugin = saved_; }

void print_error(const char* text) { print_line(true, "error: %s: %s\n", current_name(), text); }

}  // namespace lv2_host

namespace host {

void error(const char* text) { lv2_host::print_error(text); }

void post(const char* text) { lv2_host::print_line(false, "%s: %s\n", lv2_host::current_name(), text); }

}  // namespace host
