// The dBase table file (.DBF), as written and read here.
//
// Header, 32 bytes (little-endian integers):
//   0      version: 0x03 (dBase III/IV without memo; written), other
//          dBase/FoxPro versions are read when their layout is the same
//   1-3    date of the last update: year - 1900, month, day
//   4-7    number of records (deleted ones included)
//   8-9    header length: 32 + 32 per field + 1 (terminator), possibly
//          padded by the writer; records start at this offset
//   10-11  record length: 1 (deletion flag) + the widths of all fields
//   12-27  reserved (transaction/encryption flags, multi-user area), 0
//   28     1 when a production index (.MDX of the same base name) exists
//   29     language driver; 0x57 = Windows ANSI, code page 1252
//   30-31  reserved
// Field descriptors, 32 bytes each, from offset 32:
//   0-10   name, ASCII, NUL padded (at most 10 characters)
//   11     type: C character, N numeric, L logical, D date, F float, ...
//   12-15  offset in the record (informative; recomputed on reading)
//   16     width; 17 decimals (a character field wider than 255 keeps the
//          high byte of its width here, as some writers do)
//   18-30  reserved; 31 = 1 when the field has a tag in the production index
// then 0x0D ends the descriptors. Records follow, each starting with ' '
// (live) or '*' (deleted), then the fields' bytes left to right: character
// fields space padded on the right, numeric fields right aligned ASCII
// digits, logical fields one of T/F/Y/N or ' '/'?' when unset. After the
// last record comes the end mark 0x1A (some writers omit it).
//
// The file is read and written through its pager (pager.h): changes stay
// in memory until the table layer commits them, and then reach the disk
// under the table's journal.
#include "store/dbf_file.h"
#include "store/path_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "store/store_error.h"
#include "store/table_checks.h"
#include "store/system_error_text.h"
#include "store/table_file_lock.h"

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr unsigned char kTerminator = 0x0D;
constexpr unsigned char kEndMark = 0x1A;

uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Get16(const unsigned char* p) { return uint16_t(p[0] | p[1] << 8); }
void Put32(unsigned char* p, uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
  p[2] = (v >> 16) & 0xFF;
  p[3] = (v >> 24) & 0xFF;
}
void Put16(unsigned char* p, uint16_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
}

void TodayBytes(unsigned char* p) {
  // Every change stamps the header: the local date is worked out again
  // only when the clock has moved on to another second.
  thread_local std::time_t lastNow = static_cast<std::time_t>(-1);
  thread_local unsigned char lastDate[3] = {0, 0, 0};
  const std::time_t now = std::time(nullptr);
  if (now != lastNow || now == static_cast<std::time_t>(-1)) {
    const std::tm tm = os::LocalTime(now);
    lastDate[0] = static_cast<unsigned char>(tm.tm_year % 256);
    lastDate[1] = static_cast<unsigned char>(tm.tm_mon + 1);
    lastDate[2] = static_cast<unsigned char>(tm.tm_mday);
    lastNow = now;
  }
  std::memcpy(p, lastDate, 3);
}

bool KnownVersion(unsigned char v) {
  // dBase III/IV/5 (with or without memo, SQL tables) and FoxPro/Visual
  // FoxPro; all keep the 32-byte descriptors read here.
  return (v & 0x07) == 0x03 || v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 ||
         v == 0xFB;
}

std::string Quoted(const std::string& label) { return "'" + label + "'"; }

}  // namespace

void DbfFile::Create(const fs::path& path, const std::string& label,
                     const std::vector<DbfField>& fields, bool productionIndex, bool sync) {
  if (fields.empty()) {
    throw StoreError("No se puede crear la tabla " + Quoted(label) + " sin campos");
  }
  if (fields.size() > 255) {
    throw StoreError("La tabla " + Quoted(label) + " tiene demasiados campos");
  }
  size_t recordLength = 1;
  for (const DbfField& f : fields) recordLength += static_cast<size_t>(f.width);
  if (recordLength > 65535) {
    throw StoreError("Los registros de la tabla " + Quoted(label) + " son demasiado largos");
  }
  const size_t headerLength = 32 + 32 * fields.size() + 1;
  std::string bytes(headerLength + 1, '\0');
  auto* h = reinterpret_cast<unsigned char*>(bytes.data());
  h[0] = 0x03;
  TodayBytes(h + 1);
  Put32(h + 4, 0);
  Put16(h + 8, static_cast<uint16_t>(headerLength));
  Put16(h + 10, static_cast<uint16_t>(recordLength));
  h[28] = productionIndex ? 1 : 0;
  h[29] = kLanguageDriverAnsi;
  int offset = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const DbfField& f = fields[i];
    unsigned char* d = h + 32 + 32 * i;
    std::memcpy(d, f.name.data(), std::min<size_t>(f.name.size(), kMaxFieldName));
    d[11] = static_cast<unsigned char>(f.type);
    Put32(d + 12, static_cast<uint32_t>(offset));
    d[16] = static_cast<unsigned char>(f.width & 0xFF);
    d[17] = static_cast<unsigned char>(f.type == 'C' ? (f.width >> 8) : f.decimals);
    d[31] = f.indexed ? 1 : 0;
    offset += f.width;
  }
  h[headerLength - 1] = kTerminator;
  h[headerLength] = kEndMark;

  // The caller stages the new file under a name nobody else uses
  // (table_replacement.h), so it is written in place and synced (here, or
  // by the caller before it takes its final name).
  os::File file;
  if (!file.Open(path, os::OpenMode::CreateOrTruncate) ||
      !file.WriteAt(0, bytes.data(), bytes.size()) || (sync && !file.Sync())) {
    const int err = os::LastError();
    file.Close();
    os::RemoveFile(path);
    throw StoreError("No se puede crear la tabla " + Quoted(label) + " (" + PathText(path) +
                     "): " + SystemErrorText(err));
  }
}

