// Names for a new file beside another, in the same folder, that no file is
// likely to have: ".<name>.XXXXXX" with six random letters and digits. Both
// systems' SystemFile::CreateBeside try them in turn; the system's own
// exclusive create is what refuses a name that exists.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tolk {

class NameBeside {
 public:
  // `process` tells apart processes that start at the same moment.
  NameBeside(const std::string& path, std::uint64_t process);
  std::string Next();

 private:
  std::string prefix_;  // the folder, then "." + name + "."
  std::mt19937_64 random_;
};

}  // namespace tolk
