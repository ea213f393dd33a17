#include "tools/tsv_table.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "dataset/cp1252.h"

namespace tolk::tools {

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return parts;
}

std::vector<std::string> SplitColons(const std::string& s) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t c = s.find(':', start);
    parts.push_back(s.substr(start, c == std::string::npos ? std::string::npos : c - start));
    if (c == std::string::npos) break;
    start = c + 1;
  }
  return parts;
}

}  // namespace

void TsvToDbf(const std::string& path, const std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string line;
  int lineNo = 0;
  bool haveHeader = false, flagColumn = false;
  std::vector<FieldSpec> fields;
  std::vector<std::pair<std::vector<std::string>, bool>> rows;
  auto fail = [&](const std::string& what) {
    throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": " + what);
  };
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cells = SplitTabs(line);
    if (!haveHeader) {
      haveHeader = true;
      std::size_t first = 0;
      if (!cells.empty() && cells[0] == "*") flagColumn = true, first = 1;
      for (std::size_t i = first; i < cells.size(); ++i) {
        std::vector<std::string> p = SplitColons(cells[i]);
        if (p.size() < 3 || p[1].size() != 1)
          fail("column \"" + cells[i] + "\" is not NAME:TYPE:WIDTH[:DECIMALS]");
        FieldSpec f;
        f.name = p[0];
        f.type = p[1][0];
        try {
          f.width = std::stoi(p[2]);
          f.decimals = p.size() > 3 ? std::stoi(p[3]) : 0;
        } catch (const std::exception&) {
          fail("column \"" + cells[i] + "\" has a width that is not a number");
        }
        fields.push_back(f);
      }
      continue;
    }
    bool deleted = false;
    if (flagColumn) {
      deleted = !cells.empty() && cells[0] == "*";
      if (!cells.empty()) cells.erase(cells.begin());
    }
    if (cells.size() > fields.size()) fail("more cells than columns");
    for (auto& c : cells) c = Utf8ToCp1252(c);
    rows.emplace_back(std::move(cells), deleted);
  }
  if (!haveHeader) throw std::runtime_error(path + ": no header row");
  DbfWriter w(fields);
  for (const auto& [cells, deleted] : rows) w.AddRecord(cells, deleted);
  w.WriteFile(out);
}

}  // namespace tolk::tools
