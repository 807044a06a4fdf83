// Writes the golden files of tests/data/acquisition: golden_generator OUTPUT_FOLDER.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "golden_data.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  std::filesystem::create_directories(argv[1]);
  for (const auto& f : GoldenFiles()) {
    std::ofstream out(std::filesystem::path(argv[1]) / f.name, std::ios::binary);
    out << f.bytes;
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", f.name.c_str());
      return 1;
    }
  }
  return 0;
}
