// What a program asks of the operating system besides its files: where the
// executable is, the local time, the command line and standard streams as
// UTF-8, and file names as the system's file functions take them.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tolk {

// The executable's folder, ending with the path separator; "./" when the
// system cannot tell.
std::string ExecutableFolder();

// Where the folder part of `path` ends: its last path separator, or npos.
std::size_t LastSeparator(std::string_view path);

// `folder` ending with a path separator, so that a file name can follow;
// "./" (".\\" on Windows) for an empty one.
std::string FolderWithSeparator(std::string folder);

// Whether the user may create files in `folder` (which need not end with a
// separator): a read-only folder, or one of the system's that only its
// administrator writes, is not.
bool FolderWritable(const std::string& folder);

// The user's own folder for files a program can make again, ending with the
// path separator: $XDG_CACHE_HOME (when absolute), else ~/.cache, on Linux;
// %LOCALAPPDATA% on Windows. Empty when the system cannot tell.
std::string UserCacheFolder();

// The local date and time now.
struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};
LocalTime LocalTimeNow();

// A UTF-8 file name as a path, and back.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// UTF-8 and UTF-16 (the Windows calls' text); an invalid sequence becomes
// U+FFFD.
std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);

// The program's arguments in UTF-8 (on Windows taken from the wide command
// line, whatever the code page).
std::vector<std::string> ArgumentsUtf8(int argc, char** argv);

// Opens a file named in UTF-8 as fopen does with `mode`.
std::FILE* OpenStream(const std::string& utf8Path, const char* mode);

// Readies the standard streams of a terminal program: output bytes pass
// unchanged (no LF to CR LF), and a write past a file size limit fails with
// an error instead of ending the process.
void PrepareStandardStreams();
// Whether `stream` is a terminal (a console).
bool IsTerminal(std::FILE* stream);
// Writes UTF-8 text to `stream`: on a console the characters show as they
// are, elsewhere the bytes go unchanged. False on a write error.
bool WriteUtf8(std::FILE* stream, const std::string& text);

}  // namespace tolk
