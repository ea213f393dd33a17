#include "tools/delivery_generator.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tolk::tools {

namespace {

// ---------------------------------------------------------------------------
// Randomness: splitmix64. The standard distributions differ between library
// implementations, and the sample must come out the same everywhere.

std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() { return Mix(state_++); }
  // Uniform in [0, n); 0 when n is 0.
  std::uint32_t Below(std::uint64_t n) { return n ? static_cast<std::uint32_t>(Next() % n) : 0; }
  bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }
  // An index drawn with the given integer weights.
  template <std::size_t N>
  std::size_t Weighted(const std::array<int, N>& weights) {
    int total = 0;
    for (int w : weights) total += w;
    int x = static_cast<int>(Below(static_cast<std::uint64_t>(total)));
    for (std::size_t k = 0; k < N; ++k) {
      if (x < weights[k]) return k;
      x -= weights[k];
    }
    return N - 1;
  }

 private:
  std::uint64_t state_;
};

// The random stream of record i of one table: independent of every other record.
std::uint64_t RecordKey(std::uint64_t seed, int stream, std::uint64_t i) {
  return Mix(Mix(seed ^ (static_cast<std::uint64_t>(stream) << 56)) + i);
}

// ---------------------------------------------------------------------------
// Calendar: days since 1970-01-01 in the proleptic Gregorian calendar.

int DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int y, m, d;
};

Civil CivilFromDays(int z) {
  z += 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  const int d = doy - (153 * mp + 2) / 5 + 1;
  const int m = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (m <= 2), m, d};
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Decimal digits of v >= 0, zero-padded to `width` (formatting dominates the
// generator's time, so no printf here).
std::string Digits(std::uint64_t v, int width) {
  char buf[24];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (buf + sizeof buf - p < width) *--p = '0';
  return std::string(p, buf + sizeof buf);
}

std::string DateText(int days) {
  Civil c = CivilFromDays(days);
  return Digits(c.y, 4) + Digits(c.m, 2) + Digits(c.d, 2);
}

std::string MonthText(int month) { return Digits(month / 12, 4) + Digits(month % 12 + 1, 2); }

// AAAAMMDD to days; throws for anything that is not a calendar date.
int ParseDate(const std::string& text, const char* what) {
  bool digits = text.size() == 8;
  for (char c : text) digits = digits && c >= '0' && c <= '9';
  if (digits) {
    int y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(4, 2)),
        d = std::stoi(text.substr(6, 2));
    if (y >= 1900 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m))
      return DaysFromCivil(y, m, d);
  }
  throw std::invalid_argument(std::string(what) + ": \"" + text + "\" não é uma data AAAAMMDD");
}

std::string Money(std::uint64_t cents) {
  return Digits(cents / 100, 1) + "." + Digits(cents % 100, 2);
}

// The value of a "digits.dd" text as the table reader gives it: the cents
// divided by 100 round to the same double as the decimal text does.
double MoneyValue(const std::string& text) {
  std::uint64_t cents = 0;
  for (char c : text)
    if (c >= '0' && c <= '9') cents = cents * 10 + static_cast<std::uint64_t>(c - '0');
  return static_cast<double>(cents) / 100;
}

// ---------------------------------------------------------------------------
// The line's codes.

struct Uf {
  const char* code;
  int ibge;  // first two digits of its municipality codes
};
constexpr std::array<Uf, 27> kUfs = {
    {{"RO", 11}, {"AC", 12}, {"AM", 13}, {"RR", 14}, {"PA", 15}, {"AP", 16}, {"TO", 17},
     {"MA", 21}, {"PI", 22}, {"CE", 23}, {"RN", 24}, {"PB", 25}, {"PE", 26}, {"AL", 27},
     {"SE", 28}, {"BA", 29}, {"MG", 31}, {"ES", 32}, {"RJ", 33}, {"SP", 35}, {"PR", 41},
     {"SC", 42}, {"RS", 43}, {"MS", 50}, {"MT", 51}, {"GO", 52}, {"DF", 53}}};

