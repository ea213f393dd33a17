// The record rules over the table in tbDados: one pass over its records,
// stopped by a record of another insurer, the rules of RegrasDaTabela on
// every other, counted per field into the dictionary's erroNulo and erroDom.
#include <cstring>
#include <optional>

#include "app/Critica.h"
#include "app/campo_lido.h"
#include "app/log_text.h"
#include "app/regras.h"
#include "app/textos.h"
#include "dataset/number_format.h"
#include "dataset/text.h"

namespace tolk {

void Critica::CriticaRegistros(const Execucao& x) {
  int ano, mes, dia;
  DecodeDate(x.params.Now(), ano, mes, dia);
  CarregaDominios(qelAnexos, domain_);
  RegrasDaTabela regras(qelEstrutTab, tbDados, estado_.tabelaAtual, domain_, x.fs(), ano);
  const std::string nome = Trim(estado_.nomeTabela);
  // A finding for a window that wants them: the field's stored text, and for
  // a domain the qualifying field's.
  auto achado = [&](const char* regra, int i) {
    if (!x.achados) return;
    const TField& f = tbDados.Fields()[i];
    const TField* qualificador = regras.Qualificador(i);
    const bool qualifica = std::strcmp(regra, "dominio") == 0 && qualificador;
    x.Report(nome, tbDados.DBFFileName, regra, tbDados.RecNo(), f.FieldName(),
             StoredText(tbDados, f),
             qualifica ? StoredText(tbDados, *qualificador) : std::string());
  };
  // The insurer of every record against the one of the first table opened.
  std::optional<CampoLido> codSeg;
  const Variant codSegValor(estado_.codSeg);
  auto outraSeguradora = [&] {
    if (!codSeg) codSeg.emplace(tbDados.FieldByName("cod_seg"));
    codSeg->Le();
    return !codSeg->Igual(estado_.codSeg, codSegValor);
  };
  const int progress = estado_.tabelaAtual == 1 ? 25 : 50;
  std::int32_t contagem = 0;
  try {
    for (; !tbDados.Eof(); tbDados.Next()) {
      ++contagem;
      x.window.SetProgress(progress);
      if (outraSeguradora()) {
        if (x.achados)
          x.Report(nome, tbDados.DBFFileName, "empresa", tbDados.RecNo(),
                   codSeg->Campo().FieldName(), StoredText(tbDados, codSeg->Campo()));
        x.Add(textos::MaisDeUmaEmpresa() + estado_.nomeTabela);
        estado_.criticaOk = 0;
        break;
      }
      regras.Aplica(achado);
      if ((contagem & 8191) == 0) x.window.RecordsRead(estado_.nomeTabela, contagem);
    }
  } catch (...) {
    regras.SomaContadores(qelEstrutTab);
    throw;
  }
  regras.SomaContadores(qelEstrutTab);
  x.window.RecordsRead(estado_.nomeTabela, contagem);
  x.Add(textos::TotalRegistros() + CountText(contagem));
  (estado_.tabelaAtual == 1 ? estado_.totalRiscos : estado_.totalSinistros) = contagem;
}

}  // namespace tolk
