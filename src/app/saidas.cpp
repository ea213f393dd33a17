#include "app/saidas.h"

#include <filesystem>
#include <system_error>

#include "dataset/text.h"
#include "platform/system.h"

namespace tolk {

namespace fs = std::filesystem;

namespace {

// The name with every symbolic link followed, also a last one that leads
// nowhere yet (writing through it would create its target), made absolute.
fs::path Resolvido(const std::string& name) {
  std::error_code ec;
  fs::path p = fs::absolute(PathOf(name), ec);
  if (ec) return {};
  // A chain of links longer than the system follows is no file to write.
  for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++i) {
    fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  fs::path c = fs::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : c;
}

}  // namespace

std::string TextoExportado(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string bytes;
  bytes.reserve(size);
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

std::vector<ArquivoDaCritica> ArquivosLidos(const RunParameters& params) {
  std::vector<ArquivoDaCritica> files;
  if (!TrimView(params.riskPath).empty()) files.push_back({"o arquivo de riscos", params.riskPath});
  if (!TrimView(params.claimPath).empty())
    files.push_back({"o arquivo de sinistros", params.claimPath});
  for (const char* name : {"tabelas.dbf", "anexos.dbf", "DadosOrb.DBF"})
    files.push_back({std::string(name) + " da pasta do programa", params.programFolder + name});
  return files;
}

std::vector<ArquivoDaCritica> ArquivosDaCritica(const RunParameters& params) {
  std::vector<ArquivoDaCritica> files = ArquivosLidos(params);
  const std::string pasta = PastaDoIndice(params.programFolder);
  files.push_back({pasta == params.programFolder ? "bilhete.ntx da pasta do programa"
                                                 : "bilhete.ntx da pasta de cache do usuário",
                   pasta + "bilhete.ntx"});
  return files;
}

std::string PastaDoIndice(const std::string& programFolder) {
  if (FolderWritable(programFolder)) return programFolder;
  const std::string cache = UserCacheFolder();
  return cache.empty() ? programFolder : FolderWithSeparator(cache + "tolk-zav");
}

bool MesmoArquivo(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (fs::equivalent(PathOf(a), PathOf(b), ec)) return true;
  const fs::path ra = Resolvido(a), rb = Resolvido(b);
  return !ra.empty() && ra == rb;
}

std::optional<ArquivoDaCritica> SaidaProibida(const std::string& output,
                                              const std::vector<ArquivoDaCritica>& arquivos) {
  for (const ArquivoDaCritica& f : arquivos)
    if (MesmoArquivo(output, f.caminho)) return f;
  return std::nullopt;
}

}  // namespace tolk
