#include "memtable/TqelMemTable.h"

namespace tolk {

TqelMemTable::TqelMemTable(std::string name) : TqelCustomMemTable(std::move(name)) {}

TqelMemTable::~TqelMemTable() = default;

}  // namespace tolk
