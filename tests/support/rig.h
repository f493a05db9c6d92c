// A test rig: one object instance in the stand-in host, with helpers to send
// messages, run signal blocks and read the console.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "standin.h"

class Rig {
 public:
  // Creates the object and builds its signal chain; fails the test if the
  // object cannot be created.
  explicit Rig(const std::string& object, float sampleRate = 44100.0f, int blockSize = 64);

  standin::Instance& instance() { return *instance_; }
  template <typename Record>
  Record& record() {
    return *static_cast<Record*>(instance_->record());
  }

  void send(const std::string& text);
  void dsp(float sampleRate, int blockSize, bool inPlace = false);

  // The console lines printed since the last call, as the tool prints them
  // ("error: sidesplit~: ...").
  std::vector<std::string> console();

  // Runs a one-in, one-out object over input, block by block; a last partial
  // block is padded with zeros. Returns as many samples as it was given.
  std::vector<float> run(const std::vector<float>& input);
  // The same for any number of inlets and outlets: one vector per inlet in,
  // one per outlet out.
  std::vector<std::vector<float>> run_channels(const std::vector<std::vector<float>>& inputs);

 private:
  std::unique_ptr<standin::Instance> instance_;
};

// A signal of n samples: 1.0 at index 0, zero after it.
std::vector<float> impulse(size_t n, float height = 1.0f);
