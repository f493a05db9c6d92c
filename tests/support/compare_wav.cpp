// compare_wav A B [SKIP]: counts the samples in which two sound files
// differ, bit for bit (a NaN equals only the same NaN), after dropping the
// first SKIP frames of A (none if not given). Prints the count and exits 0
// only when the files hold the same number of channels and frames and no
// sample differs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "test_files.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: compare_wav A B [SKIP]\n");
    return 2;
  }
  Channels a = read_wav(argv[1]);
  const long skip = argc == 4 ? std::atol(argv[3]) : 0;
  for (std::vector<float>& channel : a)
    channel.erase(channel.begin(), channel.begin() + std::min(std::max(skip, 0L), static_cast<long>(channel.size())));
  const Channels b = read_wav(argv[2]);
  if (a.empty() || a.size() != b.size() || a[0].size() != b[0].size()) {
    std::printf("%s and %s differ in shape\n", argv[1], argv[2]);
    return 1;
  }
  size_t samples = 0;
  size_t differing = 0;
  for (size_t c = 0; c < a.size(); c++)
    for (size_t i = 0; i < a[c].size(); i++, samples++)
      differing += std::memcmp(&a[c][i], &b[c][i], sizeof(float)) != 0;
  std::printf("%zu %zu\n", samples, differing);
  return differing == 0 ? 0 : 1;
}
