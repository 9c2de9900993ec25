// Runs a fuzz target without libFuzzer: every file of the seed folders once, then a bounded
// number of inputs mutated from them with a fixed seed, so a failure repeats exactly.
//   fuzz_x [--iterations=N] [--seed=S] DIR_OR_FILE...
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> ReadInputs(const char* path) {
  std::vector<std::string> out;
  struct stat st;
  if (::stat(path, &st) != 0) return out;
  auto readFile = [&](const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  if (S_ISDIR(st.st_mode)) {
    DIR* d = ::opendir(path);
    if (!d) return out;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) readFile(std::string(path) + "/" + n);
  } else {
    readFile(path);
  }
  return out;
}

std::string Mutate(std::string s, std::mt19937_64& rng, const std::vector<std::string>& pool) {
  int steps = 1 + static_cast<int>(rng() % 8);
  for (int i = 0; i < steps; ++i) {
    switch (rng() % 7) {
      case 0:  // flip a bit
        if (!s.empty()) s[rng() % s.size()] ^= static_cast<char>(1u << (rng() % 8));
        break;
      case 1:  // set a byte to an interesting value
        if (!s.empty()) {
          static const unsigned char kVals[] = {0, 0xFF, 0x7F, 0x80, 0x20, '\n', '"', '\\', '\t', 0x27};
          s[rng() % s.size()] = static_cast<char>(kVals[rng() % sizeof kVals]);
        }
        break;
      case 2:  // insert random bytes
        s.insert(s.empty() ? 0 : rng() % (s.size() + 1), std::string(1 + rng() % 16, static_cast<char>(rng())));
        break;
      case 3:  // erase a range
        if (!s.empty()) {
          size_t at = rng() % s.size();
          s.erase(at, 1 + rng() % (s.size() - at));
        }
        break;
      case 4:  // splice with another input
        if (!pool.empty()) {
          const std::string& o = pool[rng() % pool.size()];
          if (!o.empty()) s.insert(s.empty() ? 0 : rng() % (s.size() + 1), o.substr(rng() % o.size()));
        }
        break;
      case 5:  // overwrite a 32-bit little-endian field with a boundary value
        if (s.size() >= 4) {
          static const uint32_t kInts[] = {0, 1, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0x30, 0x28, 0x10000};
          uint32_t v = kInts[rng() % (sizeof kInts / sizeof kInts[0])];
          size_t at = rng() % (s.size() - 3);
          std::memcpy(&s[at], &v, 4);
        }
        break;
      case 6:  // duplicate a piece (long inputs)
        if (!s.empty() && s.size() < (1u << 20)) {
          size_t at = rng() % s.size();
          s.insert(at, s.substr(at, 1 + rng() % 512));
        }
        break;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 10000;
  uint64_t seed = 1;
  std::vector<std::string> pool;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--iterations=", 13) == 0) iterations = std::atol(argv[i] + 13);
    else if (std::strncmp(argv[i], "--seed=", 7) == 0) seed = std::strtoull(argv[i] + 7, nullptr, 10);
    else for (auto& in : ReadInputs(argv[i])) pool.push_back(std::move(in));
  }
  if (pool.empty()) pool.push_back(std::string());
  for (const auto& in : pool) LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(in.data()), in.size());
  std::mt19937_64 rng(seed);
  for (long i = 0; i < iterations; ++i) {
    std::string in = Mutate(pool[rng() % pool.size()], rng, pool);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(in.data()), in.size());
  }
  std::printf("replayed %zu seeds and %ld mutations\n", pool.size(), iterations);
  return 0;
}
