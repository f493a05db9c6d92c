// Console lines go to the host's log when it offers one, else to stderr,
// each naming the object: "echoloom~: time value must be ...".
#include "internal.h"

namespace lv2_host {

namespace {
thread_local Plugin* currentPlugin = nullptr;

const char* current_name() {
  return currentPlugin != nullptr ? currentPlugin->object->name : "tildefx";
}

// Outside an instance there is no log: lines go to stderr.
LV2_Log_Logger noLog{};

LV2_Log_Logger* current_logger() { return currentPlugin != nullptr ? &currentPlugin->logger : &noLog; }
}  // namespace

Plugin* current_plugin() { return currentPlugin; }

CallContext::CallContext(Plugin* plugin) : saved_(currentPlugin) { currentPlugin = plugin; }

CallContext::~CallContext() { currentPlugin = saved_; }

void print_error(const char* text) { lv2_log_error(current_logger(), "%s: %s\n", current_name(), text); }

}  // namespace lv2_host

namespace host {

void error(const char* text) { lv2_host::print_error(text); }

void post(const char* text) {
  lv2_log_note(lv2_host::current_logger(), "%s: %s\n", lv2_host::current_name(), text);
}

}  // namespace host
