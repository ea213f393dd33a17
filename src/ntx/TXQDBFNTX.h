// A dBASE table with NTX indexes: the read-only table of TXQSmartDBF plus
// the list of its indexes (Indexes), the index files it knows
// (DBFIndexDefs), and FindKey through the active index.
//
//   TXQDBFNTX tb("tbRiscos");
//   tb.DBFFileName = path;
//   tb.Open();
//   auto& ind = dynamic_cast<TXQNTXIndex&>(tb.Indexes.Add("bilhete"));
//   ind.SetKeyExpresion("bilhete");
//   ind.SetNTXFileName(folder + "bilhete.ntx");
//   ind.SetCreateNow(true);
//   bool found = tb.FindKey({Variant(ticket)});
//   tb.Indexes.Delete(0);
//   tb.DBFIndexDefs.Delete(0);
//   tb.Close();
#pragma once

#include <initializer_list>
#include <span>
#include <vector>

#include "dbf/TXQSmartDBF.h"
#include "ntx/TIndexes.h"
#include "ntx/TXQNTXBag.h"

namespace tolk {

class TXQDBFNTX : public TXQSmartDBF {
 public:
  explicit TXQDBFNTX(std::string name = {});
  ~TXQDBFNTX() override;

  TIndexes Indexes{*this};  // IndexType 1: Add makes NTX indexes
  TDBFIndexDefs DBFIndexDefs;

  // Seeks the values (one per field of the active index's key, the first
  // ones when fewer) exactly. Found: the table moves to the record and the
  // answer is true. Not found, or no active index: false, the table stays.
  bool FindKey(std::initializer_list<Variant> values);
  bool FindKey(std::span<const Variant> values);
  // found[i]: whether FindKey({*values[i]}) would find a record. The table
  // stays where it is.
  void FindEachKey(std::span<const Variant* const> values, std::span<bool> found);

  // While an index is being built over the table.
  bool BuildingIndex() const { return building_; }

 protected:
  void OpenIndexes() override;
  void CloseIndexes() override;

 private:
  friend class TXQNTXIndex;
  bool building_ = false;
  std::vector<std::uint32_t> foundRecnos_;  // FindEachKey's answers
};

}  // namespace tolk
