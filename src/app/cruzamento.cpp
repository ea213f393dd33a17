// The claims-to-ticket cross-check: an NTX index over the risks table's
// BILHETE, and one exact seek per claim.
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

#include "app/Critica.h"
#include "app/log_text.h"
#include "app/textos.h"
#include "ntx/TXQNTXIndex.h"
#include "ntx/ntx_errors.h"

namespace tolk {

void Critica::CruzaBilhetes() {
  const std::string& pasta = params_->programFolder;
  tbRiscos.DBFFileName = params_->riskPath;
  tbSinistros.DBFFileName = params_->claimPath;
  tbRiscos.Open();
  tbSinistros.Open();

  // Building empties bilhete.ntx first. The two tables are open and locked,
  // so a name that leads to them is refused when the file is created; the
  // dictionary and the figures are closed by now, and a link to one of them
  // in the index's place would destroy it.
  for (const char* own : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"}) {
    std::error_code ec;
    if (std::filesystem::equivalent(pasta + "bilhete.ntx", pasta + own, ec)) ntx::RaiseCreateError("bilhete");
  }

  auto& indBilhete = dynamic_cast<TXQNTXIndex&>(tbRiscos.Indexes.Add("bilhete"));
  indBilhete.SetKeyExpresion("bilhete");
  indBilhete.SetNTXFileName(pasta + "bilhete.ntx");
  // The build reads the whole risks table before the first seek: the window
  // hears how far it got, as it does while the tables are read.
  const std::string& indice = textos::Cp("Índice");
  indBilhete.OnBuildProgress = [this, &indice](std::uint32_t lidos) { window_->RecordsRead(indice, lidos); };
  // The tables are open exclusively, so nobody else reads bilhete.ntx while
  // the claims are sought: the build need not write the file out before the
  // first seek. The tree is built in the file itself, mapped, and the page
  // cache writes it; where the file cannot be mapped so, the tree is held in
  // memory and a thread writes the file meanwhile. Whatever follows that the
  // run would not have shown after a failed build (a finding, the count,
  // another error) waits for the file first, so a full disk still reads as
  // the build's own error.
  indBilhete.WriteInBackground = true;
  indBilhete.SetCreateNow(true);

  std::int32_t semBilhete = 0;
  const TField* bilhete = nullptr;
  Variant valor;
  long long lidos = 0;
  try {
    for (tbSinistros.First(); !tbSinistros.Eof(); tbSinistros.Next()) {
      if ((++lidos & 8191) == 0) window_->RecordsRead("Bilhetes", lidos);
      if (tbSinistros.Deleted()) continue;
      if (!bilhete) bilhete = &tbSinistros.FieldByName("bilhete");
      bilhete->GetVariant(valor);
      if (!tbRiscos.FindKey(std::span<const Variant>(&valor, 1))) {
        ++semBilhete;
        if (wantsFindings_) {
          indBilhete.WaitWritten();
          Report(NomeDaTabela(false), "sem_bilhete", tbSinistros.RecNo(), bilhete->FieldName(),
                 StoredText(tbSinistros, *bilhete));
        }
      }
    }
  } catch (...) {
    indBilhete.WaitWritten();
    throw;
  }
  indBilhete.WaitWritten();
  estado_.cruzamentoFeito = true;
  estado_.semBilhete = semBilhete;

  Add(SeparatorLine());
  Add("");
  if (estado_.totalSinistros != 0) {
    const double share = static_cast<double>(semBilhete * 100) / estado_.totalSinistros;
    Add(CountText(semBilhete) + textos::Cp(" sinistros sem bilhete no período, num total de ") +
        CountText(estado_.totalSinistros) + " sinistros (" + AmountText(share, params_->regional) + "%).");
  }
  Add("");

  tbRiscos.Indexes.Delete(0);
  tbRiscos.DBFIndexDefs.Delete(0);
  tbRiscos.Close();
  tbSinistros.Close();
  std::remove((pasta + "apolice.ntx").c_str());  // whether it was there is not asked
}

}  // namespace tolk
