// The benchmark programs' own option, --markdown FILE: where they write
// their tables for docs/performance.md. Taken out of the arguments before
// Google Benchmark reads them.
#pragma once

#include <string>

// FILE, or "" when the option is not given; argc and argv keep the rest.
inline std::string take_markdown_option(int& argc, char** argv) {
  std::string markdown;
  int kept = 1;
  for (int i = 1; i < argc; i++) {
    if (std::string(argv[i]) == "--markdown" && i + 1 < argc) {
      markdown = argv[++i];
      continue;
    }
    argv[kept++] = argv[i];
  }
  argc = kept;
  return markdown;
}
