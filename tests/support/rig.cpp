#include "rig.h"

#include <gtest/gtest.h>

#include <algorithm>

Rig::Rig(const std::string& object, float sampleRate, int blockSize)
    : instance_(standin::Instance::create(object)) {
  if (!instance_) {
    for (const auto& line : standin::take_console_lines())
      ADD_FAILURE() << standin::format_console_line(line);
    throw std::runtime_error("cannot create " + object);
  }
  dsp(sampleRate, blockSize);
}

void Rig::send(const std::string& text) {
  EXPECT_TRUE(instance_->send_text(text)) << text;
}

void Rig::dsp(float sampleRate, int blockSize, bool inPlace) {
  EXPECT_TRUE(instance_->dsp(sampleRate, blockSize, inPlace));
}

std::vector<std::string> Rig::console() {
  std::vector<std::string> lines;
  for (const auto& line : standin::take_console_lines()) lines.push_back(standin::format_console_line(line));
  return lines;
}

std::vector<float> Rig::run(const std::vector<float>& input) {
  return run_channels({input})[0];
}

std::vector<std::vector<float>> Rig::run_channels(const std::vector<std::vector<float>>& inputs) {
  const size_t n = static_cast<size_t>(instance_->block_size());
  const size_t length = inputs.empty() ? 0 : inputs[0].size();
  const size_t outlets = static_cast<size_t>(instance_->signal_outlets());
  std::vector<std::vector<float>> outputs(outlets, std::vector<float>(length));
  for (size_t start = 0; start < length && n > 0; start += n) {
    const size_t count = std::min(n, length - start);
    for (size_t i = 0; i < inputs.size(); i++) {
      float* vector = instance_->inlet_vector(static_cast<int>(i));
      std::fill(vector, vector + n, 0.0f);
      std::copy_n(inputs[i].begin() + static_cast<long>(start), count, vector);
    }
    EXPECT_TRUE(instance_->run());
    for (size_t j = 0; j < outlets; j++)
      std::copy_n(instance_->outlet_vector(static_cast<int>(j)), count, outputs[j].begin() + static_cast<long>(start));
  }
  return outputs;
}

std::vector<float> impulse(size_t n, float height) {
  std::vector<float> signal(n, 0.0f);
  if (n > 0) signal[0] = height;
  return signal;
}
