#include "memtable/TqelCustomMemTable.h"

#include <algorithm>
#include <cassert>
#include <memory>

#include "dataset/Exceptions.h"
#include "dataset/text.h"
#include "memtable/EMemTableError.h"
#include "memtable/key_summary.h"

namespace tolk {

namespace {

// The names of a ";" list, trimmed, empty entries skipped.
std::vector<std::string_view> SplitNames(std::string_view list) {
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view one = TrimView(list.substr(start, end - start));
    if (!one.empty()) names.push_back(one);
    start = end + 1;
  }
  return names;
}

}  // namespace

// --- Structure ---------------------------------------------------------------

void TqelCustomMemTable::CreateTable() {
  Close();
  BuildStructure();
}

void TqelCustomMemTable::BuildStructure() {
  // Check the whole description before touching the table.
  if (FieldDefs.Count() > kMaxFields)
    RaiseMemTableError("Too many fields: " + std::to_string(FieldDefs.Count()) +
                       " defined, a memory table holds at most " + std::to_string(kMaxFields));
  std::vector<FieldSlot> slots;
  for (int i = 0; i < FieldDefs.Count(); ++i) {
    const TFieldDef& d = FieldDefs[i];
    FieldSlot s;
    s.type = d.DataType;
    switch (d.DataType) {
      case TFieldType::ftInteger:
      case TFieldType::ftFloat:
        break;
      case TFieldType::ftString:
        if (d.Size < 1 || d.Size > RecordLayout::kMaxStringSize)
          RaiseMemTableError("Invalid size " + std::to_string(d.Size) + " of field '" + d.Name +
                             "'");
        s.capacity = static_cast<std::uint32_t>(d.Size);
        break;
      default:
        RaiseMemTableError("Field '" + d.Name + "' has a type a memory table cannot hold (" +
                           std::to_string(static_cast<int>(d.DataType)) + ")");
    }
    for (int j = 0; j < i; ++j)
      if (SameTextAscii(FieldDefs[j].Name, d.Name))
        RaiseMemTableError("Duplicate field name '" + d.Name + "'");
    slots.push_back(s);
  }
  auto fieldNumber = [&](std::string_view name) {
    for (int i = 0; i < FieldDefs.Count(); ++i)
      if (SameTextAscii(FieldDefs[i].Name, name)) return i;
    DatabaseError("Field '" + std::string(name) + "' not found");
  };
  std::vector<std::vector<int>> keyFields;
  for (const TIndexDef& d : IndexDefs) {
    std::vector<std::string_view> names = SplitNames(d.Fields);
    if (TrimView(d.Name).empty() || names.empty())
      RaiseMemTableError("Missing Name or FieldNames in IndexDef!");
    std::vector<int>& key = keyFields.emplace_back();
    for (std::string_view n : names) key.push_back(fieldNumber(n));
  }

  layout_.Build(slots);
  MutableFields().Clear();
  required_.clear();
  for (int i = 0; i < FieldDefs.Count(); ++i) {
    const TFieldDef& d = FieldDefs[i];
    const int size = d.DataType == TFieldType::ftString ? d.Size : 0;
    MutableFields().Add(std::make_unique<TField>(*this, d.Name, d.DataType, size, i));
    if (d.Required) required_.push_back(i);
  }
  indexes_.clear();
  for (std::size_t i = 0; i < keyFields.size(); ++i) {
    Index& ix = indexes_.emplace_back();
    ix.name = IndexDefs[static_cast<int>(i)].Name;
    for (int f : keyFields[i]) ix.key.push_back(layout_.Slot(f));
  }
  rows_.clear();
  count_ = 0;
  current_ = -1;
  cur_ = kNoRecord;
  pending_.assign(layout_.Stride(), 0);
  std::size_t longestKey = 0;
  for (const Index& ix : indexes_) longestKey = std::max(longestKey, ix.key.size());
  key_.assign(longestKey, {});
  keyTexts_.resize(longestKey);
  modified_ = false;
  created_ = true;
}

// --- Cursor ------------------------------------------------------------------

