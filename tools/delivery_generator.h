// Synthetic TOLK deliveries: a risks table and a claims table of one insurer
// laid out as the shipped dictionary describes them, with a controlled share
// of records carrying one finding each. The shipped sample and the large
// benchmark deliveries both come from here.
//
// Every record is a pure function of the options and its number, so a file of
// any size is streamed without keeping records in memory, and a claim can name
// the ticket of any risk by recomputing that risk.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/dbf_writer.h"

namespace tolk::tools {

// What a generated record does wrong; at most one kind per record.
enum class Finding : std::uint8_t {
  kNone,
  kMissing,   // a required value left blank
  kWidth,     // a code one character short
  kDate,      // a date that is no calendar date
  kDomain,    // a code outside its list, or not allowed with its qualifying code
  kTariff,    // risks: a premium outside the range of its tariff class
  kNoTicket,  // claims: a ticket the risks table does not hold
};
constexpr std::size_t kFindingKinds = 7;
// Portuguese label of a kind, as the generator's summary prints it.
const char* FindingLabel(Finding f);

// The order of the risks' tickets in the table.
enum class TicketOrder : std::uint8_t {
  // Long ascending runs (about 1,260,000 risks each): what the shipped sample
  // and the older benchmark deliveries were made with.
  kAscending,
  // No runs: consecutive risks get tickets scattered over the whole range,
  // as a delivery that is kept in no particular order has them.
  kRandom,
};

struct DeliveryOptions {
  std::string insurer = "03468";         // COD_SEG of every record, 5 characters
  std::string periodStart = "20250101";  // AAAAMMDD, first day of the reference period
  std::string periodEnd = "20251231";    // AAAAMMDD, last day
  std::uint64_t seed = 1;
  std::uint32_t risks = 1000;
  std::uint32_t claims = 200;
  // Share of the records carrying each kind of finding, 0 to 0.2 (five kinds
  // per table, so 0.2 puts a finding on every record).
  double findingShare = 0.002;
  double deletedShare = 0.001;  // share of the clean records marked deleted
  double outsideShare = 0.02;   // share of the clean records dated outside the period
  TicketOrder ticketOrder = TicketOrder::kAscending;
};

// The sample delivery shipped in samples/.
DeliveryOptions SampleOptions();

struct GeneratedRecord {
  std::vector<std::string> values;  // one text per field, in field order
  bool deleted = false;
  Finding finding = Finding::kNone;
};

class DeliveryGenerator {
 public:
  // Throws std::invalid_argument for an insurer code that is not 5
  // characters, a period bound that is not a date, a period holding no whole
  // competence month, or a share out of range.
  explicit DeliveryGenerator(DeliveryOptions options);

  const DeliveryOptions& Options() const { return options_; }

  // The columns of the two tables, in dictionary order.
  static const std::vector<FieldSpec>& RiskFields();
  static const std::vector<FieldSpec>& ClaimFields();

  // Record i (0-based) of each table, overwriting `out`.
  void Risk(std::uint32_t i, GeneratedRecord& out) const;
  void Claim(std::uint32_t i, GeneratedRecord& out) const;

  // The ticket number of risk n: 10 digits, distinct for every n below 10^10
  // in either order. Claims without a ticket carry the ticket of a risk
  // number past the table.
  static std::string Ticket(std::uint64_t n, TicketOrder order = TicketOrder::kAscending);

 private:
  struct Slot {
    Finding finding = Finding::kNone;
    std::uint64_t occurrence = 0;  // how many of its kind came before it
  };
  Slot Scheduled(int table, std::uint32_t i) const;
  bool RiskLosesTicket(std::uint32_t i) const;

  DeliveryOptions options_;
  int startDay_ = 0, endDay_ = 0;       // days since 1970-01-01
  int firstMonth_ = 0, lastMonth_ = 0;  // year * 12 + month - 1, whole competence months
  std::uint64_t interval_ = 0;          // one finding in every `interval_` records; 0: none
};

// What was written, as the reconciliation of a run would see it.
struct DeliverySummary {
  std::uint32_t risks = 0, claims = 0;
  std::uint32_t deletedRisks = 0, deletedClaims = 0;
  std::array<std::uint32_t, kFindingKinds> riskFindings{}, claimFindings{};
  // Non-deleted records dated in the period with a value: premiums by their
  // competence month, claims by their notice date; summed in record order.
  double premiums = 0, claimValues = 0;
  std::uint32_t premiumRecords = 0, claimRecords = 0;
};

// Streams both tables into `folder` (which must exist) as riscos.dbf and
// sinistros.dbf; throws std::runtime_error when a file cannot be written.
DeliverySummary WriteDeliveryDbf(const DeliveryGenerator& generator, const std::string& folder);

// One table as the readable text `tolk-dbf from-tsv` turns into dBASE (with a
// "*" column for deleted records), starting with a comment line.
std::string DeliveryTsv(const DeliveryGenerator& generator, bool risks);

// The summary without writing anything.
DeliverySummary SummarizeDelivery(const DeliveryGenerator& generator);

}  // namespace tolk::tools
