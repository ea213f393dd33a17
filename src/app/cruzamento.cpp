// The claims-to-ticket cross-check: an NTX index over the risks table's
// BILHETE, and one exact seek per claim.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>
#include <system_error>

#include "app/Critica.h"
#include "app/log_text.h"
#include "app/saidas.h"
#include "app/textos.h"
#include "ntx/TXQNTXIndex.h"
#include "ntx/ntx_errors.h"

namespace tolk {

namespace {
// Claims sought together: larger batches share more pages of a large tree.
// About 6 MB, whatever the delivery.
constexpr std::size_t kLoteBilhetes = 65536;
}  // namespace

void Critica::CruzaBilhetes() {
  const std::string& pasta = params_->programFolder;
  tbRiscos.DBFFileName = params_->riskPath;
  tbSinistros.DBFFileName = params_->claimPath;
  tbRiscos.Open();
  tbSinistros.Open();

  // The build writes a file of its own and moves it over bilhete.ntx when it
  // is whole: a link at that name is replaced, never written through. A name
  // that is itself one of the run's files (the risks file kept in the
  // program folder as bilhete.ntx, or a hard link to it) would lose that
  // file's name, and perhaps the file: refused.
  const std::string ntxPath = pasta + "bilhete.ntx";
  std::error_code ec;
  if (!std::filesystem::is_symlink(std::filesystem::symlink_status(ntxPath, ec)))
    for (const ArquivoDaCritica& f : ArquivosLidos(*params_))
      if (f.caminho == ntxPath || std::filesystem::equivalent(ntxPath, f.caminho, ec))
        ntx::RaiseCreateError("bilhete", "bilhete.ntx é " + f.papel);

  auto& indBilhete = dynamic_cast<TXQNTXIndex&>(tbRiscos.Indexes.Add("bilhete"));
  indBilhete.SetKeyExpresion("bilhete");
  indBilhete.SetNTXFileName(ntxPath);
  // The build reads the whole risks table before the first seek: the window
  // hears how far it got, as it does while the tables are read.
  const std::string& indice = textos::Cp("Índice");
  indBilhete.OnBuildProgress = [this, &indice](std::uint32_t lidos) {
    window_->RecordsRead(indice, lidos);
  };
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

  // The claims are sought a batch at a time, in the order of their tickets:
  // tickets close in that order share the upper pages of the tree, which a
  // large tree no longer keeps in the processor's caches when the seeks jump
  // about it. The findings still come in record order.
  struct Sinistro {
    Variant valor;
    std::uint32_t recno;
    bool achado;
  };
  std::vector<Sinistro> lote;
  std::vector<std::string> textos;  // each claim's ticket as stored, when findings are wanted
  lote.reserve(kLoteBilhetes);
  // The ticket's first sixteen bytes as two big-endian numbers, and the
  // claim: for tickets of up to sixteen bytes their order in the tree.
  struct Chave {
    std::uint64_t alta, baixa;
    std::uint32_t sinistro;
    bool operator<(const Chave& o) const {
      return alta != o.alta ? alta < o.alta : baixa < o.baixa;
    }
  };
  std::vector<Chave> ordem;
  std::int32_t semBilhete = 0;
  const TField* bilhete = nullptr;
  auto procura = [&](Sinistro& s) {
    s.achado = tbRiscos.FindKey(std::span<const Variant>(&s.valor, 1));
  };
  auto relata = [&](std::size_t i) {
    if (lote[i].achado) return;
    ++semBilhete;
    if (wantsFindings_) {
      indBilhete.WaitWritten();
      Report(NomeDaTabela(false), "sem_bilhete", lote[i].recno, bilhete->FieldName(), textos[i]);
    }
  };
  auto fechaLote = [&] {
    // However the batch ends, its claims are done with: none is reported twice.
    struct Esvazia {
      std::vector<Sinistro>& lote;
      std::vector<std::string>& textos;
      ~Esvazia() {
        lote.clear();
        textos.clear();
      }
    } esvazia{lote, textos};
    ordem.clear();
    for (std::uint32_t i = 0; i < lote.size(); ++i) {
      const Variant& v = lote[i].valor;
      const std::string_view t =
          v.Type() == VarType::String ? std::string_view(v.Str()) : std::string_view();
      auto palavra = [&t](std::size_t de) {
        std::uint64_t w = 0;
        for (std::size_t k = de; k < de + 8; ++k)
          w = (w << 8) | (k < t.size() ? static_cast<unsigned char>(t[k]) : 0u);
        return w;
      };
      ordem.push_back({palavra(0), palavra(8), i});
    }
    std::sort(ordem.begin(), ordem.end());
    try {
      for (const Chave& c : ordem) procura(lote[c.sinistro]);
    } catch (...) {
      // A seek that fails must fail where it would have failed in record
      // order, after the findings before it: the batch is sought again so.
      for (std::size_t i = 0; i < lote.size(); ++i) {
        procura(lote[i]);
        relata(i);
      }
      return;
    }
    for (std::size_t i = 0; i < lote.size(); ++i) relata(i);
  };
  long long lidos = 0;
  try {
    try {
      for (tbSinistros.First(); !tbSinistros.Eof(); tbSinistros.Next()) {
        if ((++lidos & 8191) == 0) window_->RecordsRead("Bilhetes", lidos);
        if (tbSinistros.Deleted()) continue;
        if (!bilhete) bilhete = &tbSinistros.FieldByName("bilhete");
        Sinistro& s = lote.emplace_back();
        s.recno = static_cast<std::uint32_t>(tbSinistros.RecNo());
        bilhete->GetVariant(s.valor);
        if (wantsFindings_) textos.push_back(StoredText(tbSinistros, *bilhete));
        if (lote.size() == kLoteBilhetes) fechaLote();
      }
    } catch (...) {
      // An error while the claims are read comes after the findings of the
      // claims read before it, as it would one claim at a time.
      fechaLote();
      throw;
    }
    fechaLote();
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
        CountText(estado_.totalSinistros) + " sinistros (" + AmountText(share, params_->regional) +
        "%).");
  }
  Add("");

  tbRiscos.Indexes.Delete(0);
  tbRiscos.DBFIndexDefs.Delete(0);
  tbRiscos.Close();
  tbSinistros.Close();
  std::remove((pasta + "apolice.ntx").c_str());  // whether it was there is not asked
}

}  // namespace tolk
