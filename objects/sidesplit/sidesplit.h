// The sidesplit~ instance record.
#pragma once

#include <cstdint>

#include "host.h"

struct Sidesplit {
  host::ObjectHeader header;
  float midGain;
  float sideGain;
  int32_t direction;  // 0: LR>MS (encode), 1: MS>LR (decode)
};
