// The claims-to-ticket cross-check: an NTX index over the risks table's
// BILHETE, and one exact seek per claim.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <system_error>

#include "app/Critica.h"
#include "app/indice_antecipado.h"
#include "app/log_text.h"
#include "app/saidas.h"
#include "app/textos.h"
#include "dataset/radix_sort.h"
#include "dataset/text.h"
#include "ntx/TXQNTXIndex.h"
#include "ntx/ntx_errors.h"
#include "platform/file.h"
#include "platform/mapping.h"
#include "platform/system.h"

namespace tolk {

namespace {

// Claims sought together: larger batches share more pages of a large tree.
// About 6 MB, whatever the delivery.
constexpr std::size_t kLoteBilhetes = 65536;

// Memory for a batch's larger buffers, offered large pages (below); a
// buffer takes whole large pages, so the smallest keeps small ones.
template <class T>
struct MemoriaGrande {
  using value_type = T;
  MemoriaGrande() = default;
  template <class U>
  MemoriaGrande(const MemoriaGrande<U>&) {}
  static std::size_t Bytes(std::size_t n) {
    const std::size_t page = mapping::kLargePage;
    return (n * sizeof(T) + page - 1) / page * page;
  }
  T* allocate(std::size_t n) { return reinterpret_cast<T*>(mapping::MapZeroed(Bytes(n))); }
  void deallocate(T* p, std::size_t n) {
    mapping::UnmapZeroed(reinterpret_cast<std::uint8_t*>(p), Bytes(n));
  }
  template <class U>
  bool operator==(const MemoriaGrande<U>&) const {
    return true;
  }
};
template <class T>
using VetorGrande = std::vector<T, MemoriaGrande<T>>;

// The claims' tickets sought a batch at a time, in the order of the
// tickets: tickets close in that order share the upper pages of the tree,
// which a large tree no longer keeps in the processor's caches when the
// seeks jump about it. The claims without a ticket are still told in record
// order, each once.
class LoteDeBilhetes {
 public:
  // `procura` seeks a ticket, `procuraVarios` several, each on its own;
  // `semBilhete` hears of each claim whose ticket was not found: its record
  // and, with `textos`, its ticket as stored.
  using ProcuraVarios = std::function<void(std::span<const Variant* const>, std::span<bool>)>;
  // Memory for batches of up to `sinistros` claims (at most kLoteBilhetes),
  // taken and touched now: the system hands out fresh memory a page at a
  // time, at a cost that shows when paid on the first batch's way. In small
  // pages a full batch costs some twenty milliseconds of faults, which
  // large pages, where the system gives them, spare.
  explicit LoteDeBilhetes(std::size_t sinistros) {
    const std::size_t n = std::min(sinistros, kLoteBilhetes);
    lote_.reserve(kLoteBilhetes);
    ordem_.reserve(kLoteBilhetes);
    auxiliar_.reserve(kLoteBilhetes);
    valores_.reserve(kLoteBilhetes);
    lote_.resize(n);
    lote_.clear();
    ordem_.resize(n);
    auxiliar_.resize(n);
    valores_.resize(n);
    valores_.clear();
    achados_.reset(new bool[kLoteBilhetes]());
  }
  void Liga(std::function<bool(const Variant&)> procura, ProcuraVarios procuraVarios,
            std::function<void(std::uint32_t, const std::string&)> semBilhete, bool textos) {
    procura_ = std::move(procura);
    procuraVarios_ = std::move(procuraVarios);
    semBilhete_ = std::move(semBilhete);
    guardaTextos_ = textos;
  }

  // The claim `recno`, its ticket read into the returned value; `texto` is
  // kept only when the texts are wanted.
  Variant& Adiciona(std::uint32_t recno, std::string texto) {
    if (guardaTextos_) textos_.push_back(std::move(texto));
    Sinistro& s = lote_.emplace_back();
    s.recno = recno;
    return s.valor;
  }
  bool Cheio() const { return lote_.size() == kLoteBilhetes; }

  // Seeks the batch and tells its claims without a ticket. However it ends,
  // its claims are done with: none is told twice.
  void Fecha() {
    struct Esvazia {
      LoteDeBilhetes& l;
      ~Esvazia() {
        l.lote_.clear();
        l.textos_.clear();
      }
    } esvazia{*this};
    Ordena();
    try {
      // The whole batch at once, in the tickets' order.
      valores_.clear();
      for (const Chave& c : ordem_) valores_.push_back(&lote_[c.sinistro].valor);
      procuraVarios_(valores_, std::span(achados_.get(), valores_.size()));
      for (std::size_t k = 0; k < ordem_.size(); ++k)
        lote_[ordem_[k].sinistro].achado = achados_[k];
    } catch (...) {
      // A seek that fails must fail where it would have failed in record
      // order, after the findings before it: the batch is sought again so.
      for (std::size_t i = 0; i < lote_.size(); ++i) {
        Procura(lote_[i]);
        Relata(i);
      }
      return;
    }
    for (std::size_t i = 0; i < lote_.size(); ++i) Relata(i);
  }

