#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace tildefx_tool {

ProgressBar::ProgressBar(int64_t total, bool enabled)
    : total_(total), enabled_(enabled && isatty(STDERR_FILENO)), started_(Clock::now()) {}

void ProgressBar::update(int64_t done) {
  if (!enabled_ || total_ <= 0) return;
  const Clock::time_point now = Clock::now();
  if (now - started_ < std::chrono::seconds(1)) return;
  if (shown_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  const int width = 40;
  const int filled = static_cast<int>(width * done / total_);
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(width - filled), ' ').c_str(),
               static_cast<int>(100 * done / total_));
  std::fflush(stderr);
  shown_ = true;
  lastDrawn_ = now;
}

void ProgressBar::finish() {
  if (shown_) std::fprintf(stderr, "\r%50s\r", "");
  shown_ = false;
}

}  // namespace tildefx_tool