void TqelCustomMemTable::InternalOpen() {
  if (!created_) BuildStructure();
  cur_ = kNoRecord;
}

void TqelCustomMemTable::InternalClose() {
  // A pending record is dropped with the state.
  cur_ = kNoRecord;
  modified_ = false;
}

bool TqelCustomMemTable::Editing() const {
  return State() == TDataSetState::dsEdit || State() == TDataSetState::dsInsert;
}

void TqelCustomMemTable::CheckBrowseMode() {
  if (!Editing()) return;
  if (modified_)
    Post();
  else
    Cancel();
}

bool TqelCustomMemTable::InternalFirst() {
  CheckBrowseMode();
  if (count_ == 0) {
    cur_ = kNoRecord;
    return false;
  }
  if (current_ >= 0) {
    const RecordOrder& order = indexes_[static_cast<std::size_t>(current_)].order;
    pos_ = order.Begin();
    cur_ = order.At(pos_).recno;
  } else {
    cur_ = 0;
  }
  return true;
}

bool TqelCustomMemTable::InternalNext() {
  CheckBrowseMode();
  if (cur_ == kNoRecord) return false;
  if (current_ >= 0) {
    const RecordOrder& order = indexes_[static_cast<std::size_t>(current_)].order;
    const RecordOrder::Pos next = order.Next(pos_);
    if (order.IsEnd(next)) return false;
    pos_ = next;
    cur_ = order.At(next).recno;
  } else {
    if (cur_ + 1 >= count_) return false;
    ++cur_;
  }
  return true;
}

int TqelCustomMemTable::RecNo() {
  if (State() == TDataSetState::dsInsert || cur_ == kNoRecord) return 0;
  return static_cast<int>(cur_) + 1;
}

const std::string& TqelCustomMemTable::IndexName() const {
  static const std::string none;
  return current_ < 0 ? none : indexes_[static_cast<std::size_t>(current_)].name;
}

void TqelCustomMemTable::SetIndexName(std::string_view name) {
  int found = -1;
  if (!TrimView(name).empty()) {
    for (std::size_t i = 0; i < indexes_.size() && found < 0; ++i)
      if (SameTextAscii(indexes_[i].name, name)) found = static_cast<int>(i);
    if (found < 0) return;
  }
  if (Active()) CheckBrowseMode();
  current_ = found;
  if (current_ >= 0 && cur_ != kNoRecord)
    pos_ = Locate(indexes_[static_cast<std::size_t>(current_)], cur_);
}

// --- Fields ------------------------------------------------------------------

const std::uint8_t* TqelCustomMemTable::CurrentRecord() const {
  if (Editing()) return pending_.data();
  if (!Active() || cur_ == kNoRecord) return nullptr;
  return Row(cur_);
}

bool TqelCustomMemTable::FieldIsNull(const TField& f) {
  const std::uint8_t* rec = CurrentRecord();
  return rec == nullptr || !RecordLayout::HasValue(rec, layout_.Slot(f.Index()));
}

bool TqelCustomMemTable::FieldGetValue(const TField& f, Variant& out) {
  const std::uint8_t* rec = CurrentRecord();
  if (rec == nullptr) return false;
  const FieldSlot& s = layout_.Slot(f.Index());
  if (!RecordLayout::HasValue(rec, s)) return false;
  switch (s.type) {
    case TFieldType::ftInteger:
      out.SetInteger(RecordLayout::Int(rec, s));
      break;
    case TFieldType::ftFloat:
      out.SetDouble(RecordLayout::Float(rec, s));
      break;
    default:
      out.SetString(RecordLayout::Str(rec, s));
      break;
  }
  return true;
}