 private:
  struct Sinistro {
    Variant valor;
    std::uint32_t recno = 0;
    bool achado = false;
  };
  // The ticket's first sixteen bytes as two big-endian numbers, and the
  // claim: for tickets of up to sixteen bytes their order in the tree.
  struct Chave {
    std::uint64_t alta, baixa;
    std::uint32_t sinistro;
  };

  void Ordena() {
    ordem_.clear();
    for (std::uint32_t i = 0; i < lote_.size(); ++i) {
      const Variant& v = lote_[i].valor;
      const std::string_view t =
          v.Type() == VarType::String ? std::string_view(v.Str()) : std::string_view();
      auto palavra = [&t](std::size_t de) {
        std::uint64_t w = 0;
        for (std::size_t k = de; k < de + 8; ++k)
          w = (w << 8) | (k < t.size() ? static_cast<unsigned char>(t[k]) : 0u);
        return w;
      };
      ordem_.push_back({palavra(0), palavra(8), i});
    }
    auxiliar_.resize(ordem_.size());
    RadixSort<2>(ordem_, auxiliar_, ordem_.size(), [](const Chave& c, std::size_t palavra) {
      return palavra == 0 ? c.alta : c.baixa;
    });
  }
  void Procura(Sinistro& s) { s.achado = procura_(s.valor); }
  void Relata(std::size_t i) {
    static const std::string kNenhum;
    if (!lote_[i].achado) semBilhete_(lote_[i].recno, guardaTextos_ ? textos_[i] : kNenhum);
  }

