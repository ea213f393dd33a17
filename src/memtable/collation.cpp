#include "memtable/collation.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace tolk {

namespace {

// Level 2 weights, in the order in which the forms of one letter sort.
enum Accent : std::uint8_t {
  kPlain,
  kAcute,
  kGrave,
  kCircumflex,
  kDiaeresis,
  kTilde,
  kRing,
  kCedilla,
  kCaron,
  kStroke,
  kLigature,  // ae, oe, sharp s: sorted with their first letter
  kHook,
  kRaised,  // ordinal indicators and superscript digits
};

// Level 1 weights: every byte starts as a symbol weighing its own value;
// digits and letters then take the ranges above all symbols.
constexpr std::uint16_t kSymbolBase = 0x001;
constexpr std::uint16_t kDigitBase = 0x200;
constexpr std::uint16_t kLetterBase = 0x300;
constexpr std::uint16_t Digit(char c) { return static_cast<std::uint16_t>(kDigitBase + (c - '0')); }
constexpr std::uint16_t Letter(char c) {
  return static_cast<std::uint16_t>(kLetterBase + (c - 'a'));
}
constexpr std::uint16_t kThorn = kLetterBase + 26;  // its own letter, after z
static_assert(kThorn < 1u << 10, "a level-1 weight fits the 10 bits of CollatedPrefix");

struct Weight {
  std::uint16_t primary;
  std::uint8_t accent;
  std::uint8_t upper;  // level 3: 1 for a capital letter
};

// The letters and digits of the upper half of the code page.
struct Form {
  unsigned char byte;
  std::uint16_t primary;
  Accent accent;
  bool upper;
};

// clang-format off
constexpr Form kForms[] = {
    {0x83, Letter('f'), kHook, false},       // f with hook
    {0x8A, Letter('s'), kCaron, true},       // S caron
    {0x8C, Letter('o'), kLigature, true},    // OE
    {0x8E, Letter('z'), kCaron, true},       // Z caron
    {0x9A, Letter('s'), kCaron, false},      // s caron
    {0x9C, Letter('o'), kLigature, false},   // oe
    {0x9E, Letter('z'), kCaron, false},      // z caron
    {0x9F, Letter('y'), kDiaeresis, true},   // Y diaeresis
    {0xAA, Letter('a'), kRaised, false},     // feminine ordinal
    {0xB2, Digit('2'), kRaised, false},      // superscript two
    {0xB3, Digit('3'), kRaised, false},      // superscript three
    {0xB9, Digit('1'), kRaised, false},      // superscript one
    {0xBA, Letter('o'), kRaised, false},     // masculine ordinal
    {0xC0, Letter('a'), kGrave, true},       {0xE0, Letter('a'), kGrave, false},
    {0xC1, Letter('a'), kAcute, true},       {0xE1, Letter('a'), kAcute, false},
    {0xC2, Letter('a'), kCircumflex, true},  {0xE2, Letter('a'), kCircumflex, false},
    {0xC3, Letter('a'), kTilde, true},       {0xE3, Letter('a'), kTilde, false},
    {0xC4, Letter('a'), kDiaeresis, true},   {0xE4, Letter('a'), kDiaeresis, false},
    {0xC5, Letter('a'), kRing, true},        {0xE5, Letter('a'), kRing, false},
    {0xC6, Letter('a'), kLigature, true},    {0xE6, Letter('a'), kLigature, false},
    {0xC7, Letter('c'), kCedilla, true},     {0xE7, Letter('c'), kCedilla, false},
    {0xC8, Letter('e'), kGrave, true},       {0xE8, Letter('e'), kGrave, false},
    {0xC9, Letter('e'), kAcute, true},       {0xE9, Letter('e'), kAcute, false},
    {0xCA, Letter('e'), kCircumflex, true},  {0xEA, Letter('e'), kCircumflex, false},
    {0xCB, Letter('e'), kDiaeresis, true},   {0xEB, Letter('e'), kDiaeresis, false},
    {0xCC, Letter('i'), kGrave, true},       {0xEC, Letter('i'), kGrave, false},
    {0xCD, Letter('i'), kAcute, true},       {0xED, Letter('i'), kAcute, false},
    {0xCE, Letter('i'), kCircumflex, true},  {0xEE, Letter('i'), kCircumflex, false},
    {0xCF, Letter('i'), kDiaeresis, true},   {0xEF, Letter('i'), kDiaeresis, false},
    {0xD0, Letter('d'), kStroke, true},      {0xF0, Letter('d'), kStroke, false},  // eth
    {0xD1, Letter('n'), kTilde, true},       {0xF1, Letter('n'), kTilde, false},
    {0xD2, Letter('o'), kGrave, true},       {0xF2, Letter('o'), kGrave, false},
    {0xD3, Letter('o'), kAcute, true},       {0xF3, Letter('o'), kAcute, false},
    {0xD4, Letter('o'), kCircumflex, true},  {0xF4, Letter('o'), kCircumflex, false},
    {0xD5, Letter('o'), kTilde, true},       {0xF5, Letter('o'), kTilde, false},
    {0xD6, Letter('o'), kDiaeresis, true},   {0xF6, Letter('o'), kDiaeresis, false},
    {0xD8, Letter('o'), kStroke, true},      {0xF8, Letter('o'), kStroke, false},
    {0xD9, Letter('u'), kGrave, true},       {0xF9, Letter('u'), kGrave, false},
    {0xDA, Letter('u'), kAcute, true},       {0xFA, Letter('u'), kAcute, false},
    {0xDB, Letter('u'), kCircumflex, true},  {0xFB, Letter('u'), kCircumflex, false},
    {0xDC, Letter('u'), kDiaeresis, true},   {0xFC, Letter('u'), kDiaeresis, false},
    {0xDD, Letter('y'), kAcute, true},       {0xFD, Letter('y'), kAcute, false},
    {0xDE, kThorn, kPlain, true},            {0xFE, kThorn, kPlain, false},
    {0xDF, Letter('s'), kLigature, false},   // sharp s
    {0xFF, Letter('y'), kDiaeresis, false},
};
// clang-format on

constexpr std::array<Weight, 256> BuildWeights() {
  std::array<Weight, 256> w{};
  for (int b = 0; b < 256; ++b) w[b] = {static_cast<std::uint16_t>(kSymbolBase + b), kPlain, 0};
  for (char c = '0'; c <= '9'; ++c) w[static_cast<unsigned char>(c)] = {Digit(c), kPlain, 0};
  for (char c = 'a'; c <= 'z'; ++c) {
    w[static_cast<unsigned char>(c)] = {Letter(c), kPlain, 0};
    w[static_cast<unsigned char>(c - 'a' + 'A')] = {Letter(c), kPlain, 1};
  }
  for (const Form& f : kForms)
    w[f.byte] = {f.primary, f.accent, static_cast<std::uint8_t>(f.upper)};
  return w;
}

constexpr std::array<Weight, 256> kWeights = BuildWeights();

}  // namespace

