// Runs a fuzz target without libFuzzer: over the files named on the command line, then over a
// fixed number of pseudo-random inputs from a fixed seed, so that every build (and the sanitizer
// run of the test suite) exercises the targets repeatably.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  int runs = 20000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("-runs=", 0) == 0) {
      runs = std::atoi(arg.c_str() + 6);
      continue;
    }
    std::ifstream in(arg, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::mt19937 rng(12345);
  std::vector<std::uint8_t> input;
  for (int run = 0; run < runs; ++run) {
    input.resize(rng() % 1200);
    // Bias toward the bytes the decoders branch on.
    static const std::uint8_t kSpecial[] = {0x00, 0x01, 0x02, 0x0D, 0x40, 0x58, 0x61, 0x7F, 0x78,
                                            0x80, 0x81, 0xF1, 0xF4, 0x10, 0x11, 0xFF, 0x57, 0x52};
    for (auto& b : input)
      b = rng() % 2 ? kSpecial[rng() % std::size(kSpecial)] : static_cast<std::uint8_t>(rng());
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::cout << "ran " << runs << " inputs\n";
  return 0;
}
