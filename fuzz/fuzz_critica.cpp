// A whole validation run over a risks file made of arbitrary bytes, with
// the shipped-like fixed dictionary and a small valid claims file.
#include <cstdint>

#include "app/Critica.h"
#include "dataset/Exceptions.h"
#include "dataset/number_format.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/seed_tables.h"

namespace {

class NullWindow : public tolk::RunWindow {
 public:
  void AddLine(const std::string&) override {}
  void ReplaceLine(int, const std::string&) override {}
  void ClearLog() override {}
  void SetProgress(int) override {}
  void ShowFinalMessage(const std::string&) override {}
  bool WantsFindings() const override { return true; }
  void AddFinding(const tolk::Finding&) override {}
};

double Clock(void*) { return tolk::EncodeDate(2026, 12, 8) + 0.5; }

const std::string& Folder() {
  static const std::string folder = [] {
    tolk::fuzz::WriteProgramFolder(tolk::fuzz::ScratchFolder());
    return tolk::fuzz::ScratchFolder();
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolk::fuzz::MemFile risks(data, size);
  static tolk::Critica critica;  // kept across runs, as the window keeps it
  tolk::RunParameters p;
  p.riskPath = risks.Path();
  p.claimPath = Folder() + "sinistros.dbf";
  p.programFolder = Folder();
  p.clock = &Clock;
  NullWindow w;
  try {
    critica.Executa(p, w);
  } catch (const tolk::Exception&) {
  }
  return 0;
}
