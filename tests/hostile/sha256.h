// SHA-256 of a byte string or a file, to show that a run left a file's bytes
// as they were. Plain FIPS 180-4, one block at a time; speed does not matter
// for files of a few megabytes.
#pragma once

#include <string>
#include <string_view>

namespace tolk::hostile {

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);
// The digest of a file's contents; empty when the file cannot be read.
std::string FileSha256(const std::string& path);

}  // namespace tolk::hostile
