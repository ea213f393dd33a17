// Windows-1252, the single-byte code page of every text inside the program.
#pragma once

#include <string>
#include <string_view>

namespace tolk {

std::string Cp1252ToUtf8(std::string_view text);
// Characters without a Windows-1252 byte become `replacement`; invalid UTF-8
// bytes are taken as Latin-1.
std::string Utf8ToCp1252(std::string_view text, char replacement = '?');

}  // namespace tolk