void TqelCustomMemTable::Convert(const FieldSlot& s, const Variant& v, std::string& text,
                                 RecordLayout::Value& out) const {
  // Written in place: a search converts into its reused key.
  out.has = !(v.IsNull() || v.IsUnassigned());
  if (!out.has) return;
  switch (s.type) {
    case TFieldType::ftInteger:
      out.i = v.Type() == VarType::Integer ? v.Int() : VarToInteger(v);
      break;
    case TFieldType::ftFloat:
      out.d = v.Type() == VarType::Double ? v.Dbl() : VarToDouble(v);
      break;
    default:
      if (v.Type() == VarType::String) {
        out.s = v.Str();
      } else {
        VarToStr(v, text, FormatSettings);
        out.s = text;
      }
      out.s = out.s.substr(0, s.capacity);
      break;
  }
}

void TqelCustomMemTable::FieldSetValue(TField& f, const Variant& v) {
  if (!Editing()) DatabaseError("Dataset not in edit or insert mode");
  const FieldSlot& s = layout_.Slot(f.Index());
  RecordLayout::Value value;
  Convert(s, v, text_, value);
  RecordLayout::Store(pending_.data(), s, value);
  modified_ = true;
}

// --- Editing -----------------------------------------------------------------

void TqelCustomMemTable::Append() {
  CheckActive();
  CheckBrowseMode();
  std::fill(pending_.begin(), pending_.end(), std::uint8_t{0});
  bofBeforeAppend_ = Bof();
  eofBeforeAppend_ = Eof();
  SetState(TDataSetState::dsInsert);
  SetBof(false);
  SetEof(false);
  modified_ = false;
}

void TqelCustomMemTable::Edit() {
  CheckActive();
  if (Editing()) return;
  if (cur_ == kNoRecord) DatabaseError("Cannot perform this operation on an empty dataset");
  std::copy_n(Row(cur_), layout_.Stride(), pending_.begin());
  SetState(TDataSetState::dsEdit);
  modified_ = false;
}

void TqelCustomMemTable::Cancel() {
  if (!Editing()) return;
  if (State() == TDataSetState::dsInsert) {
    SetBof(bofBeforeAppend_);
    SetEof(eofBeforeAppend_);
  }
  SetState(TDataSetState::dsBrowse);
  modified_ = false;
}

void TqelCustomMemTable::Post() {
  CheckActive();
  if (!Editing()) DatabaseError("Dataset not in edit or insert mode");
  for (int f : required_)
    if (!RecordLayout::HasValue(pending_.data(), layout_.Slot(f)))
      DatabaseError("Field '" + Fields()[f].FieldName() + "' must have a value");

  if (State() == TDataSetState::dsInsert) {
    const std::uint32_t recno = count_;
    rows_.insert(rows_.end(), pending_.begin(), pending_.end());
    ++count_;
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
      const RecordOrder::Pos p = Place(indexes_[i], recno);
      if (static_cast<int>(i) == current_) pos_ = p;
    }
    cur_ = recno;
  } else {
    // Only the indexes whose key changed move the record: take it out under
    // its old key, store the new values, put it back under the new key.
    const std::uint32_t recno = cur_;
    for (Index& ix : indexes_) {
      ix.moving = !std::all_of(ix.key.begin(), ix.key.end(), [&](const FieldSlot& s) {
        return RecordLayout::Same(Row(recno), pending_.data(), s);
      });
      if (ix.moving) ix.order.Erase(Locate(ix, recno));
    }
    std::copy(pending_.begin(), pending_.end(), Row(recno));
    for (std::size_t i = 0; i < indexes_.size(); ++i) {
      Index& ix = indexes_[i];
      if (!ix.moving) continue;
      ix.moving = false;
      const RecordOrder::Pos p = Place(ix, recno);
      if (static_cast<int>(i) == current_) pos_ = p;
    }
  }
  SetState(TDataSetState::dsBrowse);
  SetBof(false);
  SetEof(false);
  modified_ = false;
}

// --- Indexes -----------------------------------------------------------------

RecordOrder::Entry TqelCustomMemTable::EntryOf(const Index& ix, std::uint32_t recno) const {
  const std::uint8_t* rec = Row(recno);
  const KeySummary sum = Summarize(
      ix.key, ix.key.size(), [&](std::size_t i) { return RecordLayout::Load(rec, ix.key[i]); });
  return {sum.hi, sum.lo, recno};
}

