#include "memtable/collation.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolk {
namespace {

bool Before(const std::string& a, const std::string& b) { return CompareCollated(a, b) < 0; }

TEST(CompareCollatedTest, SortsMixedCaseAndAccentedNamesLikeADesktopUser) {
  // Windows-1252 bytes: \xE7 c cedilla, \xE3 a tilde, \xC1 A acute, \xE9 e acute,
  // \xC9 E acute, \xF1 n tilde, \xD1 N tilde.
  const std::vector<std::string> expected = {
      "1 LUGAR",         // digits before letters
      "abc",     "ABD",  // case does not count before the letters do
      "acao",    "Acao",      "ACAO",    "a\xE7\xE3o", "A\xE7\xE3o", "A\xC7\xC3O",
      "alvaro",  "\xC1lvaro",
      "COD_SEG",             // a symbol sorts before every letter
      "CODIGO",  "CODIGO ",  // a trailing blank makes a longer text
      "jose",    "Jose",      "jos\xE9", "Jos\xE9",    "JOS\xC9",    "nino",
      "ni\xF1o", "NI\xD1O",   "ze",      "z\xE9",      "Z\xE9",      "zebra",
  };
  std::vector<std::string> names = expected;
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(names.begin(), names.end(), rng);
    std::sort(names.begin(), names.end(), Before);
    ASSERT_EQ(names, expected);
  }
}

TEST(CompareCollatedTest, UpperCaseAsciiNamesSortAlphabetically) {
  std::vector<std::string> names = {"SINISTROS", "RISCOS", "ANEXOS", "TABELAS",
                                    "RISCO",     "A",      "AB",     "B"};
  std::vector<std::string> bytes = names;
  std::sort(names.begin(), names.end(), Before);
  std::sort(bytes.begin(), bytes.end());
  EXPECT_EQ(names, bytes);
}

TEST(CompareCollatedTest, EqualOnlyForIdenticalBytes) {
  EXPECT_EQ(CompareCollated("", ""), 0);
  EXPECT_EQ(CompareCollated("A    ", "A    "), 0);
  EXPECT_LT(CompareCollated("A", "A    "), 0);
  EXPECT_GT(CompareCollated("a    ", "A"), 0);
  EXPECT_LT(CompareCollated("a    ", "A    "), 0);
  // Every pair of distinct single bytes differs, in one direction only.
  for (int x = 0; x < 256; ++x)
    for (int y = 0; y < 256; ++y) {
      const std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
      const int c = CompareCollated(a, b);
      ASSERT_EQ(c == 0, x == y) << x << " " << y;
      ASSERT_EQ(c, -CompareCollated(b, a)) << x << " " << y;
    }
}

TEST(CompareCollatedTest, IsATotalOrderOnRandomTexts) {
  // Texts over letters that tie at the first levels (case, accents, blanks),
  // so that every level has to decide somewhere.
  const std::string alphabet = std::string("aAbB \xE1\xC1\xE3\xE7\xC7_1\xB9\xFF\x01", 15) + '\0';
  std::mt19937 rng(11);
  std::vector<std::string> texts;
  for (int i = 0; i < 400; ++i) {
    std::string s(rng() % 5, ' ');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    texts.push_back(s);
  }
  std::sort(texts.begin(), texts.end(), Before);
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i; j < texts.size(); ++j) {
      const int c = CompareCollated(texts[i], texts[j]);
      ASSERT_LE(c, 0) << i << " " << j;
      ASSERT_EQ(c == 0, texts[i] == texts[j]);
      // The prefix that index entries carry never contradicts the order.
      ASSERT_LE(CollatedPrefix(texts[i]), CollatedPrefix(texts[j])) << i << " " << j;
    }
}

