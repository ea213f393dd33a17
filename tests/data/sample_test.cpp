// The shipped sample delivery: its structure against the dictionary, and a
// little of every finding the run reports.
#include <gtest/gtest.h>

#include "data/dictionary_model.h"
#include "test_support.h"

#ifndef TOLK_SAMPLES_DIR
#error "TOLK_SAMPLES_DIR names the folder of the built sample"
#endif

namespace tolk::testing {
namespace {

using tools::Finding;

const std::string kRisks = std::string(TOLK_SAMPLES_DIR) + "/riscos.dbf";
const std::string kClaims = std::string(TOLK_SAMPLES_DIR) + "/sinistros.dbf";

class SampleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dict_ = new Dictionary(LoadDictionary(BinDir()));
    seen_ = new SeenDelivery(SeeDelivery(*dict_, kRisks, kClaims));
  }
  static void TearDownTestSuite() {
    delete seen_;
    delete dict_;
  }
  static Dictionary* dict_;
  static SeenDelivery* seen_;
};
Dictionary* SampleTest::dict_ = nullptr;
SeenDelivery* SampleTest::seen_ = nullptr;

// Counts of the records whose kind is `k`, deleted ones left out.
int CountKind(const std::vector<SeenRecord>& records, Finding k) {
  return static_cast<int>(std::count_if(records.begin(), records.end(), [&](const SeenRecord& s) {
    return !s.deleted && s.Kind() == k;
  }));
}

// Whether some live record breaks `rule` (n null, w width, d date, v domain) in `campo`.
bool FieldFails(const std::vector<SeenRecord>& records, const std::string& campo, char rule) {
  return std::any_of(records.begin(), records.end(), [&](const SeenRecord& s) {
    return !s.deleted && s.broken.rules.count({campo, rule});
  });
}

TEST_F(SampleTest, StructuresAreThoseOfTheDictionary) {
  for (auto [path, tabela] : {std::pair{kRisks, "RISCOS"}, {kClaims, "SINISTROS"}}) {
    SCOPED_TRACE(tabela);
    TXQSmartDBF t;
    t.DBFFileName = path;
    t.Open();
    auto rows = dict_->Line("TOLK", tabela);
    ASSERT_EQ(t.FieldCount(), static_cast<int>(rows.size()));
    for (const FieldRow* r : rows) {
      const TField& f = t.Fields()[r->ordem - 1];
      EXPECT_EQ(f.FieldName(), r->campo);
      EXPECT_EQ(static_cast<int>(f.DataType()), r->tipo) << r->campo;
      EXPECT_EQ(f.Size(), r->tamanho) << r->campo;
    }
  }
}

TEST_F(SampleTest, OneInsurerThroughout) {
  // A record of another insurer would end the check of its table.
  for (const auto* table : {&seen_->risks, &seen_->claims})
    for (const auto& s : *table) ASSERT_EQ(s.values.at("COD_SEG"), tools::SampleOptions().insurer);
}

TEST_F(SampleTest, ShowsEveryKindOfFinding) {
  for (Finding k :
       {Finding::kMissing, Finding::kWidth, Finding::kDate, Finding::kDomain, Finding::kTariff})
    EXPECT_GE(CountKind(seen_->risks, k), 3) << "risks: " << tools::FindingLabel(k);
  for (Finding k :
       {Finding::kMissing, Finding::kWidth, Finding::kDate, Finding::kDomain, Finding::kNoTicket})
    EXPECT_GE(CountKind(seen_->claims, k), 2) << "claims: " << tools::FindingLabel(k);
  // Each rule on the kinds of field it can meet.
  EXPECT_TRUE(FieldFails(seen_->risks, "VAL_PREM", 'n'));  // a blank number
  EXPECT_TRUE(FieldFails(seen_->risks, "BILHETE", 'n'));
  EXPECT_TRUE(FieldFails(seen_->risks, "COD_MUN", 'w'));
  EXPECT_TRUE(FieldFails(seen_->risks, "DATA_COMP", 'd'));  // AAAAMM
  EXPECT_TRUE(FieldFails(seen_->risks, "DATA_EMI", 'd'));
  EXPECT_TRUE(FieldFails(seen_->risks, "UF", 'v'));
  EXPECT_TRUE(FieldFails(seen_->claims, "DATA_PAG", 'd'));
  EXPECT_TRUE(FieldFails(seen_->claims, "NATUREZA", 'v'));
  // A category admissible for another tariff class: only the pairing fails.
  EXPECT_TRUE(std::any_of(seen_->risks.begin(), seen_->risks.end(), [&](const SeenRecord& s) {
    if (!s.broken.fields.count("CATEG") || s.broken.fields.count("CLASSE_TAR")) return false;
    return std::any_of(dict_->domains.begin(), dict_->domains.end(), [&](const DomainRow& a) {
      return a.campo == "CATEG" && Trim(a.valor1) == s.values.at("CATEG");
    });
  }));
  // Unpaid claims pass the date rule by their zeros.
  EXPECT_TRUE(std::any_of(seen_->claims.begin(), seen_->claims.end(), [](const SeenRecord& s) {
    return s.values.at("DATA_PAG") == "00000000" && !s.broken.fields.count("DATA_PAG");
  }));
  // Deleted records in both tables, none of them with a finding.
  for (const auto* table : {&seen_->risks, &seen_->claims}) {
    EXPECT_TRUE(
        std::any_of(table->begin(), table->end(), [](const SeenRecord& s) { return s.deleted; }));
    for (const auto& s : *table) {
      if (s.deleted) {
        EXPECT_EQ(s.Kind(), Finding::kNone);
      }
    }
  }
}

