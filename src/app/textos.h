// The log's fixed texts, held in Windows-1252 (the sources are UTF-8), and
// the names the run gives the window for what it is reading.
#pragma once

#include <string>

namespace tolk::textos {

const std::string& Cp(const char* utf8);  // the text converted once and kept

// The opening and closing lines.
inline const std::string& Inicio() { return Cp("Início do processamento: "); }
inline const std::string& Fim() { return Cp("Fim do processamento: "); }
inline const std::string& Empresa() { return Cp("Empresa: "); }
inline const std::string& Finalizada() { return Cp("Crítica finalizada."); }
inline const std::string& PremiosInconsistentes() {
  return Cp("Número de prêmios com classe(s) Tarifária(s) e Valor(es) inconsistente(s) : ");
}
inline const std::string& Totalizando() { return Cp("Totalizando R$ "); }
inline const std::string& Faltando() { return Cp("Arquivo de sinistros ou de riscos faltando."); }

// The tables.
inline const std::string& EstruturaIncorreta() {
  return Cp("Erro: estrutura incorreta na tabela ");
}
inline const std::string& MaisDeUmaEmpresa() {
  return Cp("Erro: mais de uma empresa encontrada no arquivo da tabela ");
}
inline const std::string& TotalRegistros() { return Cp("Total de registros : "); }
inline const std::string& CabecalhoResumo() {
  return Cp(
      "Tabela              Campo               ErroNulo            %                   "
      "ErroDom             %                   ");
}

// The cross-check: "<n> sinistros sem bilhete no período, num total de <m> sinistros (<p>%)."
inline const std::string& SemBilhete() {
  return Cp(" sinistros sem bilhete no período, num total de ");
}
inline const std::string& SinistrosAbre() { return Cp(" sinistros ("); }
inline const std::string& SinistrosFecha() { return Cp("%)."); }

// The reconciliation.
inline const std::string& EmpresaErro() { return Cp("Erro: empresa "); }
inline const std::string& NaoEncontradaNoDadosOrb() {
  return Cp(" não encontrada no arquivo DadosOrb.DBF");
}
inline const std::string& TestePremios() { return Cp("Teste de Prêmios Emitidos:"); }
inline const std::string& CabecalhoPremios() {
  return Cp(
      "TOLK  -  Valor ORB                     Valor ZAV                     Diferença (%)          "
      "       ");
}
inline const std::string& PremiosZerados() { return Cp("Total de prêmios zerado !"); }
inline const std::string& TesteSinistros() { return Cp("Teste de Sinistros Pagos:"); }
inline const std::string& CabecalhoSinistros() {
  return Cp(
      "Ramo      Valor ORB                     Valor ZAV                     Diferença (%)         "
      "        ");
}
inline const std::string& SinistrosZerados() { return Cp("Total de sinistros zerado !"); }
inline const std::string& TotalRs() { return Cp("Total R$  "); }

// What the window is told the run is reading.
inline const std::string& LendoIndice() { return Cp("Índice"); }
inline const std::string& LendoBilhetes() { return Cp("Bilhetes"); }
inline const std::string& LendoPremios() { return Cp("Prêmios"); }
inline const std::string& LendoSinistros() { return Cp("Sinistros"); }

}  // namespace tolk::textos