// Tariff classes 1 to 6: share of the fleet and the vehicle categories of each.
constexpr std::array<int, 6> kClassWeights = {60, 5, 2, 1, 25, 7};
const std::array<std::vector<std::string>, 6> kCategories = {
    {{"01", "02"}, {"03", "04"}, {"05", "06"}, {"07"}, {"08", "09"}, {"10", "11", "12"}}};
// Premiums in cents: the fixed premium of classes 1-2 and 3-5; class 6 has a floor.
constexpr std::uint64_t kPremiumLight = 2222, kPremiumHeavy = 17769;

// Natures of a claim 1 (death), 2 (permanent disability), 3 (medical
// expenses): their share and the coverages of each.
constexpr std::array<int, 3> kNatureWeights = {10, 30, 60};
const std::array<std::vector<std::string>, 3> kCoverages = {
    {{"101"}, {"201", "202", "203"}, {"301", "302"}}};
constexpr std::uint64_t kDeathIndemnity = 1350000, kMedicalCap = 270000;

enum RiskField {
  kRCodSeg,
  kRBilhete,
  kRDataComp,
  kRDataEmi,
  kRClasse,
  kRCateg,
  kRUf,
  kRCodMun,
  kRPlaca,
  kRAnoFab,
  kRValPrem
};
enum ClaimField {
  kSCodSeg,
  kSBilhete,
  kSNumSin,
  kSDataOco,
  kSDataAvi,
  kSDataPag,
  kSNatureza,
  kSCobertura,
  kSUfOco,
  kSIdade,
  kSValSinist
};

enum Table { kRisks = 0, kClaims = 1 };
constexpr std::array<Finding, 5> kRiskKinds = {Finding::kMissing, Finding::kWidth, Finding::kDate,
                                               Finding::kDomain, Finding::kTariff};
constexpr std::array<Finding, 5> kClaimKinds = {Finding::kMissing, Finding::kWidth, Finding::kDate,
                                                Finding::kDomain, Finding::kNoTicket};

// Which variant of a kind the n-th occurrence uses; the variants cycle so that
// a small delivery shows each of them.
constexpr std::uint64_t kRiskMissingVariants = 5, kRiskWidthVariants = 2;
constexpr std::uint64_t kRiskBlankTicket = 0, kRiskShortTicket = 1;

void DropLast(std::string& s) {
  if (!s.empty()) s.pop_back();
}

}  // namespace

const char* FindingLabel(Finding f) {
  switch (f) {
    case Finding::kNone:
      return "sem achado";
    case Finding::kMissing:
      return "valor obrigatório em branco";
    case Finding::kWidth:
      return "tamanho incorreto";
    case Finding::kDate:
      return "data inválida";
    case Finding::kDomain:
      return "fora do domínio";
    case Finding::kTariff:
      return "prêmio fora da classe tarifária";
    case Finding::kNoTicket:
      return "sinistro sem bilhete";
  }
  return "?";
}

DeliveryOptions SampleOptions() {
  DeliveryOptions o;
  o.insurer = "02135";
  o.periodStart = "20250101";
  o.periodEnd = "20251231";
  o.seed = 2027;
  o.risks = 400;
  o.claims = 150;
  o.findingShare = 0.025;
  o.deletedShare = 0.02;
  o.outsideShare = 0.03;
  return o;
}

const std::vector<FieldSpec>& DeliveryGenerator::RiskFields() {
  static const std::vector<FieldSpec> fields = {
      {"COD_SEG", 'C', 5, 0},  {"BILHETE", 'C', 10, 0},   {"DATA_COMP", 'C', 6, 0},
      {"DATA_EMI", 'C', 8, 0}, {"CLASSE_TAR", 'C', 1, 0}, {"CATEG", 'C', 2, 0},
      {"UF", 'C', 2, 0},       {"COD_MUN", 'C', 7, 0},    {"PLACA", 'C', 7, 0},
      {"ANO_FAB", 'N', 4, 0},  {"VAL_PREM", 'N', 12, 2}};
  return fields;
}

