// The index items of one table (its `Indexes`). `IndexType` decides what Add
// makes: 1 an NTX index, 0 (undefined) an error, anything else a plain TIndex.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ntx/TIndex.h"

namespace tolk {

class TIndexes {
 public:
  explicit TIndexes(TXQDBFNTX& table) : table_(table) {}
  ~TIndexes() { Clear(); }
  TIndexes(const TIndexes&) = delete;
  TIndexes& operator=(const TIndexes&) = delete;

  static constexpr int kIndexTypeUndefined = 0;
  static constexpr int kIndexTypeNTX = 1;
  static constexpr int kIndexTypeCDX = 5;
  int IndexType = kIndexTypeUndefined;

  // A new item named `name`; no file is touched.
  TIndex& Add(const std::string& name);
  // Closes item i (pending pages written, file closed, deleted only when
  // temporary) and destroys it; the table loses its active index if it was
  // this one.
  void Delete(int i);
  void Clear();

  int Count() const { return static_cast<int>(items_.size()); }
  TIndex& operator[](int i) const;
  TIndex* ActiveObject() const { return active_; }
  TXQDBFNTX& Table() const { return table_; }

 private:
  friend class TIndex;
  TXQDBFNTX& table_;
  std::vector<std::unique_ptr<TIndex>> items_;
  TIndex* active_ = nullptr;
};

}  // namespace tolk
