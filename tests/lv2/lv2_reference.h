// What the plug-ins should give: the stand-in host's render of the same
// input and messages at the internal block length, as late as the FIFO
// makes it.
#pragma once

#include <string>
#include <vector>

#include "test_files.h"

// The samples the FIFO adds at internal block length B: none for the
// objects that run straight on the host's cycles, B - 1 for the others.
size_t fifo_latency(const std::string& object, int blockLength);
// What the object adds itself: bitgrind~ outputs the oldest block of its
// 256-sample history.
size_t own_latency(const std::string& object, int blockLength);

// The channels `samples` later: zeros first, cut to the same length.
Channels late(const Channels& channels, size_t samples);

// The input through a stand-in host instance at the given block length, cut
// into pieces of pieceLength: messages[k] are sent before piece k.
Channels render_in_pieces(const std::string& object, const Channels& input, int blockLength,
                          const std::vector<std::vector<std::string>>& messages, size_t pieceLength);