const std::vector<FieldSpec>& DeliveryGenerator::ClaimFields() {
  static const std::vector<FieldSpec> fields = {
      {"COD_SEG", 'C', 5, 0},   {"BILHETE", 'C', 10, 0},   {"NUM_SIN", 'C', 12, 0},
      {"DATA_OCO", 'C', 8, 0},  {"DATA_AVI", 'C', 8, 0},   {"DATA_PAG", 'C', 8, 0},
      {"NATUREZA", 'C', 1, 0},  {"COBERTURA", 'C', 3, 0},  {"UF_OCO", 'C', 2, 0},
      {"IDADE_VIT", 'N', 3, 0}, {"VAL_SINIST", 'N', 12, 2}};
  return fields;
}

DeliveryGenerator::DeliveryGenerator(DeliveryOptions options) : options_(std::move(options)) {
  if (options_.insurer.size() != 5)
    throw std::invalid_argument("o código da seguradora deve ter 5 caracteres");
  startDay_ = ParseDate(options_.periodStart, "início do período");
  endDay_ = ParseDate(options_.periodEnd, "fim do período");
  // A competence month is in the period when its first day is.
  Civil s = CivilFromDays(startDay_), e = CivilFromDays(endDay_);
  firstMonth_ = s.y * 12 + s.m - 1 + (s.d > 1 ? 1 : 0);
  lastMonth_ = e.y * 12 + e.m - 1;
  if (firstMonth_ > lastMonth_)
    throw std::invalid_argument("o período não contém nenhum mês de competência inteiro");
  auto share = [](double p, double max, const char* what) {
    if (!(p >= 0 && p <= max))
      throw std::invalid_argument(std::string(what) + " fora do intervalo");
  };
  share(options_.findingShare, 0.2, "taxa de achados");
  share(options_.deletedShare, 1, "fração de excluídos");
  share(options_.outsideShare, 1, "fração fora do período");
  if (options_.findingShare > 0)
    interval_ = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::llround(1 / (options_.findingShare * 5))));
}

namespace {

// A permutation of the 10-digit numbers with no order left in it: a Feistel
// network on the two 5-digit halves, adding a keyed mix of one half to the
// other modulo 10^5. Each round is undone by subtracting the same mix, so
// the whole is a bijection whatever the mix; four rounds carry a change in
// the lowest digit into every digit.
std::uint64_t Scatter(std::uint64_t x) {
  constexpr std::uint64_t kHalf = 100000;
  std::uint64_t left = x / kHalf % kHalf, right = x % kHalf;
  for (std::uint64_t round = 0; round < 4; ++round) {
    const std::uint64_t next = (left + Mix(right + (round << 32)) % kHalf) % kHalf;
    left = right;
    right = next;
  }
  return left * kHalf + right;
}

}  // namespace

std::string DeliveryGenerator::Ticket(std::uint64_t n, TicketOrder order) {
  // 7919 is prime to 10, so the map is a bijection on 10-digit numbers.
  const std::uint64_t ascending = (n * 7919 + 104729) % 10000000000ull;
  return Digits(order == TicketOrder::kRandom ? Scatter(ascending) : ascending, 10);
}

// One finding per block of `interval_` records, at a place drawn per block;
// the blocks take the table's kinds in turn, so each kind gets its exact share.
DeliveryGenerator::Slot DeliveryGenerator::Scheduled(int table, std::uint32_t i) const {
  if (interval_ == 0) return {};
  const std::uint64_t block = i / interval_;
  if (i % interval_ != Mix(RecordKey(options_.seed, table + 2, block)) % interval_) return {};
  const auto& kinds = table == kRisks ? kRiskKinds : kClaimKinds;
  return {kinds[block % kinds.size()], block / kinds.size()};
}

bool DeliveryGenerator::RiskLosesTicket(std::uint32_t i) const {
  Slot s = Scheduled(kRisks, i);
  return (s.finding == Finding::kMissing &&
          s.occurrence % kRiskMissingVariants == kRiskBlankTicket) ||
         (s.finding == Finding::kWidth && s.occurrence % kRiskWidthVariants == kRiskShortTicket);
}

