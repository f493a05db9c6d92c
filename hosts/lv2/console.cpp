// Console lines go to the host's log when it offers one, else to stderr, as
// the stand-in host prints them: "error: echoloom~: time value must be ...",
// "levelsway~: RMS Level Detect Mode.". Lines printed on the audio thread,
// while a run delivers messages, are logged as traces, the one kind of line
// a plug-in may log there; those of the worker's thread as what they are.
// (The audio thread is told by its id rather than by a thread-local flag:
// thread-local storage in a plug-in library that the host unloads trips up
// LeakSanitizer's scan of the host's threads.)
#include <cstdarg>

#include "internal.h"

namespace lv2_host {

namespace {
LV2_LOG_FUNC(3, 4) void log_line(LV2_Log_Logger* logger, LV2_URID type, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  lv2_log_vprintf(logger, type, format, arguments);
  va_end(arguments);
}
}  // namespace

void print_to_log(const core::Context& context, bool isError, const char* text) {
  Plugin* plugin = context.instance != nullptr ? static_cast<Plugin*>(context.instance->adapter) : nullptr;
  // Outside an instance there is no log: lines go to stderr.
  LV2_Log_Logger noLog{};
  LV2_Log_Logger* logger = plugin != nullptr ? &plugin->logger : &noLog;
  const bool onAudioThread =
      plugin != nullptr && plugin->running && pthread_equal(plugin->audioThread, pthread_self()) != 0;
  const LV2_URID type = onAudioThread ? logger->Trace : isError ? logger->Error : logger->Note;
  log_line(logger, type, "%s%s: %s\n", isError ? "error: " : "", core::current_name(), text);
}

AudioThread::AudioThread(Plugin& plugin) : plugin_(plugin) {
  plugin_.audioThread = pthread_self();
  plugin_.running = true;
}

AudioThread::~AudioThread() { plugin_.running = false; }

}  // namespace lv2_host
