// The error class of memory tables: structure definitions the table cannot
// hold and searches it cannot run. Errors of the record-cursor operations
// stay EDatabaseError, with the table's name in front.
#pragma once

#include <string>
#include <string_view>

#include "dataset/Exceptions.h"

namespace tolk {

class EMemTableError : public Exception {
 public:
  using Exception::Exception;
};

// The one place memory-table errors are raised from; the text is used as it stands.
[[noreturn]] void RaiseMemTableError(std::string_view message);

}  // namespace tolk
