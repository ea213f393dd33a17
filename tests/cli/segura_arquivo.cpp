// Holds a file open with no sharing, as another Windows program may, until
// its standard input ends: "pronto" on standard output says it holds it.
//   segura_arquivo FILE
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/system.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = tolk::ArgumentsUtf8(argc, argv);
  if (args.size() != 2) return 2;
  HANDLE h = ::CreateFileW(tolk::Utf16(args[1]).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  std::puts("pronto");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  ::CloseHandle(h);
  return 0;
}
