#include "app/log_text.h"

#include "app/textos.h"
#include "dataset/number_format.h"

namespace tolk {

const std::string& SeparatorLine() {
  static const std::string line(110, '=');
  return line;
}

std::string AmountText(double value, const TFormatSettings& fs) {
  return FormatFixed(value, 2, fs.DecimalSeparator, fs.ThousandSeparator);
}

std::string CountText(std::int64_t value) { return std::to_string(value); }

std::string DateTimeText(double dateTime, const TFormatSettings& fs) {
  return DateTimeToStr(dateTime, fs);
}

std::string PadRight(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

void AbreBloco(Linhas& out) {
  out.push_back(SeparatorLine());
  out.emplace_back();
}

std::string LinhaResumo(std::string_view tabela, std::string_view campo, std::int32_t erroNulo,
                        std::int32_t erroDom, std::int32_t registros, const TFormatSettings& fs) {
  // The share as a real number: the product first, then the division.
  auto share = [&](std::int32_t n) {
    return AmountText(static_cast<double>(100LL * n) / registros, fs) + "%";
  };
  return PadRight(tabela, 20) + PadRight(campo, 20) + PadRight(CountText(erroNulo), 20) +
         PadRight(share(erroNulo), 20) + PadRight(CountText(erroDom), 20) +
         PadRight(share(erroDom), 20);
}

void AvisoFaltando(Linhas& out) {
  AbreBloco(out);
  out.push_back(textos::Faltando());
  out.emplace_back();
}

void BlocoComparacao(Linhas& out, const std::string& titulo, const std::string& cabecalho,
                     const std::string& zerado, double orb, double zav, const TFormatSettings& fs) {
  AbreBloco(out);
  out.push_back(titulo);
  out.push_back(cabecalho);
  out.emplace_back();
  if (zav == 0) {
    out.push_back(zerado);
    return;
  }
  out.push_back(textos::TotalRs() + PadRight(AmountText(orb, fs), 30) +
                PadRight(AmountText(zav, fs), 30) +
                PadRight(AmountText((orb - zav) / zav * 100, fs), 30));
}

void BlocoFinal(Linhas& out, std::int32_t inconsistentes, double somaInconsistentes, double fim,
                const TFormatSettings& fs) {
  out.emplace_back();
  AbreBloco(out);
  if (inconsistentes > 0) {
    out.push_back(textos::PremiosInconsistentes() + CountText(inconsistentes));
    out.push_back(textos::Totalizando() + AmountText(somaInconsistentes, fs));
    out.emplace_back();
  }
  out.push_back(textos::Fim() + DateTimeText(fim, fs));
  out.emplace_back();
  out.push_back(SeparatorLine());
}

}  // namespace tolk
