// The log's fixed texts, held in Windows-1252 (the sources are UTF-8).
#pragma once

#include <string>

namespace tolk::textos {

const std::string& Cp(const char* utf8);  // the text converted once and kept

inline const std::string& Inicio() { return Cp("Início do processamento: "); }
inline const std::string& Fim() { return Cp("Fim do processamento: "); }
inline const std::string& Faltando() { return Cp("Arquivo de sinistros ou de riscos faltando."); }
inline const std::string& EstruturaIncorreta() {
  return Cp("Erro: estrutura incorreta na tabela ");
}
inline const std::string& MaisDeUmaEmpresa() {
  return Cp("Erro: mais de uma empresa encontrada no arquivo da tabela ");
}
inline const std::string& TotalRegistros() { return Cp("Total de registros : "); }
inline const std::string& Finalizada() { return Cp("Crítica finalizada."); }
inline const std::string& PremiosInconsistentes() {
  return Cp("Número de prêmios com classe(s) Tarifária(s) e Valor(es) inconsistente(s) : ");
}
inline const std::string& Totalizando() { return Cp("Totalizando R$ "); }

}  // namespace tolk::textos
