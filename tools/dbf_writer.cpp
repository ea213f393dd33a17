#include "tools/dbf_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "dataset/coding.h"
#include "dbf/dbf_format.h"

namespace tolk::tools {

namespace {

namespace c = coding;

constexpr char kDeleted = static_cast<char>(dbf::kDeletedFlag);
constexpr char kLive = static_cast<char>(dbf::kLiveFlag);

// Name, type letter, width and decimals into one descriptor (zeros
// elsewhere). A C field keeps the high byte of its width in the decimals
// byte.
void StoreDescriptor(c::MutableBytes d, const FieldSpec& f, bool seven) {
  const std::size_t name = std::min<std::size_t>(f.name.size(), dbf::kDescNameSize - 1);
  c::StoreBytes(d, seven ? dbf::kDesc7Name : dbf::kDescName, f.name.data(), name);
  c::Store8(d, seven ? dbf::kDesc7Type : dbf::kDescType, static_cast<std::uint8_t>(f.type));
  c::Store8(d, seven ? dbf::kDesc7Width : dbf::kDescWidth, static_cast<std::uint8_t>(f.width));
  c::Store8(d, seven ? dbf::kDesc7Decimals : dbf::kDescDecimals,
            static_cast<std::uint8_t>(f.type == 'C' ? f.width >> 8 : f.decimals));
}

}  // namespace

DbfWriter::DbfWriter(std::vector<FieldSpec> fields) : fields_(std::move(fields)) {}

DbfWriter::~DbfWriter() {
  if (stream_) std::fclose(stream_);
}

std::size_t DbfWriter::RecordLengthValue() const {
  if (recordLength) return *recordLength;
  std::size_t n = 1;
  for (const auto& f : fields_) n += static_cast<std::size_t>(f.width);
  return n;
}

std::size_t DbfWriter::HeaderLengthValue() const {
  if (headerLength) return *headerLength;
  const std::size_t start = longDescriptors ? dbf::kDescriptorStart7 : dbf::kDescriptorStart;
  const std::size_t step = longDescriptors ? dbf::kDescriptorSize7 : dbf::kDescriptorSize;
  return start + step * fields_.size() + (writeTerminator ? 1 : 0) + gapAfterTerminator;
}

std::string DbfWriter::HeaderBytes() const {
  const std::size_t start = longDescriptors ? dbf::kDescriptorStart7 : dbf::kDescriptorStart;
  const std::size_t step = longDescriptors ? dbf::kDescriptorSize7 : dbf::kDescriptorSize;
  std::string h(start + step * fields_.size(), '\0');
  const c::MutableBytes b(reinterpret_cast<std::uint8_t*>(h.data()), h.size());
  c::Store8(b, dbf::kHeaderVersion, version);
  const std::uint8_t updated[3] = {126, 12, 8};  // 2026-12-08
  c::StoreBytes(b, dbf::kHeaderUpdate, updated, sizeof updated);
  c::Store32(b, dbf::kHeaderRecordCount, headerRecordCount.value_or(count_));
  // Lengths past 16 bits keep their low bits, as a hostile file may.
  c::Store16(b, dbf::kHeaderLength, static_cast<std::uint16_t>(HeaderLengthValue()));
  c::Store16(b, dbf::kHeaderRecordLength, static_cast<std::uint16_t>(RecordLengthValue()));
  c::Store8(b, dbf::kHeaderFlags, tableFlags);
  c::Store8(b, dbf::kHeaderLanguage, languageDriver);
  for (std::size_t i = 0; i < fields_.size(); ++i)
    StoreDescriptor(b.subspan(start + i * step, step), fields_[i], longDescriptors);
  if (writeTerminator) h += static_cast<char>(terminator);
  h.append(gapAfterTerminator, '\0');
  return h;
}

void DbfWriter::Emit(std::string_view bytes) {
  if (stream_) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size())
      throw std::runtime_error("cannot write " + streamPath_ + ": " + std::strerror(errno));
  } else {
    body_.append(bytes);
  }
}

void DbfWriter::AddRecord(const std::vector<std::string>& values, bool deleted) {
  record_.assign(1, deleted ? kDeleted : kLive);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const FieldSpec& f = fields_[i];
    const std::size_t w = static_cast<std::size_t>(f.width);
    std::string v = i < values.size() ? values[i] : std::string();
    if (f.type == 'N' || f.type == 'F' || f.type == 'M') {
      if (v.size() > w) v.assign(w, '*');
      record_.append(w - v.size(), ' ');
      record_ += v;
    } else {
      if (v.size() > w) v.resize(w);
      record_ += v;
      record_.append(w - v.size(), ' ');
    }
  }
  AddRawRecord(std::string_view(record_).substr(1), deleted);
}

void DbfWriter::AddRawRecord(std::string_view fieldBytes, bool deleted) {
  const std::size_t len = RecordLengthValue();
  std::string rec;
  rec.reserve(len);
  rec += deleted ? kDeleted : kLive;
  rec.append(fieldBytes.substr(0, len > 0 ? len - 1 : 0));
  if (rec.size() < len) rec.append(len - rec.size(), ' ');
  if (len == 0) rec.clear();
  Emit(rec);
  ++count_;
}

void DbfWriter::AddRawBytes(std::string_view bytes) { Emit(bytes); }

std::string DbfWriter::Bytes() const {
  std::string out = HeaderBytes();
  out += body_;
  if (eofMarker) out += static_cast<char>(dbf::kEndOfFile);
  out += trailingBytes;
  return out;
}

void DbfWriter::WriteFile(const std::string& path) const {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
  std::string bytes = Bytes();
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw std::runtime_error("cannot write " + path);
}

void DbfWriter::StreamTo(const std::string& path) {
  stream_ = std::fopen(path.c_str(), "wb");
  if (!stream_) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
  streamPath_ = path;
  streamBuffer_.resize(1 << 16);
  std::setvbuf(stream_, streamBuffer_.data(), _IOFBF, streamBuffer_.size());
  std::string h = HeaderBytes();
  Emit(h);
}

void DbfWriter::Finish() {
  if (!stream_) return;
  std::string tail;
  if (eofMarker) tail += static_cast<char>(dbf::kEndOfFile);
  tail += trailingBytes;
  Emit(tail);
  std::string h = HeaderBytes();  // now with the real record count
  bool ok = std::fseek(stream_, 0, SEEK_SET) == 0 &&
            std::fwrite(h.data(), 1, dbf::kHeaderSize, stream_) == dbf::kHeaderSize;
  ok = std::fclose(stream_) == 0 && ok;
  stream_ = nullptr;
  if (!ok) throw std::runtime_error("cannot write " + streamPath_);
}

}  // namespace tolk::tools
