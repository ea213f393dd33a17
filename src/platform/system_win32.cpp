#include <windows.h>
// After windows.h: the shell's and the C runtime's declarations.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include "platform/system.h"

namespace tolk {

std::string ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return "./";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string(".\\") : Utf8(path.substr(0, slash + 1));
}

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("/\\"); }

// Either separator ends a folder here.
std::string FolderWithSeparator(std::string folder) {
  if (folder.empty()) return ".\\";
  if (folder.back() != '/' && folder.back() != '\\') folder += '\\';
  return folder;
}

bool FolderWritable(const std::string& folder) {
  // The attributes of a folder do not say whether its access list lets the
  // user in (Program Files does not): a file is made there and goes away as
  // its handle closes.
  const std::wstring base = Utf16(FolderWithSeparator(folder)) + L"tolk-zav-gravavel-" +
                            std::to_wstring(::GetCurrentProcessId()) + L"-";
  for (unsigned tentativa = 0; tentativa < 16; ++tentativa) {
    const std::wstring nome = base + std::to_wstring(::GetTickCount64() + tentativa) + L".tmp";
    HANDLE h = ::CreateFileW(nome.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

std::string UserCacheFolder() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD n =
      ::GetEnvironmentVariableW(L"LOCALAPPDATA", path.data(), static_cast<DWORD>(path.size()));
  if (n >= path.size()) {
    path.resize(n);
    n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", path.data(), static_cast<DWORD>(path.size()));
  }
  if (n > 0 && n < path.size()) {
    path.resize(n);
  } else {
    path.assign(MAX_PATH, L'\0');
    if (::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT,
                           path.data()) != S_OK)
      return {};
    path.resize(::wcslen(path.c_str()));
  }
  return path.empty() ? std::string() : FolderWithSeparator(Utf8(path));
}

LocalTime LocalTimeNow() {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(Utf16(utf8)); }
std::string Utf8Of(const std::filesystem::path& path) { return Utf8(path.wstring()); }

std::vector<std::string> ArgumentsUtf8(int argc, char** argv) {
  int n = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &n);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < n; ++i) args.push_back(Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

std::FILE* OpenStream(const std::string& utf8Path, const char* mode) {
  return ::_wfopen(Utf16(utf8Path).c_str(), Utf16(mode).c_str());
}

// Bytes pass unchanged: LF stays LF in a file or a pipe, as elsewhere.
void PrepareStandardStreams() {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

namespace {

HANDLE ConsoleOf(std::FILE* stream) {
  const intptr_t h = ::_get_osfhandle(::_fileno(stream));
  DWORD mode = 0;
  if (h == -1 || !::GetConsoleMode(reinterpret_cast<HANDLE>(h), &mode)) return nullptr;
  return reinterpret_cast<HANDLE>(h);
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

// A console shows characters, not bytes: the text goes to it as UTF-16, so
// that accents show right whatever its code page.
bool WriteUtf8(std::FILE* stream, const std::string& text) {
  if (HANDLE console = ConsoleOf(stream)) {
    std::fflush(stream);
    const std::wstring wide = Utf16(text);
    DWORD written = 0;
    return ::WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written,
                           nullptr) != 0;
  }
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace tolk
