#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
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

bool FolderWritable(const std::string& folder) {
  // As the process's effective user: what a create in the folder would meet,
  // a read-only mount included.
  return ::faccessat(AT_FDCWD, folder.empty() ? "." : folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string UserCacheFolder() {
  // The XDG base directories: a relative $XDG_CACHE_HOME is to be ignored.
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return FolderWithSeparator(xdg);
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') {
    const passwd* pw = ::getpwuid(::getuid());
    home = pw ? pw->pw_dir : nullptr;
  }
  if (!home || home[0] != '/') return {};
  return FolderWithSeparator(home) + ".cache/";
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