DbfFile::~DbfFile() { Close(); }

void DbfFile::Fail(const std::string& what) const {
  throw StoreError("La tabla " + Quoted(label_) + " está dañada: " + what);
}

void DbfFile::Open(const fs::path& path, const std::string& label) {
  Close();
  path_ = path;
  label_ = label;
  os::File file;
  // A file marked read-only is only ever read, whoever may write it.
  const bool readOnly = os::Status(path).readOnly;
  writable_ = !readOnly && file.Open(path, os::OpenMode::ReadWrite);
  if (!writable_ && (readOnly || os::IsAccessDenied(os::LastError()))) {
    file.Open(path, os::OpenMode::ReadOnly);
  }
  if (!file.IsOpen()) {
    const int err = os::LastError();
    if (os::IsNotFound(err)) {
      throw StoreError("No se encuentra la tabla " + Quoted(label) + " (" + PathText(path) + ")");
    }
    if (os::IsWouldBlock(err)) {
      // Where locks are sharing modes, a program holding the table keeps
      // every other open out.
      throw StoreError("La tabla " + Quoted(label) + " está abierta en exclusiva por otro programa");
    }
    throw StoreError("No se puede abrir la tabla " + Quoted(label) + " (" + PathText(path) +
                     "): " + SystemErrorText(err));
  }
  if (!file.IsRegularFile()) {
    throw StoreError("La tabla " + Quoted(label) + " está dañada: no es un archivo");
  }
  pager_.Attach(std::move(file), path, label, writable_);
  try {
    const uint64_t size = pager_.Size();
    unsigned char h[32];
    if (size < 32) Fail("el archivo es más corto que una cabecera");
    pager_.Read(0, h, 32);
    if (!KnownVersion(h[0])) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%02X", h[0]);
      Fail(std::string("no es un archivo dBase reconocible (versión ") + buf + ")");
    }
    count_ = Get32(h + 4);
    headerLength_ = Get16(h + 8);
    recordLength_ = Get16(h + 10);
    productionIndex_ = h[28] != 0;
    languageDriver_ = h[29];
    if (headerLength_ < 32 + 32 + 1) {
      Fail("la longitud de cabecera (" + std::to_string(headerLength_) +
           ") es demasiado corta");
    }
    if (static_cast<uint64_t>(headerLength_) > size) {
      Fail("la longitud de cabecera (" + std::to_string(headerLength_) +
           ") pasa del final del archivo");
    }
    if (recordLength_ < 2) Fail("la longitud de registro es " + std::to_string(recordLength_));

    std::string header(static_cast<size_t>(headerLength_), '\0');
    pager_.Read(0, header.data(), header.size());
    const auto* hp = reinterpret_cast<const unsigned char*>(header.data());
    // Descriptors run until the terminator, which must lie inside the
    // header; bytes after it (up to the header length) are padding.
    fields_.clear();
    int pos = 32;
    int offset = 1;
    bool terminated = false;
    while (pos < headerLength_) {
      if (hp[pos] == kTerminator) {
        terminated = true;
        break;
      }
      if (pos + 32 > headerLength_) break;
      const unsigned char* d = hp + pos;
      DbfField f;
      size_t len = 0;
      while (len < 11 && d[len] != 0) ++len;
      f.name.assign(reinterpret_cast<const char*>(d), len);
      while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
      f.type = static_cast<char>(d[11]);
      f.width = d[16];
      f.decimals = d[17];
      if (f.type == 'C' && f.decimals != 0) {
        f.width += f.decimals * 256;
        f.decimals = 0;
      }
      f.indexed = d[31] != 0;
      f.offset = offset;
      const std::string shown = f.name.empty() ? "#" + std::to_string(fields_.size() + 1) : f.name;
      if (f.width == 0) Fail("el campo " + shown + " tiene anchura 0");
      if (offset + f.width > recordLength_) {
        Fail("el campo " + shown + " pasa de la longitud de registro (" +
             std::to_string(recordLength_) + ")");
      }
      offset += f.width;
      fields_.push_back(std::move(f));
      pos += 32;
    }
    if (!terminated) Fail("falta el terminador de la lista de campos (0x0D)");
    if (fields_.empty()) Fail("no tiene campos");
    if (std::string bad = DbfLayoutProblem(recordLength_, fields_); !bad.empty()) Fail(bad);

    const uint64_t need = static_cast<uint64_t>(headerLength_) +
                          static_cast<uint64_t>(count_) * static_cast<uint64_t>(recordLength_);
    if (need > size) {
      const uint64_t missing = need - size;
      if (missing < static_cast<uint64_t>(recordLength_)) {
        Fail("el último registro está incompleto");
      }
      Fail("dice tener " + std::to_string(count_) + " registros y el archivo solo tiene sitio para " +
           std::to_string((size - static_cast<uint64_t>(headerLength_)) /
                          static_cast<uint64_t>(recordLength_)));
    }
  } catch (...) {
    Close();
    throw;
  }
}

