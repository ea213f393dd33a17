// Every message the NTX layer raises, in one place. All of them are the
// general error class (tolk::Exception); the texts name the class and the
// operation first, as the table layer's do.
#pragma once

#include <cstdint>
#include <string>

namespace tolk::ntx {

// Opening an existing index file.
[[noreturn]] void RaiseBagOpenError(const std::string& fileName);
[[noreturn]] void RaiseNotNtxFile(const std::string& fileName);
[[noreturn]] void RaiseSecondOrder();

// Building.
[[noreturn]] void RaiseCreateOnClosedTable();
[[noreturn]] void RaiseRecordTooLarge();
// `reason`: why the file could not be made (the system's text), carried
// beside the message (Exception::Reason), which does not say.
[[noreturn]] void RaiseCreateError(const std::string& indexName, const std::string& reason = {});
[[noreturn]] void RaiseEmptyKey(const std::string& indexName);
[[noreturn]] void RaiseKeyTooLong(const std::string& indexName, std::size_t keySize);
[[noreturn]] void RaiseTableReadError(const std::string& tableFile, int err);

// File input and output under the page cache.
[[noreturn]] void RaiseWriteError(const std::string& fileName, int err);
[[noreturn]] void RaiseReadError(const std::string& fileName, int err);

// Bytes of a file that break the page layout: a page reference outside the
// file, a count above the page maximum, a slot outside the page, a tree
// deeper than any real one (a cycle in child pages).
[[noreturn]] void RaiseDamaged(const std::string& fileName, const std::string& what);
// Page offsets are 32-bit: a file cannot grow past 4 GB.
[[noreturn]] void RaiseFileFull(const std::string& fileName);

// The page cache.
[[noreturn]] void RaiseNoFreeBuffers();
[[noreturn]] void RaiseFlushInternal();

// The index collection and settings.
[[noreturn]] void RaiseIndexTypeUndefined();
[[noreturn]] void RaiseCollationWhileOpen();

}  // namespace tolk::ntx
