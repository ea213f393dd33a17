#include "platform/name_beside.h"

#include <chrono>

#include "platform/system.h"

namespace tolk {

NameBeside::NameBeside(const std::string& path, std::uint64_t process) {
  const std::size_t slash = LastSeparator(path);
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  prefix_ = path.substr(0, start) + "." + path.substr(start) + ".";
  std::random_device device;
  random_.seed(
      device() ^ process << 32 ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

std::string NameBeside::Next() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = prefix_;
  for (int i = 0; i < 6; ++i) name += kLetters[random_() % (sizeof kLetters - 1)];
  return name;
}

}  // namespace tolk
