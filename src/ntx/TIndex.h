// The base of every index item of a table's `Indexes`: its name, whether it
// is the table's active order, its collation and page-cache settings. The
// NTX index (TXQNTXIndex) fills in opening, closing and seeking; a plain
// TIndex never finds anything.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "dataset/Variant.h"
#include "ntx/TXQNTXBuffers.h"
#include "ntx/key_compare.h"

namespace tolk {

class TIndexes;
class TXQDBFNTX;

class TIndex {
 public:
  TIndex(TIndexes& owner, std::string name) : Name(std::move(name)), owner_(owner) {}
  virtual ~TIndex() = default;
  TIndex(const TIndex&) = delete;
  TIndex& operator=(const TIndex&) = delete;

  std::string Name;
  std::string BagName;
  TXQLimitIndexPages LimitPages;

  // At most one index of a table is active; the table's seeks go to it.
  // Activating makes every other index inactive (without moving the table)
  // and, on an open table, seeks the current record's key softly and moves
  // there (to the first record when nothing is found). Deactivating the
  // active index moves an open table back to its current record in natural
  // order.
  bool Active() const { return active_; }
  void SetActive(bool on);

  const TXQCollation& Collation() const { return collation_; }
  // Both fail with the collation message while the index is open.
  void SetCollationType(TXQCollationTypes type);
  void SetCustomCollatingSequence(std::string weights);

  virtual bool IsOpen() const { return false; }
  // The record number a seek for these field values finds, 0 for none.
  virtual std::uint32_t FindByValues(std::span<const Variant> values, bool partial);
  // found[i] = FindByValues of the one value *values[i], exactly.
  virtual void FindEach(std::span<const Variant* const> values, std::span<std::uint32_t> found);

 protected:
  friend class TIndexes;
  friend class TXQDBFNTX;

  TXQDBFNTX& Table() const;
  TIndexes& Owner() const { return owner_; }
  // Hooks of the table's open and close, and of activation on an open table.
  virtual void OpenIndex() {}
  virtual void CloseIndex() {}
  virtual void PositionOnActivate();

  TXQCollation collation_;

 private:
  TIndexes& owner_;
  bool active_ = false;
};

}  // namespace tolk