int CompareCollated(std::string_view a, std::string_view b) {
  // One pass: level 1 decides at its first difference; the first differences
  // of levels 2 to 4 are remembered for texts that tie on level 1.
  const std::size_t n = std::min(a.size(), b.size());
  int accent = 0, upper = 0, bytes = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca == cb) continue;
    const Weight& wa = kWeights[ca];
    const Weight& wb = kWeights[cb];
    if (wa.primary != wb.primary) return wa.primary < wb.primary ? -1 : 1;
    if (accent == 0 && wa.accent != wb.accent) accent = wa.accent < wb.accent ? -1 : 1;
    if (upper == 0 && wa.upper != wb.upper) upper = wa.upper < wb.upper ? -1 : 1;
    if (bytes == 0) bytes = ca < cb ? -1 : 1;
  }
  // Every byte weighs at level 1, so a tie there on unequal lengths means one
  // text starts the other.
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  if (accent != 0) return accent;
  if (upper != 0) return upper;
  return bytes;
}

std::uint32_t CollatedPrefix(std::string_view text) {
  // Every weight is at least 1, so a shorter text gets the lower prefix, as
  // it sorts first when it starts the other.
  std::uint32_t prefix = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    prefix <<= 10;
    if (i < text.size()) prefix |= kWeights[static_cast<unsigned char>(text[i])].primary;
  }
  return prefix;
}

}  // namespace tolk