TEST_F(SampleTest, EveryRecordShowsThePlantedFinding) {
  tools::DeliveryGenerator g(tools::SampleOptions());
  tools::GeneratedRecord rec;
  ASSERT_EQ(seen_->risks.size(), g.Options().risks);
  ASSERT_EQ(seen_->claims.size(), g.Options().claims);
  for (std::uint32_t i = 0; i < g.Options().risks; ++i) {
    g.Risk(i, rec);
    EXPECT_EQ(seen_->risks[i].Kind(), rec.finding) << "risk " << i + 1;
  }
  for (std::uint32_t i = 0; i < g.Options().claims; ++i) {
    g.Claim(i, rec);
    EXPECT_EQ(seen_->claims[i].Kind(), rec.finding) << "claim " << i + 1;
  }
}

TEST_F(SampleTest, MostRecordsFallInTheReferencePeriodAndTheSumsDiffer) {
  const auto o = tools::SampleOptions();
  auto in = [&](std::string date) {
    return PadTo(date, 8) >= o.periodStart && PadTo(date, 8) <= o.periodEnd;
  };
  int live = 0, inside = 0;
  for (const auto& s : seen_->risks)
    if (!s.deleted) ++live, inside += in(s.values.at("DATA_COMP") + "01");
  EXPECT_GT(inside, live * 9 / 10);
  EXPECT_LT(inside, live);
  live = inside = 0;
  for (const auto& s : seen_->claims)
    if (!s.deleted) ++live, inside += in(s.values.at("DATA_AVI"));
  EXPECT_GT(inside, live * 9 / 10);
  EXPECT_LT(inside, live);

  // The figures are near the delivery's sums but not equal to them.
  const tools::DeliverySummary sum = tools::SummarizeDelivery(tools::DeliveryGenerator(o));
  TXQSmartDBF orb;
  orb.DBFFileName = BinDir() + "/DadosOrb.DBF";
  orb.Open();
  while (!orb.Eof() && Text(orb, "COD_SEG") != o.insurer) orb.Next();
  ASSERT_FALSE(orb.Eof());
  EXPECT_EQ(Text(orb, "INIVIG"), o.periodStart);
  EXPECT_EQ(Text(orb, "FIMVIG"), o.periodEnd);
  for (auto [figure, total] : {std::pair{orb.FieldByName("TOT_PR").AsFloat(), sum.premiums},
                               {orb.FieldByName("TOT_SIN").AsFloat(), sum.claimValues}}) {
    EXPECT_NE(figure, total);
    EXPECT_NEAR(figure, total, total * 0.05);
  }
}

TEST_F(SampleTest, CommittedTextIsWhatTheGeneratorWrites) {
  tools::DeliveryGenerator g(tools::SampleOptions());
  const std::string hint = "; run `ninja tolk_amostra_tsv` to rewrite samples/*.tsv";
  EXPECT_TRUE(tools::DeliveryTsv(g, true) == ReadBytes(SourceDir() + "/samples/riscos.tsv"))
      << "riscos.tsv" << hint;
  EXPECT_TRUE(tools::DeliveryTsv(g, false) == ReadBytes(SourceDir() + "/samples/sinistros.tsv"))
      << "sinistros.tsv" << hint;
  // Streamed straight to dBASE, the same delivery gives the very bytes the
  // build made from the text.
  TempDir dir;
  tools::WriteDeliveryDbf(g, dir.path());
  EXPECT_TRUE(ReadBytes(dir.File("riscos.dbf")) == ReadBytes(kRisks));
  EXPECT_TRUE(ReadBytes(dir.File("sinistros.dbf")) == ReadBytes(kClaims));
}

}  // namespace
}  // namespace tolk::testing