int TqelCustomMemTable::CompareEntries(const Index& ix, const RecordOrder::Entry& a,
                                       const RecordOrder::Entry& b) const {
  if (a.hi != b.hi) return a.hi < b.hi ? -1 : 1;
  if (a.lo != b.lo) return a.lo < b.lo ? -1 : 1;
  const std::uint8_t* ra = Row(a.recno);
  const std::uint8_t* rb = Row(b.recno);
  for (const FieldSlot& s : ix.key)
    if (int c = RecordLayout::Compare(ra, rb, s)) return c;
  return a.recno < b.recno ? -1 : (a.recno > b.recno ? 1 : 0);
}

RecordOrder::Pos TqelCustomMemTable::Locate(const Index& ix, std::uint32_t recno) const {
  const RecordOrder::Entry target = EntryOf(ix, recno);
  const RecordOrder::Pos p = ix.order.PartitionPoint(
      [&](const RecordOrder::Entry& e) { return CompareEntries(ix, e, target) < 0; });
  assert(!ix.order.IsEnd(p) && ix.order.At(p).recno == recno);
  return p;
}

RecordOrder::Pos TqelCustomMemTable::Place(Index& ix, std::uint32_t recno) {
  const RecordOrder::Entry entry = EntryOf(ix, recno);
  const RecordOrder::Pos p = ix.order.PartitionPoint(
      [&](const RecordOrder::Entry& e) { return CompareEntries(ix, e, entry) < 0; });
  return ix.order.Insert(p, entry);
}

bool TqelCustomMemTable::FindKey(std::initializer_list<Variant> values) {
  return FindKey(std::span<const Variant>(values.begin(), values.size()));
}

bool TqelCustomMemTable::FindKey(std::span<const Variant> values) {
  CheckActive();
  if (current_ < 0 || values.empty()) RaiseMemTableError("There must be at least one field");
  const Index& ix = indexes_[static_cast<std::size_t>(current_)];
  if (values.size() > ix.key.size())
    RaiseMemTableError("FindKey: " + std::to_string(values.size()) + " values for index '" +
                       ix.name + "' of " + std::to_string(ix.key.size()) + " fields");
  CheckBrowseMode();

  const std::size_t n = values.size();
  for (std::size_t i = 0; i < n; ++i) Convert(ix.key[i], values[i], keyTexts_[i], key_[i]);
  const KeySummary summary = Summarize(ix.key, n, [&](std::size_t i) { return key_[i]; });
  // Entry against key: the summaries decide where they differ, the record
  // where they tie.
  auto compare = [&](const RecordOrder::Entry& e) {
    if (int c = CompareSummaries(e.hi, e.lo, summary)) return c;
    const std::uint8_t* rec = Row(e.recno);
    for (std::size_t i = 0; i < n; ++i) {
      const FieldSlot& s = ix.key[i];
      if (int c = RecordLayout::CompareValues(RecordLayout::Load(rec, s), key_[i], s.type))
        return c;
    }
    return 0;
  };

  // Equal keys are adjacent, so the first entry not below the key is the
  // only candidate, and the first of any duplicates.
  const RecordOrder& order = ix.order;
  RecordOrder::Pos p;
  if (order.Size() < kBisectFrom) {
    p = order.Begin();
    while (!order.IsEnd(p) && compare(order.At(p)) < 0) p = order.Next(p);
  } else {
    p = order.PartitionPoint([&](const RecordOrder::Entry& e) { return compare(e) < 0; });
  }
  if (order.IsEnd(p)) return false;
  const RecordOrder::Entry& found = order.At(p);
  if (CompareSummaries(found.hi, found.lo, summary) != 0) return false;
  const std::uint8_t* rec = Row(found.recno);
  for (std::size_t i = 0; i < n; ++i) {
    const FieldSlot& s = ix.key[i];
    if (!RecordLayout::EqualValues(RecordLayout::Load(rec, s), key_[i], s.type)) return false;
  }
  cur_ = found.recno;
  pos_ = p;
  SetBof(false);
  SetEof(false);
  return true;
}

}  // namespace tolk
