#include "tools/dbf_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tolk::tools {

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
  return 32 + 32 * fields_.size() + (writeTerminator ? 1 : 0) + gapAfterTerminator;
}

static void Put16(std::string& s, std::size_t off, std::uint32_t v) {
  s[off] = static_cast<char>(v & 0xFF);
  s[off + 1] = static_cast<char>((v >> 8) & 0xFF);
}

std::string DbfWriter::HeaderBytes() const {
  std::string h(32, '\0');
  h[0] = static_cast<char>(version);
  h[1] = 126;  // 2026-12-08
  h[2] = 12;
  h[3] = 8;
  std::uint32_t n = headerRecordCount.value_or(count_);
  for (int i = 0; i < 4; ++i)
    h[static_cast<std::size_t>(4 + i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
  Put16(h, 8, static_cast<std::uint32_t>(HeaderLengthValue()));
  Put16(h, 10, static_cast<std::uint32_t>(RecordLengthValue()));
  h[28] = static_cast<char>(tableFlags);
  h[29] = static_cast<char>(languageDriver);
  for (const auto& f : fields_) {
    std::string d(32, '\0');
    std::memcpy(d.data(), f.name.data(), std::min<std::size_t>(f.name.size(), 10));
    d[11] = f.type;
    if (f.type == 'C') {
      d[16] = static_cast<char>(f.width & 0xFF);
      d[17] = static_cast<char>((f.width >> 8) & 0xFF);
    } else {
      d[16] = static_cast<char>(f.width & 0xFF);
      d[17] = static_cast<char>(f.decimals & 0xFF);
    }
    h += d;
  }
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
  record_.assign(1, deleted ? '*' : ' ');
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
  rec += deleted ? '*' : ' ';
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
  if (eofMarker) out += '\x1A';
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
  if (eofMarker) tail += '\x1A';
  tail += trailingBytes;
  Emit(tail);
  std::string h = HeaderBytes();  // now with the real record count
  bool ok = std::fseek(stream_, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, 32, stream_) == 32;
  ok = std::fclose(stream_) == 0 && ok;
  stream_ = nullptr;
  if (!ok) throw std::runtime_error("cannot write " + streamPath_);
}

}  // namespace tolk::tools
