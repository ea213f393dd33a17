#include "ntx/TXQDBFExprParser.h"

#include <cctype>

#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "dataset/text.h"
#include "dbf/TXQSmartDBF.h"

namespace tolk {

namespace {

// The expression messages carry no table name.
[[noreturn]] void ExpressionError(const std::string& message) { RaiseDatabaseError({}, message); }

bool IdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

struct Token {
  enum Kind { End, Ident, Dotted, Number, Text, Symbol } kind = End;
  std::string text;
};

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  Token Next() {
    while (pos_ < s_.size() && static_cast<unsigned char>(s_[pos_]) <= ' ') ++pos_;
    Token t;
    if (pos_ >= s_.size()) return t;
    const std::size_t start = pos_;
    const char c = s_[pos_];
    if (IdentStart(c)) {
      while (pos_ < s_.size() && IdentChar(s_[pos_])) ++pos_;
      t.kind = Token::Ident;
    } else if (c == '.' && pos_ + 1 < s_.size() && IdentStart(s_[pos_ + 1])) {
      // .T. .F. .AND. .OR. .NOT. .XOR.
      ++pos_;
      while (pos_ < s_.size() && IdentChar(s_[pos_])) ++pos_;
      if (pos_ < s_.size() && s_[pos_] == '.') ++pos_;
      t.kind = Token::Dotted;
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      while (pos_ < s_.size() &&
             (std::isdigit(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '.'))
        ++pos_;
      t.kind = Token::Number;
    } else if (c == '\'' || c == '"') {
      std::size_t close = s_.find(c, pos_ + 1);
      if (close == std::string_view::npos) ExpressionError("Unterminated string in expression");
      t.kind = Token::Text;
      t.text = std::string(s_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      return t;
    } else {
      ++pos_;
      t.kind = Token::Symbol;
    }
    t.text = std::string(s_.substr(start, pos_ - start));
    return t;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

std::string Describe(const Token& t) {
  return t.kind == Token::End ? "end of expression" : "'" + t.text + "'";
}

bool IsNumericType(TFieldType t) {
  using enum TFieldType;
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftFloat || t == ftCurrency ||
         t == ftBCD || t == ftLargeint;
}

}  // namespace

void TXQDBFExprParser::Clear() {
  kind_ = Kind::None;
  fieldIndex_ = -1;
  info_ = {};
  constant_.SetUnassigned();
}

void TXQDBFExprParser::Parse(std::string_view text) {
  Clear();
  Lexer lex(text);
  Token t = lex.Next();
  if (t.kind == Token::End) return;
  Token next = lex.Next();
  const std::string upper = UpperCaseAscii(t.text);
  Kind kind = Kind::Constant;
  Variant constant;
  switch (t.kind) {
    case Token::Ident:
      if (next.kind == Token::Symbol && next.text == "(")
        ExpressionError("Filter expression incorrectly terminated");
      if (upper == "NULL")
        constant = Variant::Null();
      else if (upper == "TRUE")
        constant = Variant(true);
      else if (upper == "FALSE")
        constant = Variant(false);
      else
        kind = Kind::Field;
      break;
    case Token::Dotted:
      if (upper == ".T.")
        constant = Variant(true);
      else if (upper == ".F.")
        constant = Variant(false);
      else
        ExpressionError("Expression expected but " + Describe(t) + " found");
      break;
    case Token::Number: {
      auto d = ParseFloat(t.text);
      if (!d) ExpressionError("Expression expected but " + Describe(t) + " found");
      constant = Variant(*d);
      break;
    }
    case Token::Text:
      constant = Variant(t.text);
      break;
    default:
      ExpressionError("Expression expected but " + Describe(t) + " found");
  }
  if (next.kind != Token::End) ExpressionError("Filter expression incorrectly terminated");
  if (kind == Kind::Field) {
    TField& f = table_.FieldByName(upper);
    fieldIndex_ = f.Index();
    const DbfFieldDef& def = table_.FieldDef(fieldIndex_);
    info_.dataType = f.DataType();
    info_.size = def.width;
    info_.width = def.width;
    info_.decimals = (f.DataType() == TFieldType::ftFloat || f.DataType() == TFieldType::ftCurrency)
                         ? def.decimals
                         : 0;
  } else {
    constant_ = constant;
  }
  kind_ = kind;
}

void TXQDBFExprParser::KeyModeNull(Variant& v) const {
  if (!v.IsNull()) return;
  if (IsStringType(info_.dataType))
    v.SetString(std::string(static_cast<std::size_t>(info_.size), PadChar));
  else if (IsNumericType(info_.dataType))
    v.SetInteger(0);
  else if (info_.dataType == TFieldType::ftBoolean)
    v.SetBoolean(false);
}

void TXQDBFExprParser::ReadField(Variant& out) {
  const TField& f = table_.Fields()[fieldIndex_];
  if (!KeyMode) {
    f.GetVariant(out);
    return;
  }
  // Key mode reads C values with their trailing blanks, whatever the table says.
  const bool trim = table_.TrimCType;
  table_.TrimCType = false;
  try {
    f.GetVariant(out);
  } catch (...) {
    table_.TrimCType = trim;
    throw;
  }
  table_.TrimCType = trim;
  KeyModeNull(out);
}

const std::string& TXQDBFExprParser::EvaluateKey() {
  switch (kind_) {
    case Kind::None:
      key_.clear();
      break;
    case Kind::Constant:
      KeyTextOf(constant_, info_, PadChar, key_);
      break;
    case Kind::Field: {
      // Every field of a dBASE table is a DbfField. A character column in
      // key mode is its stored bytes up to the first NUL, blanks kept: the
      // same text the value would give, without making the value.
      const auto& f = static_cast<const DbfField&>(table_.Fields()[fieldIndex_]);
      if (KeyMode && f.Def().kind == DbfValueKind::Text && f.HasRecord()) {
        key_.assign(f.TextView());
        break;
      }
      ReadField(value_);
      KeyTextOf(value_, info_, PadChar, key_);
      break;
    }
  }
  return key_;
}

const std::string& TXQDBFExprParser::EvaluateKeyWith(std::span<const Variant> values,
                                                     bool partial) {
  if (kind_ != Kind::Field) return EvaluateKey();
  // A text for a character key is the key as it stands, padded below the
  // key's size for a whole-key seek: no copy of the value is needed first.
  if (!values.empty() && values[0].Type() == VarType::String && IsStringType(info_.dataType)) {
    key_.assign(values[0].Str());
    if (!partial && key_.size() < static_cast<std::size_t>(info_.size))
      key_.append(static_cast<std::size_t>(info_.size) - key_.size(), PadChar);
    return key_;
  }
  if (values.empty()) {
    value_.SetUnassigned();
  } else {
    value_ = values[0];
    KeyModeNull(value_);
  }
  if (!partial && value_.Type() == VarType::String && IsStringType(info_.dataType) &&
      value_.Str().size() < static_cast<std::size_t>(info_.size)) {
    key_ = value_.Str();
    key_.append(static_cast<std::size_t>(info_.size) - key_.size(), PadChar);
    return key_;
  }
  KeyTextOf(value_, info_, PadChar, key_);
  return key_;
}

bool TXQDBFExprParser::EvaluateCondition() {
  switch (kind_) {
    case Kind::None:
      return false;
    case Kind::Constant:
      return constant_.Type() == VarType::Boolean && constant_.Bool();
    case Kind::Field:
      ReadField(value_);
      return value_.Type() == VarType::Boolean && value_.Bool();
  }
  return false;
}

}  // namespace tolk
