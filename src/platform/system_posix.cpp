#include <unistd.h>

#include <chrono>
#include <csignal>
#include <ctime>

#include "platform/system.h"

namespace tolk {

std::string ExecutableFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("./") : exe.parent_path().string() + "/";
}

std::size_t LastSeparator(std::string_view path) { return path.find_last_of('/'); }

std::string FolderWithSeparator(std::string folder) {
  if (folder.empty()) return "./";
  if (folder.back() != '/') folder += '/';
  return folder;
}

LocalTime LocalTimeNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,       local.tm_hour,
          local.tm_min,         local.tm_sec,     static_cast<int>(ms)};
}

// Names are bytes here; UTF-8 ones pass as they are.
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(utf8); }
std::string Utf8Of(const std::filesystem::path& path) { return path.string(); }

std::vector<std::string> ArgumentsUtf8(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::FILE* OpenStream(const std::string& utf8Path, const char* mode) {
  return std::fopen(utf8Path.c_str(), mode);
}

void PrepareStandardStreams() {
  // Under a file size limit (ulimit -f) a write past it fails with EFBIG,
  // which is reported naming the file, instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

bool WriteUtf8(std::FILE* stream, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace tolk