void DeliveryGenerator::Risk(std::uint32_t i, GeneratedRecord& out) const {
  Rng r(RecordKey(options_.seed, kRisks, i));
  const Slot slot = Scheduled(kRisks, i);
  const bool deleted = r.Chance(options_.deletedShare);
  const bool outside = r.Chance(options_.outsideShare);
  const bool clean = slot.finding == Finding::kNone;

  const int month = clean && outside
                        ? firstMonth_ - 1
                        : firstMonth_ + static_cast<int>(r.Below(lastMonth_ - firstMonth_ + 1));
  const int year = month / 12;
  const int day = 1 + static_cast<int>(r.Below(DaysInMonth(year, month % 12 + 1)));
  const std::size_t cls = r.Weighted(kClassWeights);
  const auto& categories = kCategories[cls];
  const Uf& uf = kUfs[r.Below(kUfs.size())];
  const std::uint64_t premium = cls < 2   ? kPremiumLight
                                : cls < 5 ? kPremiumHeavy
                                          : kPremiumHeavy + r.Below(50000);

  auto& v = out.values;
  v.resize(RiskFields().size());
  v[kRCodSeg] = options_.insurer;
  v[kRBilhete] = Ticket(i, options_.ticketOrder);
  v[kRDataComp] = MonthText(month);
  v[kRDataEmi] = v[kRDataComp] + Digits(day, 2);
  v[kRClasse] = std::string(1, static_cast<char>('1' + cls));
  v[kRCateg] = categories[r.Below(categories.size())];
  v[kRUf] = uf.code;
  v[kRCodMun] = Digits(uf.ibge, 2) + Digits(1 + r.Below(99999), 5);
  v[kRPlaca].clear();
  if (!r.Chance(0.10)) {
    for (int k = 0; k < 3; ++k) v[kRPlaca] += static_cast<char>('A' + r.Below(26));
    v[kRPlaca] += static_cast<char>('0' + r.Below(10));
    v[kRPlaca] += static_cast<char>('A' + r.Below(26));
    v[kRPlaca] += Digits(r.Below(100), 2);
  }
  v[kRAnoFab] =
      r.Chance(0.08) ? std::string() : std::to_string(year - static_cast<int>(r.Below(31)));
  v[kRValPrem] = Money(premium);

  const std::uint64_t n = slot.occurrence;
  switch (slot.finding) {
    case Finding::kNone:
      break;
    case Finding::kMissing: {
      static constexpr RiskField kBlank[kRiskMissingVariants] = {kRBilhete, kRUf, kRValPrem,
                                                                 kRCodMun, kRDataEmi};
      static_assert(kBlank[kRiskBlankTicket] == kRBilhete);
      v[kBlank[n % kRiskMissingVariants]].clear();
      break;
    }
    case Finding::kWidth:
      DropLast(v[n % kRiskWidthVariants == kRiskShortTicket ? kRBilhete : kRCodMun]);
      break;
    case Finding::kDate:
      switch (n % 4) {
        case 0:
          v[kRDataEmi] = Digits(year, 4) + "0230";
          break;
        case 1:
          v[kRDataEmi] = Digits(year, 4) + "0431";
          break;
        case 2:
          v[kRDataComp] = Digits(year, 4) + "13";
          break;
        default:  // a letter O typed for a zero
          v[kRDataEmi][4] = 'O';
          break;
      }
      break;
    case Finding::kDomain:
      switch (n % 4) {
        case 0:
          v[kRUf] = "BR";
          break;
        case 1:
          v[kRCateg] = "13";
          break;
        case 2:  // a category of the next class
          v[kRCateg] = kCategories[(cls + 1) % kCategories.size()].front();
          break;
        default:
          v[kRClasse] = "7";
          break;
      }
      break;
    case Finding::kTariff: {
      // A premium of another class, or one at a bound of its own range.
      const bool other = n % 2 == 0;
      v[kRValPrem] = Money(cls < 2   ? (other ? kPremiumHeavy : 2223)
                           : cls < 5 ? (other ? kPremiumLight : 17770)
                                     : (other ? 15000 : 17768));
      break;
    }
    case Finding::kNoTicket:
      break;
  }
  out.deleted = clean && deleted;
  out.finding = slot.finding;
}

