// The memory table a window places: the dictionary's tables live in three of
// these during a run. All behaviour is TqelCustomMemTable's.
#pragma once

#include <string>

#include "memtable/TqelCustomMemTable.h"

namespace tolk {

class TqelMemTable final : public TqelCustomMemTable {
 public:
  explicit TqelMemTable(std::string name = {});
  ~TqelMemTable() override;
};

}  // namespace tolk
