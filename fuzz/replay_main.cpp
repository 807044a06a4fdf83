// Replays every file of a corpus folder through a fuzz target, so the checked-in corpus runs as
// an ordinary test with the normal compiler (and under the sanitizer build when switched on).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR|FILE...\n", argv[0]);
    return 2;
  }
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
    } else if (std::filesystem::exists(p)) {
      files.push_back(p);
    } else {
      std::fprintf(stderr, "%s: no such corpus\n", argv[i]);
      return 2;
    }
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++runs;
    }
  }
  // Also the empty input, which every reader must survive.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("replayed %zu inputs\n", runs + 1);
  return 0;
}