#ifdef _WIN32
// The dictionary's indexes follow the project's own order, not the system's:
// a run must write the same log, byte for byte, on Linux and on Windows, and
// the system's order is its own for each version and locale (it weighs
// hyphens and apostrophes after the letters, reads ligatures as two letters,
// orders symbols by a table of its own). This measures how far the two
// orders part over the texts a dictionary can hold, against the system's
// order for Portuguese (Brazil), and prints where; it fails only when the
// system cannot compare.

// The kinds of bytes, in the order in which a pair of longer texts that
// disagree is put down to one of them: the first kind one of its bytes is of.
enum Kind {
  kWeightless,
  kExpanded,
  kOrdinal,
  kFraction,
  kUnassigned,
  kBlank,
  kSymbol,
  kAccented,
  kPlain
};

Kind KindOf(unsigned char c) {
  const auto in = [c](std::string_view set) { return set.find(static_cast<char>(c)) != set.npos; };
  if (c < 0x09 || (c >= 0x0E && c < 0x20) || in("'-\x7F\x96\x97\xAD")) return kWeightless;
  if (in("\xC6\xE6\x8C\x9C\xDF\xDE\xFE\x99")) return kExpanded;
  if (in("\xAA\xBA")) return kOrdinal;
  if (in("\xBC\xBD\xBE")) return kFraction;
  if (in("\x81\x8D\x8F\x90\x9D")) return kUnassigned;
  if (c < 0x20 || c == ' ' || c == 0xA0) return kBlank;
  if ((c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || in("\xB2\xB3\xB9"))
    return kPlain;
  if (in("\x83\x8A\x8E\x9A\x9E\x9F") || (c >= 0xC0 && c != 0xD7 && c != 0xF7)) return kAccented;
  return kSymbol;
}

// A Windows-1252 text for the summary, in UTF-8; a byte that shows nothing
// as <hex>.
std::string Shown(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    wchar_t wide = 0;
    char utf8[8] = {};
    if (c > 0x20 && c != 0x7F && c != 0xA0 && c != 0xAD && KindOf(c) != kUnassigned &&
        ::MultiByteToWideChar(1252, 0, &ch, 1, &wide, 1) == 1 &&
        ::WideCharToMultiByte(CP_UTF8, 0, &wide, 1, utf8, sizeof utf8 - 1, nullptr, nullptr) > 0) {
      out += utf8;
    } else if (c == ' ') {
      out += ' ';
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      out += hex;
    }
  }
  return out;
}

std::string KindName(Kind k) {
  switch (k) {
    case kWeightless:
      return "controls, apostrophe, hyphen, dashes, soft hyphen";
    case kExpanded:
      return "letters the system reads as two: " + Shown("\xC6\xE6\x8C\x9C\xDF\xDE\xFE\x99");
    case kOrdinal:
      return "ordinals " + Shown("\xAA\xBA");
    case kFraction:
      return "fractions " + Shown("\xBC\xBD\xBE");
    case kUnassigned:
      return "bytes without a character: 81 8D 8F 90 9D";
    case kBlank:
      return "blanks: tab to CR, space, no-break space";
    case kSymbol:
      return "punctuation and symbols";
    case kAccented:
      return "other letters of the upper half";
    default:
      return "ASCII letters and digits, superscript digits";
  }
}

int Sign(int x) { return (x > 0) - (x < 0); }
char SignChar(int s) { return s < 0 ? '<' : s > 0 ? '>' : '='; }

// The sign of the system's comparison of two texts.
int SystemOrder(const std::string& a, const std::string& b) {
  const LCID portugueseBrazil =
      MAKELCID(MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), SORT_DEFAULT);
  const int r = ::CompareStringA(portugueseBrazil, 0, a.data(), static_cast<int>(a.size()),
                                 b.data(), static_cast<int>(b.size()));
  if (r == 0) throw std::runtime_error("CompareStringA: error " + std::to_string(::GetLastError()));
  return r - CSTR_EQUAL;
}

// The pairs on which the two orders part, by class, with up to four
// examples that share no byte.
struct Differences {
  long pairs = 0, apart = 0, equalThere = 0, followed = 0;
  struct Class {
    long count = 0;
    int shown = 0;
    std::string shownBytes, examples;
  };
  std::map<std::string, Class> classes;

