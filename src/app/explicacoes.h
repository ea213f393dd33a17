// One sentence in plain Portuguese beside the message of an error that ended
// a run: what happened and what the analyst can do. The message itself stays
// as the system raised it (the window shows both, the sentence first;
// tolk-critica prints the sentence on the line after the message).
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "app/run_window.h"

namespace tolk {

// What the sentence may need besides the message: the run's files, and the
// table the run was checking when it stopped (1 the risks table, another
// number the claims table, 0 none yet), which the message of a table read
// through the generic table component does not name.
struct ContextoErro {
  const RunParameters* params = nullptr;
  std::int32_t tabelaAtual = 0;
  // Why the system refused, where the message does not say (the error's
  // Exception::Reason).
  std::string motivo;
};

// The context of an error `e` raised by a run with these parameters and state.
ContextoErro ContextoDe(const std::exception& e, const RunParameters& params,
                        std::int32_t tabelaAtual);

// A message of the core for display, in UTF-8: as it stands when it is valid
// UTF-8 (file names come from the system as such), read as Windows-1252
// otherwise.
std::string MensagemUtf8(const std::string& message);

// The sentence (UTF-8) for `message`, or an empty text for a message the
// table does not know. A message that names a file that cannot be opened is
// told apart by looking at that file now: missing, a folder, not an ordinary
// file, not readable, or held by another program.
std::string ExplicaErro(const std::string& message, const ContextoErro& contexto);

// Said after a run whose two tables each had the other's structure
// (EstadoCritica::caixasTrocadas); the log itself does not change.
inline constexpr char kCaixasTrocadas[] =
    "Os arquivos parecem estar trocados: o arquivo indicado em “Arquivo de Riscos” tem a estrutura "
    "da tabela de sinistros, e o indicado em “Arquivo de Sinistros”, a da tabela de riscos. "
    "Troque-os "
    "de caixa e critique de novo.";

}  // namespace tolk
