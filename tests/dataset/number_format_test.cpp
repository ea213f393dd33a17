#include "dataset/number_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <vector>

#include "dataset/byte_scan.h"

namespace tolk {
namespace {

TEST(NumberFormatTest, GeneralFormatFifteenDigits) {
  EXPECT_EQ(FloatToStrGeneral(1234.5, ','), "1234,5");
  EXPECT_EQ(FloatToStrGeneral(12.0, '.'), "12");
  EXPECT_EQ(FloatToStrGeneral(0.1 + 0.2, '.'), "0.3");
  EXPECT_EQ(FloatToStrGeneral(-0.5, '.'), "-0.5");
  EXPECT_EQ(FloatToStrGeneral(0.00001, '.'), "0.00001");
  EXPECT_EQ(FloatToStrGeneral(0.000001, '.'), "1E-6");
  EXPECT_EQ(FloatToStrGeneral(123456789012345.0, '.'), "123456789012345");
  EXPECT_EQ(FloatToStrGeneral(1234567890123456.0, '.'), "1.23456789012346E15");
  EXPECT_EQ(FloatToStrGeneral(1e20, '.'), "1E20");
  EXPECT_EQ(FloatToStrGeneral(0.0, '.'), "0");
}

TEST(NumberFormatTest, FixedRoundsFifteenDigitsThenHalfAwayFromZero) {
  EXPECT_EQ(FormatFixed(0.125, 2, ',', '.'), "0,13");
  EXPECT_EQ(FormatFixed(22.225, 2, ',', '.'), "22,23");  // 22.2249999... in binary
  EXPECT_EQ(FormatFixed(-0.125, 2, ',', '.'), "-0,13");
  EXPECT_EQ(FormatFixed(-0.001, 2, ',', '.'), "0,00");  // no sign on a zero
  EXPECT_EQ(FormatFixed(999.995, 2, ',', '.'), "1.000,00");
  EXPECT_EQ(FormatFixed(1234567.891, 2, ',', '.'), "1.234.567,89");
  EXPECT_EQ(FormatFixed(1234567.891, 2, '.', ','), "1,234,567.89");
  EXPECT_EQ(FormatFixed(0.0, 2, ',', '.'), "0,00");
  EXPECT_EQ(FormatFixed(100.0, 2, ',', 0), "100,00");
  EXPECT_EQ(FormatFixed(1e16, 2, ',', '.'), "1E16");  // beyond 15 integer digits
}

TEST(NumberFormatTest, IntegerGrammar) {
  constexpr std::int64_t lo = INT32_MIN, hi = INT32_MAX;
  EXPECT_EQ(ParseInteger("    123", lo, hi), 123);
  EXPECT_EQ(ParseInteger("    -45", lo, hi), -45);
  EXPECT_EQ(ParseInteger("    $1F", lo, hi), 31);
  EXPECT_EQ(ParseInteger("0x1f", lo, hi), 31);
  EXPECT_EQ(ParseInteger("-X10", lo, hi), -16);
  EXPECT_EQ(ParseInteger("-2147483648", lo, hi), INT32_MIN);
  EXPECT_FALSE(ParseInteger("2147483648", lo, hi));
  EXPECT_FALSE(ParseInteger("123    ", lo, hi));  // blanks after the number
  EXPECT_FALSE(ParseInteger("12.0", lo, hi));
  EXPECT_FALSE(ParseInteger("", lo, hi));
  EXPECT_FALSE(ParseInteger("   ", lo, hi));
  EXPECT_FALSE(ParseInteger("-", lo, hi));
  EXPECT_FALSE(ParseInteger("$", lo, hi));
}

TEST(NumberFormatTest, FloatGrammar) {
  EXPECT_EQ(ParseFloat("       1234.5000"), 1234.5);
  EXPECT_EQ(ParseFloat("1.5E3"), 1500.0);
  EXPECT_EQ(ParseFloat(" +2.5e-1  "), 0.25);
  EXPECT_EQ(ParseFloat("-.5"), -0.5);
  EXPECT_EQ(ParseFloat("5."), 5.0);
  EXPECT_FALSE(ParseFloat("1234,5000"));
  EXPECT_FALSE(ParseFloat("1,200.00"));
  EXPECT_FALSE(ParseFloat("1e"));
  EXPECT_FALSE(ParseFloat("."));
  EXPECT_FALSE(ParseFloat("1.2.3"));
  EXPECT_FALSE(ParseFloat("-"));
  EXPECT_EQ(ParseFloat("  123456789012345.6"), 123456789012345.6);  // 16 digits
  EXPECT_EQ(ParseFloat("12345678901234567890123"), 12345678901234567890123.0);
  EXPECT_FALSE(ParseFloat("1e999"));  // beyond a double: no value
  EXPECT_FALSE(ParseFloat(std::string_view("1234.\0\0", 7)));
}

// The word-at-a-time scans against a byte loop: every length up to three
// words, the byte sought (or a near miss: 0x80, 0xA0, 0x21, 0x1F) at every
// place, the rest of the field a blank or a byte with its top bit set.
TEST(NumberFormatTest, ByteScansAgreeWithAByteLoop) {
  const std::uint8_t fills[] = {' ', 0xA0, 'x', 0x09};
  const std::uint8_t marks[] = {0, ' ', 0x80, 0xA0, 0x21, 0x1F, 0x01, 0x7F};
  for (std::size_t n = 0; n <= 24; ++n)
    for (std::uint8_t fill : fills)
      for (std::uint8_t mark : marks)
        for (std::size_t at = 0; at <= n; ++at) {
          // A byte past the field that would answer wrongly if read.
          std::vector<std::uint8_t> b(n + 1, fill);
          if (at < n) b[at] = mark;
          b[n] = fill == ' ' ? 0 : ' ';
          std::size_t nul = 0, blanks = 0, text = 0;
          while (nul < n && b[nul] != 0) ++nul;
          while (blanks < n && b[blanks] == ' ') ++blanks;
          while (text < n && b[text] <= ' ') ++text;
          SCOPED_TRACE(testing::Message() << "n " << n << " fill " << int{fill} << " mark "
                                          << int{mark} << " at " << at);
          EXPECT_EQ(BytesBeforeNul(b.data(), n), nul);
          EXPECT_EQ(LeadingBlanks(b.data(), n), blanks);
          EXPECT_EQ(AllBlanks(b.data(), n), blanks == n);
          EXPECT_EQ(FirstAboveBlank(b.data(), n), text);
        }
}

TEST(NumberFormatTest, FloatParseIgnoresACommaLocale) {
  // A process whose C and C++ locales use a decimal comma.
  struct Comma : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  std::locale before = std::locale::global(std::locale(std::locale::classic(), new Comma));
  const char* cBefore = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = cBefore ? cBefore : "C";
  bool haveComma =
      std::setlocale(LC_NUMERIC, "pt_BR.UTF-8") || std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  EXPECT_EQ(ParseFloat("1234.5000"), 1234.5);
  EXPECT_FALSE(ParseFloat("1234,5000"));
  EXPECT_EQ(FloatToStrGeneral(1234.5, '.'), "1234.5");
  EXPECT_EQ(FormatFixed(0.5, 2, '.', ','), "0.50");
  std::setlocale(LC_NUMERIC, saved.c_str());
  std::locale::global(before);
  if (!haveComma)
    GTEST_LOG_(INFO) << "no comma C locale installed; the C++ locale was still changed";
}

TEST(NumberFormatTest, CalendarAndDateTexts) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(2017, 8, 1), 42948.0);
  int y, m, d;
  DecodeDate(EncodeDate(2016, 2, 29), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20160229);
  EXPECT_FALSE(IsValidDate(2017, 2, 29));
  EXPECT_FALSE(IsValidDate(1900, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));

  TFormatSettings br;  // dd/MM/yyyy HH:mm:ss
  double t = EncodeDate(2026, 12, 8) + (16 * 3600 + 40 * 60 + 35) / 86400.0;
  EXPECT_EQ(DateTimeToStr(t, br), "08/12/2026 16:40:35");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 8), br), "08/12/2026");
  TFormatSettings us;
  us.ShortDateFormat = "M/d/yyyy";
  us.LongTimeFormat = "h:mm:ss AP";
  EXPECT_EQ(DateTimeToStr(t, us), "12/8/2026 4:40:35 PM");
}

}  // namespace
}  // namespace tolk
