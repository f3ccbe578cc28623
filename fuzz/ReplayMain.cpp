// Runs a fuzz target over stored inputs without a fuzzing engine: every file
// named on the command line, and every file in every folder named there. The
// test of every change runs each target this way over its corpus and over
// every input that once failed, so what a fuzzer found stays found.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path named = argv[i];
    if (fs::is_directory(named)) {
      for (const auto& entry : fs::directory_iterator(named))
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
          inputs.push_back(entry.path());
    } else if (fs::is_regular_file(named)) {
      inputs.push_back(named);
    } else if (!fs::exists(named)) {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                  std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "%s\n", input.c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", inputs.size());
  if (inputs.empty()) {
    std::fprintf(stderr, "no input to replay\n");
    return 1;
  }
  return 0;
}