void DeliveryGenerator::Claim(std::uint32_t i, GeneratedRecord& out) const {
  Rng r(RecordKey(options_.seed, kClaims, i));
  const Slot slot = Scheduled(kClaims, i);
  const bool deleted = r.Chance(options_.deletedShare);
  const bool outside = r.Chance(options_.outsideShare);
  const bool clean = slot.finding == Finding::kNone;

  // The risk the claim belongs to, skipping risks whose ticket is spoilt.
  std::uint64_t risk = r.Below(options_.risks);
  for (std::uint32_t tries = 0; options_.risks > 0 && tries < options_.risks &&
                                RiskLosesTicket(static_cast<std::uint32_t>(risk));
       ++tries)
    risk = (risk + 1) % options_.risks;
  if (options_.risks == 0) risk = i;  // no risk holds it: every claim lacks its ticket

  const int notice = clean && outside
                         ? endDay_ + 1 + static_cast<int>(r.Below(60))
                         : startDay_ + static_cast<int>(r.Below(endDay_ - startDay_ + 1));
  const int occurrence = notice - static_cast<int>(r.Below(121));
  const bool paid = r.Chance(0.75);
  const int payment = notice + 3 + static_cast<int>(r.Below(43));
  const std::size_t nature = r.Weighted(kNatureWeights);
  const auto& coverages = kCoverages[nature];
  std::uint64_t value = 0;
  if (nature == 0)
    value = kDeathIndemnity;
  else if (nature == 1)
    value = kDeathIndemnity / 20 + r.Below(kDeathIndemnity - kDeathIndemnity / 20 + 1);
  else
    value = 5000 + r.Below(kMedicalCap - 5000 + 1);
  const int noticeYear = CivilFromDays(notice).y;

  auto& v = out.values;
  v.resize(ClaimFields().size());
  v[kSCodSeg] = options_.insurer;
  v[kSBilhete] = Ticket(risk, options_.ticketOrder);
  v[kSNumSin] = Digits(noticeYear, 4) + Digits((i + 1) % 100000000, 8);
  v[kSDataOco] = DateText(occurrence);
  v[kSDataAvi] = DateText(notice);
  v[kSDataPag] = paid ? DateText(payment) : "00000000";  // eight zeros: not paid yet
  v[kSNatureza] = std::string(1, static_cast<char>('1' + nature));
  v[kSCobertura] = coverages[r.Below(coverages.size())];
  v[kSUfOco] = kUfs[r.Below(kUfs.size())].code;
  v[kSIdade] = r.Chance(0.15) ? std::string() : std::to_string(1 + r.Below(95));
  v[kSValSinist] = Money(paid ? value : 0);

  const std::uint64_t n = slot.occurrence;
  switch (slot.finding) {
    case Finding::kNone:
    case Finding::kTariff:
      break;
    case Finding::kMissing: {
      static constexpr ClaimField kBlank[] = {kSNumSin, kSValSinist, kSDataOco, kSUfOco};
      v[kBlank[n % 4]].clear();
      break;
    }
    case Finding::kWidth:
      DropLast(v[n % 2 == 0 ? kSNumSin : kSBilhete]);
      break;
    case Finding::kDate:
      switch (n % 3) {
        case 0:
          v[kSDataOco] = v[kSDataOco].substr(0, 4) + "0230";
          break;
        case 1:
          v[kSDataPag] = Digits(noticeYear, 4) + "1131";
          break;
        default:
          v[kSDataAvi] = Digits(noticeYear, 4) + "0931";
          break;
      }
      break;
    case Finding::kDomain:
      switch (n % 3) {
        case 0:
          v[kSNatureza] = "4";
          break;
        case 1:
          v[kSCobertura] = kCoverages[(nature + 1) % kCoverages.size()].front();
          break;
        default:
          v[kSCobertura] = "999";
          break;
      }
      break;
    case Finding::kNoTicket:
      v[kSBilhete] = Ticket(static_cast<std::uint64_t>(options_.risks) + i, options_.ticketOrder);
      break;
  }
  out.deleted = clean && deleted;
  out.finding = slot.finding;
}