  void Add(const std::string& a, const std::string& b, int here, int there,
           const std::string& key) {
    ++apart;
    if (there == 0) ++equalThere;
    Class& c = classes[key];
    ++c.count;
    const std::string both = a + b;
    if (c.shown == 4 || both.find_first_of(c.shownBytes) != std::string::npos) return;
    c.shownBytes += both;
    c.examples += std::string(c.shown++ ? "; " : "") + "\"" + Shown(a) + "\" " + SignChar(here) +
                  " \"" + Shown(b) + "\" here, " + SignChar(there) + " there";
  }
  void Print(const std::string& title) const {
    std::printf("%s: %ld pairs, %ld ordered otherwise by the system (%ld of them equal there)\n",
                title.c_str(), pairs, apart, equalThere);
    if (followed)
      std::printf("  %6ld  hold a pair of bytes ordered otherwise above, at one place\n", followed);
    std::vector<std::pair<long, std::string>> lines;
    for (const auto& [key, c] : classes)
      lines.emplace_back(-c.count, key + "\n            " + c.examples);
    std::sort(lines.begin(), lines.end());
    for (const auto& [minus, text] : lines) std::printf("  %6ld  %s\n", -minus, text.c_str());
  }
};

TEST(CompareCollatedTest, AgainstTheSystemsOrder) {
  // Every pair of one-byte texts, by the kinds of the two bytes.
  Differences single;
  std::vector<std::vector<bool>> parts(256, std::vector<bool>(256));
  for (int x = 1; x < 256; ++x)
    for (int y = x + 1; y < 256; ++y) {
      const std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
      const int here = Sign(CompareCollated(a, b)), there = SystemOrder(a, b);
      ++single.pairs;
      if (here == there) continue;
      parts[x][y] = parts[y][x] = true;
      const Kind p = KindOf(static_cast<unsigned char>(x)),
                 q = KindOf(static_cast<unsigned char>(y));
      single.Add(
          a, b, here, there,
          p == q ? KindName(p) : KindName(std::min(p, q)) + " / " + KindName(std::max(p, q)));
    }
  // Texts of one and two bytes over some bytes of every kind. A pair that
  // holds, at one place, two bytes ordered otherwise already is counted
  // apart; the others go to the first kind in the list that one of their
  // bytes is of.
  const std::string alphabet(
      "AaBEeFHhMOoSsTtZz019\xB2\xC9\xE9\xE7\xE3\xF0\xF8 \xA0\t_.!\x80\x81\xBD\xAA\xBA"
      "\xC6\xE6\x8C\x9C\xDF\xDE\xFE\x99'-\x96\xAD\x01\x7F");
  std::vector<std::string> texts;
  for (const char x : alphabet) texts.push_back(std::string(1, x));
  for (const char x : alphabet)
    for (const char y : alphabet) texts.push_back(std::string{x, y});
  Differences longer;
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i + 1; j < texts.size(); ++j) {
      const std::string &a = texts[i], &b = texts[j];
      const int here = Sign(CompareCollated(a, b)), there = SystemOrder(a, b);
      ++longer.pairs;
      if (here == there) continue;
      bool follows = false;
      for (std::size_t at = 0; at < std::min(a.size(), b.size()); ++at)
        follows |= parts[static_cast<unsigned char>(a[at])][static_cast<unsigned char>(b[at])];
      if (follows) {
        ++longer.apart;
        ++longer.followed;
        continue;
      }
      Kind k = kPlain;
      for (const char c : a + b) k = std::min(k, KindOf(static_cast<unsigned char>(c)));
      longer.Add(a, b, here, there, KindName(k));
    }
  single.Print("Texts of one byte, 01 to FF");
  longer.Print("Texts of one and two bytes over \"" + Shown(alphabet) + "\"");
}
#endif

}  // namespace
}  // namespace tolk
