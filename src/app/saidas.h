// What the fronts write besides the log on screen: the exported log, and the
// files an export (or any output of tolk-critica) must never replace. Both
// fronts call these, so the window and the terminal refuse the same names and
// write the same bytes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/run_window.h"

namespace tolk {

// The exported log: the lines as the run wrote them (Windows-1252), each
// followed by CR LF, the last one too; an empty log is an empty file.
std::string TextoExportado(const std::vector<std::string>& lines);

// A file a run reads or writes, and how a message names it (UTF-8, with its
// article: "o arquivo de riscos").
struct ArquivoDaCritica {
  std::string papel;
  std::string caminho;
};

// The files a run with these parameters reads: the two boxes' files (when
// not blank), and tabelas.dbf, anexos.dbf and DadosOrb.DBF in the program
// folder.
std::vector<ArquivoDaCritica> ArquivosLidos(const RunParameters& params);
// Those, and bilhete.ntx in PastaDoIndice, which the run writes.
std::vector<ArquivoDaCritica> ArquivosDaCritica(const RunParameters& params);

// The folder bilhete.ntx goes into, ending with the separator: the program
// folder when the user may write there; otherwise (a program installed where
// only the administrator writes) tolk-zav in the user's cache folder, so that
// the run still reaches its cross-check. The dictionary, the figures and the
// help stay in the program folder either way.
std::string PastaDoIndice(const std::string& programFolder);

// Whether two names lead to the same file: the same existing file (also
// through hard or symbolic links), or, when it does not exist yet, the same
// name once links are followed and the name is made absolute.
bool MesmoArquivo(const std::string& a, const std::string& b);

// The file of the run that writing `output` would replace, if any. Writing
// over any of them loses the delivery or breaks every later run.
std::optional<ArquivoDaCritica> SaidaProibida(const std::string& output,
                                              const std::vector<ArquivoDaCritica>& arquivos);

}  // namespace tolk
