#include "lv2_reference.h"

#include <algorithm>
#include <set>

#include "rig.h"

size_t fifo_latency(const std::string& object, int blockLength) {
  const std::set<std::string> straight = {"levelsway", "sidesplit", "overtoner"};
  return straight.count(object) ? 0 : static_cast<size_t>(blockLength - 1);
}

size_t own_latency(const std::string& object, int blockLength) {
  return object == "bitgrind" ? static_cast<size_t>(std::max(256, blockLength) - blockLength) : 0;
}

Channels late(const Channels& channels, size_t samples) {
  Channels moved;
  for (const std::vector<float>& channel : channels) {
    std::vector<float> later(channel.size(), 0.0f);
    if (samples < channel.size()) std::copy(channel.begin(), channel.end() - static_cast<long>(samples), later.begin() + static_cast<long>(samples));
    moved.push_back(later);
  }
  return moved;
}

Channels render_in_pieces(const std::string& object, const Channels& input, int blockLength,
                          const std::vector<std::vector<std::string>>& messages, size_t pieceLength) {
  Rig rig(object + "~", 44100.0f, blockLength);
  Channels output;
  for (size_t k = 0; k * pieceLength < input[0].size(); k++) {
    if (k < messages.size())
      for (const std::string& message : messages[k]) rig.send(message);
    Channels piece;
    for (const std::vector<float>& channel : input)
      piece.emplace_back(channel.begin() + static_cast<long>(k * pieceLength),
                         channel.begin() + static_cast<long>(std::min(channel.size(), (k + 1) * pieceLength)));
    const Channels out = rig.run_channels(piece);
    output.resize(out.size());
    for (size_t c = 0; c < out.size(); c++) output[c].insert(output[c].end(), out[c].begin(), out[c].end());
  }
  rig.console();
  return output;
}
