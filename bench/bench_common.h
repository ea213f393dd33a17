// Timing helpers shared by the benchmark programs: medians of repeated runs
// on a noisy shared machine.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tolk::bench {

inline double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs f `runs` times and returns the median wall time in seconds.
inline double MedianSeconds(int runs, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) t.push_back(Seconds(f));
  return Median(t);
}

// A scratch folder for generated data, removed at exit.
class ScratchDir {
 public:
  ScratchDir() {
    path_ = std::filesystem::temp_directory_path() / ("tolk-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Keeps a value alive so the compiler cannot drop the work that made it.
template <class T>
inline void Keep(const T& v) {
  asm volatile("" : : "g"(&v) : "memory");
}

// The "--name value" pairs of argv[first..] into the setters of `options`.
// False, with a message naming `program`, for an unknown name or one
// without its value.
inline bool ReadOptions(
    int argc, char** argv, int first, const char* program,
    const std::map<std::string, std::function<void(const std::string&)>>& options) {
  for (int i = first; i < argc; ++i) {
    const std::string name = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "%s: %s needs a value\n", program, name.c_str());
      return false;
    }
    const auto it = options.find(name);
    if (it == options.end()) {
      std::fprintf(stderr, "%s: unknown option %s\n", program, name.c_str());
      return false;
    }
    it->second(argv[++i]);
  }
  return true;
}

}  // namespace tolk::bench
