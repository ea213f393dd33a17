#include "ntx/key_compare.h"

namespace tolk {

std::string IdentityCollatingSequence() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += std::to_string(i) + ";";
  return s;
}

void KeyOrder::Configure(const TXQCollation& collation, bool desc) {
  desc_ = desc;
  const int type = static_cast<int>(collation.CollationType);
  weighted_ = type > 0 && type < 20;
  for (int i = 0; i < 256; ++i)
    weights_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  if (collation.CollationType != TXQCollationTypes::cltCustom) return;
  // "w0;w1;...;w255;": a weight above 255 or a missing one keeps the identity.
  const std::string& s = collation.CustomCollatingSequence;
  std::size_t i = 0, pos = 0;
  while (i < 256 && pos < s.size()) {
    std::size_t end = s.find(';', pos);
    if (end == std::string::npos) end = s.size();
    unsigned value = 0;
    bool digits = end > pos;
    for (std::size_t k = pos; k < end && digits; ++k) {
      if (s[k] < '0' || s[k] > '9' || value > 255)
        digits = false;
      else
        value = value * 10 + static_cast<unsigned>(s[k] - '0');
    }
    if (digits && value <= 255) weights_[i] = static_cast<std::uint8_t>(value);
    ++i;
    pos = end + 1;
  }
}

}  // namespace tolk