  std::function<bool(const Variant&)> procura_;
  ProcuraVarios procuraVarios_;
  std::function<void(std::uint32_t, const std::string&)> semBilhete_;
  bool guardaTextos_ = false;
  VetorGrande<Sinistro> lote_;
  std::vector<std::string> textos_;
  VetorGrande<Chave> ordem_;
  VetorGrande<Chave> auxiliar_;          // the sort's second buffer
  std::vector<const Variant*> valores_;  // the tickets in their order, and their answers
  std::unique_ptr<bool[]> achados_;
};

// The index "bilhete" over the open risks table, to be built into bilhete.ntx
// in the index's folder (made when first needed, for the user alone; if it
// cannot be, the create of the index says why). Not built yet.
TXQNTXIndex& PreparaIndice(const Execucao& x, TXQDBFNTX& riscos) {
  const std::string pasta = PastaDoIndice(x.params.programFolder);
  if (pasta != x.params.programFolder) {
    std::error_code ec;
    if (std::filesystem::create_directories(PathOf(pasta), ec))
      std::filesystem::permissions(PathOf(pasta), std::filesystem::perms::owner_all, ec);
  }
  const std::string ntxPath = pasta + "bilhete.ntx";
  // The build writes a file of its own and moves it over bilhete.ntx when it
  // is whole: a link at that name is replaced, never written through. A name
  // that is itself one of the run's files (the risks file kept in the
  // program folder as bilhete.ntx, or a hard link to it) would lose that
  // file's name, and perhaps the file: refused.
  std::error_code ec;
  if (!std::filesystem::is_symlink(std::filesystem::symlink_status(PathOf(ntxPath), ec)))
    for (const ArquivoDaCritica& f : ArquivosLidos(x.params))
      if (f.caminho == ntxPath ||
          std::filesystem::equivalent(PathOf(ntxPath), PathOf(f.caminho), ec))
        ntx::RaiseCreateError("bilhete", "bilhete.ntx é " + f.papel);

  auto& indice = dynamic_cast<TXQNTXIndex&>(riscos.Indexes.Add("bilhete"));
  indice.SetKeyExpresion("bilhete");
  indice.SetNTXFileName(ntxPath);
  // The build reads the whole risks table before the first seek: the window
  // hears how far it got, as it does while the tables are read.
  indice.OnBuildProgress = [&x](std::uint32_t lidos) {
    x.window.RecordsRead(textos::LendoIndice(), lidos);
  };
  // The tables are open exclusively, so nobody else reads the index while
  // the claims are sought: the build need not write the file out before the
  // first seek. The tree is built in the file itself, mapped, and the page
  // cache writes it; where the file cannot be mapped so, the tree is held in
  // memory and a thread writes the file meanwhile. Whatever follows that the
  // run would not have shown after a failed build (a finding, the count,
  // another error) waits for the file first, so a full disk still reads as
  // the build's own error.
  indice.WriteInBackground = true;
  return indice;
}

}  // namespace

Critica::~Critica() { DescartaIndice(); }

void Critica::AntecipaIndice(const Execucao& x) {
  DescartaIndice();
  const RunParameters& p = x.params;
  if (TrimView(p.riskPath).empty() || TrimView(p.claimPath).empty()) return;
  // A claims table in the risks table's own file would find it locked by the build.
  std::error_code ec;
  if (std::filesystem::equivalent(PathOf(p.riskPath), PathOf(p.claimPath), ec) || ec) return;
  try {
    // The risks table opens through the open tbDados holds: the same file,
    // under the same exclusive lock, which outlives tbDados's close.
    tbRiscos.DBFFileName = p.riskPath;
    tbRiscos.SameFileAs = &tbDados;
    tbRiscos.Open();
    tbRiscos.SameFileAs = nullptr;
    antecipado_ = std::make_unique<IndiceAntecipado>(PreparaIndice(x, tbRiscos));
  } catch (...) {
    // No thread, no file, a refused name: the cross-check does it all itself.
    tbRiscos.SameFileAs = nullptr;
    DescartaIndice();
  }
}

void Critica::DescartaIndice() {
  antecipado_.reset();
  Fecha({&tbRiscos});
}

void Critica::AntecipaConfronto(const Execucao& x) {
  confronto_.reset();
  auto confronto = std::make_unique<ConfrontoAntecipado>(x.window);
  const EstadoCritica antes = estado_;
  try {
    // The risks table opens through the build's open of it, as tbRiscos
    // opened through tbDados's.
    tbPremios.SameFileAs = &tbRiscos;
    ConfrontaDadosOrb(Execucao{x.params, *confronto, x.achados}, tbPremios);
    confronto->estado = estado_;
    confronto_ = std::move(confronto);
  } catch (...) {
    Fecha({&tbPremios, &tbSinistros, &tbDadosOrb});
  }
  tbPremios.SameFileAs = nullptr;
  estado_ = antes;
}

void Critica::CruzaBilhetes(const Execucao& x) {
  // The index built ahead is the one this stage would build: the same
  // table, read under the same lock since its rules. Any failure of that
  // build is forgotten, and this stage meets it again, in its own order.
  if (antecipado_) AntecipaConfronto(x);
  LoteDeBilhetes lote(static_cast<std::size_t>(std::max(estado_.totalSinistros, 0)));
  const bool antecipado = antecipado_ && antecipado_->Espera(x.window);
  if (!antecipado) {
    DescartaIndice();
    tbRiscos.DBFFileName = x.params.riskPath;
    tbRiscos.Open();
  }
  antecipado_.reset();
  tbSinistros.DBFFileName = x.params.claimPath;
  tbSinistros.Open();
  if (!antecipado) PreparaIndice(x, tbRiscos).SetCreateNow(true);
  auto& indice = dynamic_cast<TXQNTXIndex&>(tbRiscos.Indexes[0]);

  std::int32_t semBilhete = 0;
  const TField* bilhete = nullptr;
  lote.Liga([this](const Variant& v) { return tbRiscos.FindKey(std::span<const Variant>(&v, 1)); },
            [this](std::span<const Variant* const> v, std::span<bool> achados) {
              tbRiscos.FindEachKey(v, achados);
            },
            [&](std::uint32_t recno, const std::string& texto) {
              ++semBilhete;
              if (!x.achados) return;
              indice.WaitWritten();
              x.Report(NomeDaTabela(false), tbSinistros.DBFFileName, "sem_bilhete", recno,
                       bilhete->FieldName(), texto);
            },
            x.achados);
  long long lidos = 0;
  try {
    try {
      for (tbSinistros.First(); !tbSinistros.Eof(); tbSinistros.Next()) {
        if ((++lidos & 8191) == 0) x.window.RecordsRead(textos::LendoBilhetes(), lidos);
        if (tbSinistros.Deleted()) continue;
        if (!bilhete) bilhete = &tbSinistros.FieldByName("bilhete");
        const auto recno = static_cast<std::uint32_t>(tbSinistros.RecNo());
        bilhete->GetVariant(
            lote.Adiciona(recno, x.achados ? StoredText(tbSinistros, *bilhete) : std::string()));
        if (lote.Cheio()) lote.Fecha();
      }
    } catch (...) {
      // An error while the claims are read comes after the findings of the
      // claims read before it, as it would one claim at a time.
      lote.Fecha();
      throw;
    }
    lote.Fecha();
  } catch (...) {
    indice.WaitWritten();
    throw;
  }
  indice.WaitWritten();
  estado_.cruzamentoFeito = true;
  estado_.semBilhete = semBilhete;

  Linhas linhas;
  AbreBloco(linhas);
  if (estado_.totalSinistros != 0) {
    const double share = static_cast<double>(semBilhete * 100) / estado_.totalSinistros;
    linhas.push_back(CountText(semBilhete) + textos::SemBilhete() +
                     CountText(estado_.totalSinistros) + textos::SinistrosAbre() +
                     AmountText(share, x.fs()) + textos::SinistrosFecha());
  }
  linhas.emplace_back();
  x.Add(linhas);

  tbRiscos.Indexes.Delete(0);
  tbRiscos.DBFIndexDefs.Delete(0);
  tbRiscos.Close();
  tbSinistros.Close();
  RemoveFile(x.params.programFolder + "apolice.ntx");  // whether it was there is not asked
}

}  // namespace tolk
