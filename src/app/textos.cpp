#include "app/textos.h"

#include <map>

#include "dataset/cp1252.h"

namespace tolk::textos {

const std::string& Cp(const char* utf8) {
  // Keyed by the literal's address: each call site converts once.
  static std::map<const char*, std::string> cache;
  auto it = cache.find(utf8);
  if (it == cache.end()) it = cache.emplace(utf8, Utf8ToCp1252(utf8)).first;
  return it->second;
}

}  // namespace tolk::textos
