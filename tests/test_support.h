// Shared helpers of the test suites: a temporary folder per test and quick
// fixture tables made with the project's own writer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tools/dbf_writer.h"

namespace tolk::testing {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    // create_directory answers false for a name that exists: another name.
    static std::mt19937_64 random(std::random_device{}());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::filesystem::path p = base / ("tolk-test-" + std::to_string(random() % 1000000000));
      if (std::filesystem::create_directory(p)) path_ = p.generic_string();
    }
    if (path_.empty()) throw std::runtime_error("no temporary folder");
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The folder with a trailing separator, as a program folder is given.
  std::string Folder() const { return path_ + "/"; }

 private:
  std::string path_;
};

// The names in a folder, hidden ones too, sorted.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Expects `stmt` to throw exception type `E` whose what() equals `msg`.
#define EXPECT_THROW_MSG(stmt, E, msg)                                 \
  do {                                                                 \
    try {                                                              \
      stmt;                                                            \
      ADD_FAILURE() << "expected " #E " with message: " << (msg);      \
    } catch (const E& e_) {                                            \
      EXPECT_EQ(std::string(e_.what()), std::string(msg));             \
    } catch (const std::exception& e_) {                               \
      ADD_FAILURE() << "wrong exception type, message: " << e_.what(); \
    }                                                                  \
  } while (0)

}  // namespace tolk::testing
