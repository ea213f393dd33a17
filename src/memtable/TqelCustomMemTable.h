// A table whose records live only in memory: its structure is defined at run
// time, records are appended and edited, and named indexes over one or more
// fields order the walk and answer keyed searches. Consumers read it through
// the record cursor exactly as they read a dBASE table.
//
// Use: fill FieldDefs and IndexDefs, CreateTable, Open, SetIndexName, then
// Append / field writes / Post per record; walk, FindKey, Edit / Post.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/TDataSet.h"
#include "memtable/definitions.h"
#include "memtable/record_layout.h"
#include "memtable/record_order.h"

namespace tolk {

class TqelCustomMemTable : public TDataSet {
 public:
  static constexpr int kMaxFields = 256;
  // Indexes holding fewer records are searched by a scan in index order,
  // larger ones by bisection.
  static constexpr std::size_t kBisectFrom = 21;

  // The structure the next CreateTable builds; changing them alters nothing before.
  TFieldDefs FieldDefs;
  TIndexDefs IndexDefs;

  // Closes the table, then builds its fields and indexes from the definitions
  // and leaves it empty, with no current index. The definitions are checked
  // before anything changes: EMemTableError for more than kMaxFields fields,
  // a field type other than ftInteger, ftFloat and ftString, a string size
  // outside 1..8192, a repeated field name, or an index definition without
  // name or field list; EDatabaseError "Field '<name>' not found" for an index
  // field that is not defined. Open on a table never created creates it.
  void CreateTable();

  // The name of the current index, empty when the walk follows insertion order.
  const std::string& IndexName() const;
  // Makes the index of that name current (letter case ignored) and keeps the
  // current record current; "" selects insertion order. A name that no index
  // of the created table has changes nothing. A pending record is posted first.
  void SetIndexName(std::string_view name);

  // Starts a new record with every field null (insert state).
  void Append();
  // Puts the current record in edit state; no-op when already editing.
  // Fails on a table without records.
  void Edit();
  // Stores the pending record: every index places it by its key (equal keys
  // in insertion order), the state returns to browse and it stays current.
  // Fails outside edit and insert state, and for a required field without value.
  void Post();
  // Drops the pending record or changes; the cursor is where it was before.
  void Cancel();
  // Whether a field of the pending record has been written.
  bool Modified() const { return modified_; }

  // Searches the current index for the first record (in index order) whose
  // first values.size() key fields equal the values, each converted as a
  // field write converts it (a text is cut to its string field's size). On a
  // hit that record becomes current; on a miss the cursor does not move.
  // A pending record is posted first. Fails with EMemTableError "There must be
  // at least one field" when no index is current or no value is given, and
  // when there are more values than key fields; a value that does not
  // convert fails as the field write would.
  bool FindKey(std::initializer_list<Variant> values);
  bool FindKey(std::span<const Variant> values);

  int RecordCount() override { return static_cast<int>(count_); }
  // The 1-based insertion number of the current record; 0 when there is
  // none or the current record is a new one not yet posted.
  int RecNo() override;

 protected:
  explicit TqelCustomMemTable(std::string name) : TDataSet(std::move(name)) {}

  void InternalOpen() override;
  void InternalClose() override;
  bool InternalFirst() override;
  bool InternalNext() override;
  bool FieldIsNull(const TField& f) override;
  bool FieldGetValue(const TField& f, Variant& out) override;
  // In edit or insert state: Null or Unassigned clears the field; otherwise
  // integers take integers and numeric text, floats take numbers, strings
  // take the text of the value cut to the field's size.
  void FieldSetValue(TField& f, const Variant& v) override;

 private:
  static constexpr std::uint32_t kNoRecord = UINT32_MAX;

  struct Index {
    std::string name;
    std::vector<FieldSlot> key;  // the key fields' slots, in key order
    RecordOrder order;           // every record, by (key, record number)
    bool moving = false;         // while an edit relocates the record
  };

  void BuildStructure();
  bool Editing() const;
  // Posts a modified pending record, drops an unmodified one.
  void CheckBrowseMode();

  std::uint8_t* Row(std::uint32_t recno) { return rows_.data() + recno * layout_.Stride(); }
  const std::uint8_t* Row(std::uint32_t recno) const {
    return rows_.data() + recno * layout_.Stride();
  }
  // The record field reads look at: the pending one while editing, else the
  // current one; nullptr when there is none.
  const std::uint8_t* CurrentRecord() const;
  // The conversion of a field write: Null and Unassigned give no value,
  // integers take integers and numeric text, floats numbers, strings the text
  // of the value cut to the field's size (kept in `text` unless the variant
  // holds it). Fails as the variant conversions fail.
  void Convert(const FieldSlot& s, const Variant& v, std::string& text,
               RecordLayout::Value& out) const;

  // The entry of a stored record in an index.
  RecordOrder::Entry EntryOf(const Index& ix, std::uint32_t recno) const;
  // The order of an index: by key, equal keys by record number.
  int CompareEntries(const Index& ix, const RecordOrder::Entry& a,
                     const RecordOrder::Entry& b) const;
  RecordOrder::Pos Locate(const Index& ix, std::uint32_t recno) const;
  RecordOrder::Pos Place(Index& ix, std::uint32_t recno);

  bool created_ = false;
  RecordLayout layout_;
  std::vector<int> required_;       // fields Post insists on
  std::vector<std::uint8_t> rows_;  // count_ records of layout_.Stride() bytes
  std::uint32_t count_ = 0;
  std::vector<Index> indexes_;
  int current_ = -1;  // current index, -1: insertion order

  std::uint32_t cur_ = kNoRecord;      // current record number
  RecordOrder::Pos pos_;               // its position in the current index
  std::vector<std::uint8_t> pending_;  // the record being appended or edited
  bool modified_ = false;
  bool bofBeforeAppend_ = true, eofBeforeAppend_ = true;

  // The search key of FindKey, converted value by value, and the texts it
  // converts to; kept between calls so that a search does not allocate.
  std::vector<RecordLayout::Value> key_;
  std::vector<std::string> keyTexts_;
  std::string text_;  // conversion scratch of field writes
};

}  // namespace tolk
