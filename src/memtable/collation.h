// The order of string keys in memory-table indexes: Windows-1252 text sorted
// the way a user of a Latin-script desktop expects, whatever the process
// locale says.
#pragma once

#include <cstdint>
#include <string_view>

namespace tolk {

// Compares two Windows-1252 texts; the result is negative, zero or positive.
// Levels, each consulted only when the ones before it find no difference:
//   1. the characters without case and accent: symbols (by byte) before
//      digits before letters, and a text before any longer text it starts;
//   2. the accents, at the first position where they differ;
//   3. the letter case, at the first position where it differs, lower first;
//   4. the bytes.
// No byte is ignored at level 1, so the order is total and the result is 0
// only for byte-identical texts: letter case and trailing blanks always count.
int CompareCollated(std::string_view a, std::string_view b);

// The level-1 weights of the first three characters of a text, 10 bits each
// (0 past its end), in 30 bits. Never contradicts CompareCollated:
// CompareCollated(a, b) < 0 implies CollatedPrefix(a) <= CollatedPrefix(b).
std::uint32_t CollatedPrefix(std::string_view text);

}  // namespace tolk