void DbfFile::Close() {
  pager_.Detach();  // releases the lock too
  lock_ = Lock::None;
}

void DbfFile::SetLock(Lock lock) {
  if (lock == lock_) return;
  // A file that this process holds (TableFileLock) is kept from other
  // programs by that hold; a lock of its own would meet the hold.
  if (IsHeldHere(path_)) {
    lock_ = lock;
    return;
  }
  const os::LockKind kind = lock == Lock::Exclusive ? os::LockKind::Exclusive
                            : lock == Lock::Shared  ? os::LockKind::Shared
                                                    : os::LockKind::None;
  if (!pager_.File().TryLock(kind)) {
    const int err = os::LastError();
    if (os::IsWouldBlock(err)) {
      if (lock == Lock::Exclusive) {
        throw StoreError("La tabla " + Quoted(label_) +
                         " está en uso por otro programa y no se puede abrir en exclusiva");
      }
      throw StoreError("La tabla " + Quoted(label_) +
                       " está abierta en exclusiva por otro programa");
    }
    throw StoreError("No se puede bloquear la tabla " + Quoted(label_) + ": " +
                     SystemErrorText(err));
  }
  lock_ = lock;
}

void DbfFile::Reload() {
  unsigned char c[4];
  pager_.Read(4, c, 4);
  count_ = Get32(c);
}

void DbfFile::ReadRecord(uint32_t recno, std::string& out) const {
  if (recno == 0 || recno > count_) {
    throw StoreError("La tabla " + Quoted(label_) + " no tiene el registro " +
                     std::to_string(recno));
  }
  out.resize(static_cast<size_t>(recordLength_));
  pager_.Read(static_cast<uint64_t>(headerLength_) + uint64_t(recno - 1) * uint64_t(recordLength_),
              out.data(), out.size());
}

void DbfFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!writable_) {
    throw StoreError("La tabla " + Quoted(label_) + " no se puede modificar (archivo de sólo lectura)");
  }
  pager_.Write(offset, data, size);
}

void DbfFile::StampHeader() {
  unsigned char h[7];
  TodayBytes(h);
  Put32(h + 3, count_);
  WriteAt(1, h, sizeof h);
}

void DbfFile::WriteRecord(uint32_t recno, const std::string& record) {
  if (recno == 0 || recno > count_ || record.size() != static_cast<size_t>(recordLength_)) {
    throw StoreError("Registro " + std::to_string(recno) + " fuera de la tabla " + Quoted(label_));
  }
  WriteAt(static_cast<uint64_t>(headerLength_) + uint64_t(recno - 1) * uint64_t(recordLength_),
          record.data(), record.size());
  StampHeader();
}

uint32_t DbfFile::AppendRecord(const std::string& record) {
  if (record.size() != static_cast<size_t>(recordLength_)) {
    throw StoreError("Registro de longitud incorrecta para la tabla " + Quoted(label_));
  }
  if (count_ == UINT32_MAX) throw StoreError("La tabla " + Quoted(label_) + " está llena");
  const uint64_t at =
      static_cast<uint64_t>(headerLength_) + uint64_t(count_) * uint64_t(recordLength_);
  WriteAt(at, record.data(), record.size());
  const char endMark = static_cast<char>(kEndMark);
  WriteAt(at + record.size(), &endMark, 1);
  ++count_;
  StampHeader();
  return count_;
}

void DbfFile::SetDeleted(uint32_t recno, bool deleted) {
  if (recno == 0 || recno > count_) {
    throw StoreError("Registro " + std::to_string(recno) + " fuera de la tabla " + Quoted(label_));
  }
  char flag = deleted ? '*' : ' ';
  WriteAt(static_cast<uint64_t>(headerLength_) + uint64_t(recno - 1) * uint64_t(recordLength_),
          &flag, 1);
  StampHeader();
}

std::string DbfFile::HeaderBytes() const {
  std::string h(static_cast<size_t>(headerLength_), '\0');
  pager_.Read(0, h.data(), h.size());
  return h;
}

void DbfFile::SetProductionIndexFlag(bool on) {
  unsigned char b = on ? 1 : 0;
  WriteAt(28, &b, 1);
  productionIndex_ = on;
}

}  // namespace store