namespace {

// Sums and counts of one written record, as the reconciliation reads them.
class SummaryBuilder {
 public:
  explicit SummaryBuilder(const DeliveryOptions& o) : start_(o.periodStart), end_(o.periodEnd) {}

  void AddRisk(const GeneratedRecord& rec) {
    ++s_.risks;
    ++s_.riskFindings[static_cast<std::size_t>(rec.finding)];
    if (rec.deleted) {
      ++s_.deletedRisks;
      return;
    }
    if (InPeriod(rec.values[kRDataComp] + "01") && !rec.values[kRValPrem].empty()) {
      s_.premiums += MoneyValue(rec.values[kRValPrem]);
      ++s_.premiumRecords;
    }
  }
  void AddClaim(const GeneratedRecord& rec) {
    ++s_.claims;
    ++s_.claimFindings[static_cast<std::size_t>(rec.finding)];
    if (rec.deleted) {
      ++s_.deletedClaims;
      return;
    }
    if (InPeriod(rec.values[kSDataAvi]) && !rec.values[kSValSinist].empty()) {
      s_.claimValues += MoneyValue(rec.values[kSValSinist]);
      ++s_.claimRecords;
    }
  }
  const DeliverySummary& Result() const { return s_; }

 private:
  // Blank-padded text compared with the AAAAMMDD bounds, as the run compares it.
  bool InPeriod(std::string date) const {
    date.resize(8, ' ');
    return date >= start_ && date <= end_;
  }
  std::string start_, end_;
  DeliverySummary s_;
};

}  // namespace

DeliverySummary WriteDeliveryDbf(const DeliveryGenerator& g, const std::string& folder) {
  SummaryBuilder sum(g.Options());
  GeneratedRecord rec;
  DbfWriter risks(DeliveryGenerator::RiskFields());
  risks.StreamTo(folder + "/riscos.dbf");
  for (std::uint32_t i = 0; i < g.Options().risks; ++i) {
    g.Risk(i, rec);
    risks.AddRecord(rec.values, rec.deleted);
    sum.AddRisk(rec);
  }
  risks.Finish();
  DbfWriter claims(DeliveryGenerator::ClaimFields());
  claims.StreamTo(folder + "/sinistros.dbf");
  for (std::uint32_t i = 0; i < g.Options().claims; ++i) {
    g.Claim(i, rec);
    claims.AddRecord(rec.values, rec.deleted);
    sum.AddClaim(rec);
  }
  claims.Finish();
  return sum.Result();
}

DeliverySummary SummarizeDelivery(const DeliveryGenerator& g) {
  SummaryBuilder sum(g.Options());
  GeneratedRecord rec;
  for (std::uint32_t i = 0; i < g.Options().risks; ++i) g.Risk(i, rec), sum.AddRisk(rec);
  for (std::uint32_t i = 0; i < g.Options().claims; ++i) g.Claim(i, rec), sum.AddClaim(rec);
  return sum.Result();
}

std::string DeliveryTsv(const DeliveryGenerator& g, bool risks) {
  const auto& fields = risks ? DeliveryGenerator::RiskFields() : DeliveryGenerator::ClaimFields();
  std::string out = "# Gerado por tolk-gerar --amostra --tsv (semente " +
                    std::to_string(g.Options().seed) + "); não editar à mão.\n*";
  for (const auto& f : fields) {
    out += '\t' + f.name + ':' + f.type + ':' + std::to_string(f.width);
    if (f.decimals) out += ':' + std::to_string(f.decimals);
  }
  out += '\n';
  GeneratedRecord rec;
  const std::uint32_t n = risks ? g.Options().risks : g.Options().claims;
  for (std::uint32_t i = 0; i < n; ++i) {
    risks ? g.Risk(i, rec) : g.Claim(i, rec);
    if (rec.deleted) out += '*';
    for (const auto& v : rec.values) out += '\t' + v;
    out += '\n';
  }
  return out;
}

}  // namespace tolk::tools
