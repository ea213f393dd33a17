// What a run does ahead of its turn: the build of the cross-check's index
// on a thread of its own, started while the record rules run
// (Critica::AntecipaIndice), and the reconciliation, run while that build
// ends and shown after the cross-check (Critica::AntecipaConfronto).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Critica.h"
#include "app/ocorrencias.h"
#include "app/textos.h"
#include "ntx/TXQNTXIndex.h"

namespace tolk {

// The thread alone touches the risks table and its index until Espera or
// Para has joined it; the window hears of the build only from the run's own
// thread, in Espera.
class Critica::IndiceAntecipado {
 public:
  explicit IndiceAntecipado(TXQNTXIndex& indice) : indice_(indice) {
    // Every 8192 records: how far the build got, and the moment to stop.
    indice_.OnBuildProgress = [this](std::uint32_t lidos) {
      lidos_.store(lidos, std::memory_order_relaxed);
      if (parar_.load(std::memory_order_relaxed)) throw Parado{};
    };
    thread_ = std::thread([this] { Constroi(); });
  }
  ~IndiceAntecipado() {
    Para();
    indice_.OnBuildProgress = nullptr;  // it names this object
  }
  IndiceAntecipado(const IndiceAntecipado&) = delete;
  IndiceAntecipado& operator=(const IndiceAntecipado&) = delete;

  // Waits for the build, telling the window how far it got, as a build on
  // the run's own thread would; whether the index was built.
  bool Espera(RunWindow& window) {
    // Meanwhile this thread inserts half of each batch beside the build,
    // while the build has batches left.
    for (bool ajuda = true;;) {
      {
        std::unique_lock<std::mutex> lock(m_);
        if (!ajuda) fim_.wait_for(lock, std::chrono::milliseconds(100), [this] { return feito_; });
        if (feito_) break;
      }
      if (ajuda) ajuda = indice_.HelpBuild(std::chrono::milliseconds(100));
      window.RecordsRead(textos::LendoIndice(), lidos_.load(std::memory_order_relaxed));
    }
    thread_.join();
    if (construido_) window.RecordsRead(textos::LendoIndice(), lidos_.load());
    return construido_;
  }
  // Ends the build where it is (its own file goes with it) and waits for it.
  void Para() {
    parar_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  struct Parado {};
  void Constroi() {
    try {
      indice_.SetCreateNow(true);
      construido_ = true;
    } catch (...) {
      // Stopped, or failed: the cross-check builds again and meets any
      // failure in its own order.
    }
    std::lock_guard<std::mutex> lock(m_);
    feito_ = true;
    fim_.notify_all();
  }

  TXQNTXIndex& indice_;
  std::atomic<std::uint32_t> lidos_{0};
  std::atomic<bool> parar_{false};
  bool construido_ = false;
  std::mutex m_;
  std::condition_variable fim_;
  bool feito_ = false;
  std::thread thread_;  // last: it starts once the rest is in place
};

// The reconciliation, run ahead: it takes what the reconciliation shows the
// log and the findings, and shows it to the run's window when the run
// reaches the reconciliation's turn. Progress goes straight through.
class Critica::ConfrontoAntecipado : public RunWindow {
 public:
  explicit ConfrontoAntecipado(RunWindow& janela) : janela_(janela) {}

  void AddLine(const std::string& line) override {
    linhas_.push_back({-1, line, achados_.Tamanho()});
  }
  void ReplaceLine(int index, const std::string& line) override {
    linhas_.push_back({index, line, achados_.Tamanho()});
  }
  // The reconciliation neither clears the log nor ends the run.
  void ClearLog() override {}
  void ShowFinalMessage(const std::string&) override {}
  void SetProgress(int position) override { janela_.SetProgress(position); }
  void RecordsRead(const std::string& table, long long count) override {
    janela_.RecordsRead(table, count);
  }
  bool WantsFindings() const override { return janela_.WantsFindings(); }
  void AddFinding(const Finding& f) override { achados_.Adiciona(f); }

  // Everything taken, in the order it came.
  void Mostra() const {
    std::size_t mostrados = 0;
    auto achadosAte = [&](std::size_t n) {
      for (; mostrados < n; ++mostrados) janela_.AddFinding(achados_.Achado(mostrados));
    };
    for (const Linha& l : linhas_) {
      achadosAte(l.achadosAntes);
      if (l.indice < 0)
        janela_.AddLine(l.texto);
      else
        janela_.ReplaceLine(l.indice, l.texto);
    }
    achadosAte(achados_.Tamanho());
  }

  // The run's state as the reconciliation left it.
  EstadoCritica estado;

 private:
  struct Linha {
    int indice;  // the line replaced; -1 for a line added
    std::string texto;
    std::size_t achadosAntes;  // the findings taken before it
  };
  RunWindow& janela_;
  std::vector<Linha> linhas_;
  Ocorrencias achados_;
};

}  // namespace tolk
