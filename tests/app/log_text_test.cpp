#include "app/log_text.h"

#include <gtest/gtest.h>

#include "app/regras.h"
#include "dataset/number_format.h"

namespace tolk {
namespace {

TEST(LogTextTest, AmountsInBothRegionalSettings) {
  TFormatSettings br;
  br.DecimalSeparator = ',';
  br.ThousandSeparator = '.';
  TFormatSettings us;
  EXPECT_EQ(AmountText(0.125, br), "0,13");
  EXPECT_EQ(AmountText(22.225, br), "22,23");
  EXPECT_EQ(AmountText(1234567.5, br), "1.234.567,50");
  EXPECT_EQ(AmountText(1234567.5, us), "1,234,567.50");
  EXPECT_EQ(AmountText(-0.004, br), "0,00");
  EXPECT_EQ(AmountText(-12.5, br), "-12,50");
  EXPECT_EQ(AmountText(100.0 * 3 / 1250, br), "0,24");
}

TEST(LogTextTest, PaddingNeverCuts) {
  EXPECT_EQ(PadRight("RISCOS", 10), "RISCOS    ");
  EXPECT_EQ(PadRight("12345678901234567890", 20), "12345678901234567890");
  EXPECT_EQ(PadRight("123456789012345678901", 20), "123456789012345678901");
  EXPECT_EQ(SeparatorLine(), std::string(110, '='));
}

TEST(RegrasTest, TamanhoOkTrimsBeforeCounting) {
  EXPECT_TRUE(TamanhoOk("00123", 5));
  EXPECT_FALSE(TamanhoOk("  123", 5));
  EXPECT_FALSE(TamanhoOk("123  ", 5));
  EXPECT_TRUE(TamanhoOk("\t123 \r", 3));
  EXPECT_TRUE(TamanhoOk("     ", 0));
}

TEST(RegrasTest, DataValidaBoundaries) {
  const int year = 2026;
  EXPECT_TRUE(DataValida("20160229", 8, year));
  EXPECT_FALSE(DataValida("20170229", 8, year));  // no leap year
  EXPECT_FALSE(DataValida("19000229", 8, year));  // nor is 1900
  EXPECT_TRUE(DataValida("20000229", 8, year));
  EXPECT_FALSE(DataValida("18991231", 8, year));
  EXPECT_TRUE(DataValida("19000101", 8, year));
  EXPECT_TRUE(DataValida("20311231", 8, year));   // current year + 5
  EXPECT_FALSE(DataValida("20320101", 8, year));  // the sixth year after
  EXPECT_FALSE(DataValida("00000000", 8, year));
  EXPECT_TRUE(DataValida("201702", 6, year));  // the day is taken as 01
  EXPECT_FALSE(DataValida("201713", 6, year));
  EXPECT_FALSE(DataValida("201700", 6, year));
  EXPECT_TRUE(DataValida("201702  ", 6, year));   // characters 7-8 do not count at size 6
  EXPECT_FALSE(DataValida("2017022 ", 8, year));  // a blank after a digit
  EXPECT_TRUE(DataValida("2017 2 3", 8, year));   // leading blanks of a piece are skipped
  EXPECT_TRUE(DataValida("2017+2+3", 8, year));   // and a sign is allowed
  EXPECT_FALSE(DataValida("2017-2-3", 8, year));
  EXPECT_FALSE(DataValida("2017", 8, year));  // pieces past the end are empty
  EXPECT_FALSE(DataValida("", 8, year));
  EXPECT_FALSE(DataValida("2017$A01", 8, year));  // no hexadecimal
  // Bytes just outside the digits, and with their top bit set, anywhere.
  for (const char c : {'/', ':', '\x80', '\xB5', '\xFF'})
    for (std::size_t at = 0; at < 8; ++at) {
      std::string date = "20170215";
      date[at] = c;
      EXPECT_FALSE(DataValida(date, 8, year)) << at << ' ' << int{c};
      EXPECT_EQ(DataValida(date.substr(0, 6), 6, year), at >= 6) << at << ' ' << int{c};
    }
  EXPECT_FALSE(DataValida("20170431", 8, year));
}

}  // namespace
}  // namespace tolk
