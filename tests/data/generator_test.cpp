// The generator of large deliveries, judged by the dictionary's rules.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "data/dictionary_model.h"
#include "test_support.h"

namespace tolk::testing {
namespace {

using tools::DeliveryGenerator;
using tools::DeliveryOptions;
using tools::Finding;

struct Written {
  TempDir dir;
  tools::DeliverySummary summary;
  SeenDelivery seen;
};

std::unique_ptr<Written> Generate(const DeliveryOptions& o) {
  auto w = std::make_unique<Written>();
  w->summary = tools::WriteDeliveryDbf(DeliveryGenerator(o), w->dir.path());
  w->seen = SeeDelivery(LoadDictionary(BinDir()), w->dir.File("riscos.dbf"),
                        w->dir.File("sinistros.dbf"));
  return w;
}

TEST(DeliveryGeneratorTest, CleanRecordsPassEveryRule) {
  DeliveryOptions o;
  o.seed = 7;
  o.risks = 3000;
  o.claims = 900;
  o.findingShare = 0;
  o.deletedShare = 0.02;
  auto w = Generate(o);
  ASSERT_EQ(w->seen.risks.size(), 3000u);
  ASSERT_EQ(w->seen.claims.size(), 900u);
  for (const auto* table : {&w->seen.risks, &w->seen.claims})
    for (std::size_t i = 0; i < table->size(); ++i) {
      const SeenRecord& s = (*table)[i];
      ASSERT_EQ(s.Kind(), Finding::kNone)
          << "record " << i + 1 << " breaks a rule in "
          << (s.broken.fields.empty() ? "" : *s.broken.fields.begin());
    }
  EXPECT_GT(w->summary.deletedRisks, 0u);
  EXPECT_EQ(w->summary.riskFindings[0], 3000u);
}

TEST(DeliveryGeneratorTest, EachKindGetsItsShareAndShowsAsPlanted) {
  DeliveryOptions o;
  o.seed = 11;
  o.risks = 10000;
  o.claims = 2000;
  o.findingShare = 0.01;  // one finding in every 20 records
  auto w = Generate(o);
  DeliveryGenerator g(o);
  tools::GeneratedRecord rec;
  std::array<std::uint32_t, tools::kFindingKinds> risks{}, claims{};
  for (std::uint32_t i = 0; i < o.risks; ++i) {
    g.Risk(i, rec);
    ASSERT_EQ(w->seen.risks[i].Kind(), rec.finding) << "risk " << i + 1;
    ASSERT_EQ(w->seen.risks[i].deleted, rec.deleted);
    ++risks[static_cast<std::size_t>(rec.finding)];
  }
  for (std::uint32_t i = 0; i < o.claims; ++i) {
    g.Claim(i, rec);
    ASSERT_EQ(w->seen.claims[i].Kind(), rec.finding) << "claim " << i + 1;
    ++claims[static_cast<std::size_t>(rec.finding)];
  }
  for (Finding k :
       {Finding::kMissing, Finding::kWidth, Finding::kDate, Finding::kDomain, Finding::kTariff})
    EXPECT_EQ(risks[static_cast<std::size_t>(k)], 100u) << tools::FindingLabel(k);
  for (Finding k :
       {Finding::kMissing, Finding::kWidth, Finding::kDate, Finding::kDomain, Finding::kNoTicket})
    EXPECT_EQ(claims[static_cast<std::size_t>(k)], 20u) << tools::FindingLabel(k);
  EXPECT_EQ(w->summary.riskFindings, risks);
  EXPECT_EQ(w->summary.claimFindings, claims);
}

TEST(DeliveryGeneratorTest, SeedDecidesTheBytes) {
  DeliveryOptions o;
  o.risks = 500;
  o.claims = 100;
  TempDir a, b, c;
  tools::WriteDeliveryDbf(DeliveryGenerator(o), a.path());
  tools::WriteDeliveryDbf(DeliveryGenerator(o), b.path());
  o.seed = 2;
  tools::WriteDeliveryDbf(DeliveryGenerator(o), c.path());
  for (const char* f : {"riscos.dbf", "sinistros.dbf"}) {
    EXPECT_TRUE(ReadBytes(a.File(f)) == ReadBytes(b.File(f))) << f;
    EXPECT_FALSE(ReadBytes(a.File(f)) == ReadBytes(c.File(f))) << f;
  }
}

TEST(DeliveryGeneratorTest, RandomOrderScattersTicketsAndClaimsStillFindThem) {
  DeliveryOptions o;
  o.seed = 5;
  o.risks = 4000;
  o.claims = 1000;
  o.findingShare = 0.01;
  o.ticketOrder = tools::TicketOrder::kRandom;
  auto w = Generate(o);
  DeliveryGenerator g(o);
  tools::GeneratedRecord rec;
  std::set<std::string> tickets;
  std::string previous;
  std::uint32_t whole = 0, ascending = 0;
  for (std::uint32_t i = 0; i < o.risks; ++i) {
    g.Risk(i, rec);
    const std::string& t = rec.values[1];
    if (t.size() != 10) continue;  // planted blank or short
    ++whole;
    ASSERT_TRUE(tickets.insert(t).second) << "ticket " << t << " of risk " << i + 1 << " repeats";
    ascending += t > previous;
    previous = t;
  }
  // About half of the neighbours ascend when the order holds no runs.
  EXPECT_LT(ascending, whole * 6 / 10);
  // Each claim shows what was planted in it: the cross-check finds the risk
  // of every claim that names one.
  for (std::uint32_t i = 0; i < o.claims; ++i) {
    g.Claim(i, rec);
    ASSERT_EQ(w->seen.claims[i].Kind(), rec.finding) << "claim " << i + 1;
  }
}

TEST(DeliveryGeneratorTest, PeriodDecidesWhatIsSummed) {
  // A half-year period starting mid-month: its first month is not a whole
  // competence month, so no premium may be dated in it.
  DeliveryOptions o;
  o.periodStart = "20250715";
  o.periodEnd = "20251231";
  o.risks = 2000;
  o.claims = 400;
  o.findingShare = 0;
  o.outsideShare = 0;
  DeliveryGenerator g(o);
  tools::GeneratedRecord rec;
  for (std::uint32_t i = 0; i < o.risks; ++i) {
    g.Risk(i, rec);
    ASSERT_GE(rec.values[2], "202508") << "DATA_COMP of risk " << i + 1;
    ASSERT_LE(rec.values[2], "202512");
  }
  const auto sum = tools::SummarizeDelivery(g);
  EXPECT_EQ(sum.premiumRecords, o.risks - sum.deletedRisks);
  EXPECT_EQ(sum.claimRecords, o.claims - sum.deletedClaims);
}

TEST(DeliveryGeneratorTest, RejectsOptionsItCannotHonour) {
  auto with = [](auto change) {
    DeliveryOptions o;
    change(o);
    return o;
  };
  EXPECT_THROW(DeliveryGenerator(with([](auto& o) { o.insurer = "2135"; })), std::invalid_argument);
  EXPECT_THROW(DeliveryGenerator(with([](auto& o) { o.periodEnd = "20251301"; })),
               std::invalid_argument);
  EXPECT_THROW(DeliveryGenerator(with([](auto& o) { o.periodStart = "20250229"; })),
               std::invalid_argument);
  EXPECT_THROW(DeliveryGenerator(
                   with([](auto& o) { o.periodStart = "20251202", o.periodEnd = "20251231"; })),
               std::invalid_argument);
  EXPECT_THROW(DeliveryGenerator(with([](auto& o) { o.findingShare = 0.25; })),
               std::invalid_argument);
  EXPECT_NO_THROW(DeliveryGenerator(with([](auto& o) { o.findingShare = 0.2; })));
}

}  // namespace
}  // namespace tolk::testing
