// Key expressions and FOR conditions of an index, bound to the index's
// table. The language taken here is one operand: a bare field name (looked
// up in upper case, so "bilhete" names BILHETE) or a constant (NULL, TRUE,
// .T., FALSE, .F., a number, a quoted text). Operators and function calls
// are not evaluated: text after the operand fails with "Filter expression
// incorrectly terminated".
//
// Key mode (on for both parsers of an index): a field is read untrimmed,
// and a Null becomes pad characters (string fields), 0 (numeric fields) or
// False (logical fields); a date field stays Null and gives pad characters.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "dataset/Variant.h"
#include "ntx/key_text.h"

namespace tolk {

class TXQSmartDBF;

class TXQDBFExprParser {
 public:
  explicit TXQDBFExprParser(TXQSmartDBF& table) : table_(table) {}

  bool KeyMode = true;
  char PadChar = ' ';

  // Parses `text` against the open table. Blank text gives an empty
  // expression. Raises the table's "Field '%s' not found" for a name that
  // is no field, and the expression messages for syntax errors; the
  // previous expression is then gone.
  void Parse(std::string_view text);
  void Clear();
  bool Empty() const { return kind_ == Kind::None; }

  // The fields the expression names, in the order of its tree.
  int KeyFieldCount() const { return kind_ == Kind::Field ? 1 : 0; }
  // What the expression's field records (zeros for a constant).
  const KeyFieldInfo& Field() const { return info_; }

  // The key text of the table's current record view.
  const std::string& EvaluateKey();
  // The key text a record holding `values` would have: field i takes
  // element i (Unassigned past the end). A text shorter than its string
  // field is filled with pad characters to the field's size unless partial.
  const std::string& EvaluateKeyWith(std::span<const Variant> values, bool partial);
  // A FOR condition: whether the result on the current record view is True.
  bool EvaluateCondition();

  const std::string& LastKey() const { return key_; }

 private:
  enum class Kind { None, Field, Constant };
  void ReadField(Variant& out);
  void KeyModeNull(Variant& v) const;

  TXQSmartDBF& table_;
  Kind kind_ = Kind::None;
  int fieldIndex_ = -1;
  KeyFieldInfo info_;
  Variant constant_;
  Variant value_;
  std::string key_;
};

}  // namespace tolk
