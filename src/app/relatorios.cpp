#include "app/relatorios.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "dataset/cp1252.h"
#include "dataset/text.h"

namespace tolk {

namespace {

std::string CsvCell(std::string_view cp1252, char sep) {
  std::string t = Cp1252ToUtf8(cp1252);
  if (t.find_first_of(std::string("\"\r\n") + sep) == std::string::npos) return t;
  std::string q = "\"";
  for (char c : t) {
    if (c == '"') q += '"';
    q += c;
  }
  q += '"';
  return q;
}

void JsonString(std::string& out, const std::string& utf8) {
  out += '"';
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

// Whether `s` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing past U+10FFFF.
bool WellFormedUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = at(0);
    std::size_t n = 1;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) {
      n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (s.size() - i < n || at(1) < lo || at(1) > hi) return false;
    for (std::size_t k = 2; k < n; ++k)
      if (at(k) < 0x80 || at(k) > 0xBF) return false;
    i += n;
  }
  return true;
}

// A file name is bytes; JSON text must be Unicode. A name that is not UTF-8
// (written under a legacy locale) is read as Windows-1252, as the window
// reads such messages.
std::string PathText(const std::string& bytes) {
  return WellFormedUtf8(bytes) ? bytes : Cp1252ToUtf8(bytes);
}

void JsonNumber(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// {"valor_orb": x, "valor_zav": y, "diferenca_pct": z|null}
void Comparison(std::string& out, bool ran, double orb, double zav) {
  if (!ran) {
    out += "null";
    return;
  }
  out += "{\"valor_orb\": ";
  JsonNumber(out, orb);
  out += ", \"valor_zav\": ";
  JsonNumber(out, zav);
  out += ", \"diferenca_pct\": ";
  if (zav == 0)
    out += "null";
  else
    JsonNumber(out, (orb - zav) / zav * 100);
  out += "}";
}

}  // namespace

std::string CsvHeader(char sep) {
  std::string s = "tabela";
  for (const char* c : {"registro", "campo", "regra", "valor", "qualificador"}) (s += sep) += c;
  return s + "\r\n";
}

std::string CsvRow(const Finding& f, char sep) {
  std::string s = CsvCell(f.table, sep);
  s += sep;
  s += std::to_string(f.record);
  s += sep;
  s += CsvCell(f.field, sep);
  s += sep;
  s += f.rule;
  s += sep;
  s += CsvCell(f.value, sep);
  s += sep;
  s += CsvCell(f.qualifier, sep);
  return s + "\r\n";
}

std::string JsonSummary(const EstadoCritica& e, const JsonInputs& in) {
  std::string o = "{\n  \"arquivos\": {\"riscos\": ";
  JsonString(o, PathText(in.riskPath));
  o += ", \"sinistros\": ";
  JsonString(o, PathText(in.claimPath));
  o += ", \"pasta\": ";
  JsonString(o, PathText(in.programFolder));
  o += "},\n  \"seguradora\": {\"cod_seg\": ";
  JsonString(o, Cp1252ToUtf8(e.codSeg));
  o += ", \"empresa\": ";
  if (e.empresaEncontrada)
    JsonString(o, Cp1252ToUtf8(Trim(e.empresa)));
  else
    o += "null";
  o += "},\n  \"tabelas\": [";
  for (std::size_t i = 0; i < e.tabelas.size(); ++i) {
    const ResumoTabela& t = e.tabelas[i];
    o += i ? ",\n    {" : "\n    {";
    o += "\"nome\": ";
    JsonString(o, Cp1252ToUtf8(t.nome));
    o += ", \"ordem\": " + std::to_string(t.ordem);
    o += std::string(", \"estrutura_ok\": ") + (t.estruturaOk ? "true" : "false");
    o += std::string(", \"uma_seguradora\": ") + (t.umaSeguradora ? "true" : "false");
    o += ", \"registros\": ";
    o += t.criticada ? std::to_string(t.registros) : "null";
    o += ", \"campos\": [";
    for (std::size_t k = 0; k < t.campos.size(); ++k) {
      const ResumoCampo& c = t.campos[k];
      o += k ? ", {\"campo\": " : "{\"campo\": ";
      JsonString(o, Cp1252ToUtf8(c.campo));
      o += ", \"erro_nulo\": " + std::to_string(c.erroNulo) +
           ", \"erro_dom\": " + std::to_string(c.erroDom) + "}";
    }
    o += "]}";
  }
  o += e.tabelas.empty() ? "],\n" : "\n  ],\n";
  o += "  \"cruzamento\": ";
  if (e.cruzamentoFeito)
    o += "{\"sem_bilhete\": " + std::to_string(e.semBilhete) +
         ", \"sinistros\": " + std::to_string(e.totalSinistros) + "}";
  else
    o += "null";
  o += ",\n  \"empresa_no_dadosorb\": ";
  o += e.confrontoFeito ? (e.empresaEncontrada ? "true" : "false") : "null";
  o += ",\n  \"premios\": ";
  Comparison(o, e.testePremios, e.totPr, e.somaPremios);
  o += ",\n  \"sinistros_pagos\": ";
  Comparison(o, e.testeSinistros, e.totSin, e.somaSinistros);
  o += ",\n  \"premios_inconsistentes\": {\"quantidade\": " + std::to_string(e.qtdPremInconsist) +
       ", \"total\": ";
  JsonNumber(o, e.somaPremInconsist);
  o += "},\n  \"erro\": ";
  if (in.failed)
    JsonString(o, in.error);
  else
    o += "null";
  o += "\n}\n";
  return o;
}

}  // namespace tolk
