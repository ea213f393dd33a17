#include "memtable/EMemTableError.h"

namespace tolk {

void RaiseMemTableError(std::string_view message) { throw EMemTableError(std::string(message)); }

}  // namespace tolk
