// A progress bar on stderr, shown only on a terminal and only once a render
// has taken longer than a second.
#pragma once

#include <chrono>
#include <cstdint>

namespace tildefx_tool {

class ProgressBar {
 public:
  ProgressBar(int64_t total, bool enabled);
  void update(int64_t done);
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  int64_t total_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point started_;
  Clock::time_point lastDrawn_;
};

}  // namespace tildefx_tool
