// The host interface on LV2: what a plug-in's entry point hands the adapter.
// Each object is one LV2 plug-in library; the build makes its Turtle and its
// PortInfo table from the object's description (lv2_turtle.cpp), so the two
// always agree.
#pragma once

#include <lv2/core/lv2.h>

#include <cstdint>

namespace lv2_host {

// Latency: the output control port on which the plug-in reports its latency.
enum class PortKind { AudioIn, AudioOut, Control, Notes, Latency };

struct PortInfo {
  PortKind kind;
  const char* symbol;     // "time"; for a one-number message, its selector
  int inlet;              // Control: the float inlet it feeds, or -1
  const char* selectors;  // Control: "12tet just" for a port whose value 0, 1, ...
                          // sends a message without argument; else null
  float defaultValue;     // Control: the value the object starts with
  bool costly;            // Control: its method rebuilds a table (see description.h)
};

struct ObjectInfo {
  const char* name;  // "grainfall~"
  const char* uri;
  const PortInfo* ports;  // in port index order
  uint32_t portCount;
  bool anyBlockLength;  // the same samples however the input is cut into blocks
  int history;          // the object's own latency: max(history, n) - n at block length n
};

// The descriptor of the plug-in whose object is `object` and whose main
// registers its class; index 0 only.
const LV2_Descriptor* descriptor(uint32_t index, const ObjectInfo& object, int (*objectMain)());

}  // namespace lv2_host
