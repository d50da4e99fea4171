// The pager and the rollback journal.
//
// ON DISK
//
// Pages. A table's .DBF and .MDX are read and written in pages of 4096
// bytes (Pager::kPageSize), page p covering bytes p*4096 .. p*4096+4095.
// The page is a unit of this cache only; the files keep their dBase
// layouts (dbf_file.cpp, mdx_file.cpp) and hold nothing of ours.
//
// Journal. While a change of a table is being written, the file
// "<table file name>.transdae-journal" (for example
// "PROFT.DBF.transdae-journal") lies beside the table. No other program
// makes files of that name. Little-endian layout:
//   header, 48 bytes:
//     0  magic "TDJRNL01"            8  page size (4096)
//    12  number of files            16  number of page images
//    20  reserved (0)               24  length of the body in bytes
//    32  checksum of the body       40  checksum of bytes 0-39
//   body:
//     per file, in the order the files are numbered (0 = the .DBF,
//     1 = the .MDX): name length (16 bits), the file's name in the same
//     folder, its length before the change (64 bits);
//     per page image: file number (8 bits), page number (32 bits), length
//     (32 bits), then that many bytes: the page as it was before the
//     change, cut at the file's old length.
//   Checksums are 64-bit FNV-1a. A journal is complete when both checksums
//   hold and its size is 48 plus the body length.
//
// COMMIT (CommitPages)
//   1. The journal is written whole, with the old content of every page
//      that the change overwrites in either file and both files' old
//      lengths, and synced; the folder is synced so that its name lasts.
//      The journal stays locked (flock) by its writer until step 4.
//   2. The changed pages are written into the .DBF and the .MDX, each file
//      is cut or grown to its new length, and both are synced.
//   3. (nothing else: the table is now whole in its new state)
//   4. The journal is deleted and the folder synced.
//
// CRASH GUARANTEES
//   - Killed before the journal is complete: the table files were not
//     touched; the torn journal is deleted at the next open.
//   - Killed after the journal is complete and before it is deleted: the
//     next open of the table (in any process of this tool) finds a
//     complete journal that nobody holds locked, writes the old pages back
//     into both files, restores both lengths, syncs, and deletes the
//     journal: the .DBF and the .MDX are again byte for byte as before the
//     change.
//   - After step 4 the change is durable: a commit that returned is on
//     disk. A Post outside a transaction is one commit.
//   - A table is never changed by a commit while another process of this
//     tool holds its journal locked: opening then fails with a message.
//   - A journal is rolled back only into its own table's files (the .DBF
//     it is named after, then that table's .MDX), each opened at its own
//     name without following a link and found to be a plain file with one
//     name, all checked before the first page is written. Any other
//     journal (or one that is itself a link) is set aside unapplied, with
//     a notice (recovery_files.h).
//   Tables built afresh are not journaled: they are built under a staging
//   name and take the table's place whole (table_replacement.cpp).
//   What the pager does not cover: another program writing the table while
//   this tool has it open (the tool's exclusive objects lock it out), and
//   disks that lie about their syncs.
#include "store/pager.h"
#include "store/path_text.h"

#include <algorithm>
#include <cstring>

#include "store/recovery_files.h"
#include "store/store_error.h"
#include "store/system_error_text.h"

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'T', 'D', 'J', 'R', 'N', 'L', '0', '1'};
constexpr size_t kHeaderLength = 48;
// Pages read at once when a page is missing from the cache.
constexpr uint32_t kReadAhead = 16;

CommitHook commitHook = nullptr;

void Passed(CommitPoint point) {
  if (commitHook) commitHook(point);
}

uint64_t Fnv1a(const char* data, size_t size) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ull;
  }
  return h;
}

void Put(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutAt(std::string& out, size_t at, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint64_t Get(const std::string& in, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    v |= static_cast<uint64_t>(static_cast<unsigned char>(in[at + static_cast<size_t>(i)])) << (8 * i);
  }
  return v;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

void SetCommitHookForTesting(CommitHook hook) { commitHook = hook; }

void PassCommitPoint(CommitPoint point) { Passed(point); }

// ---------------------------------------------------------------- Pager

Pager::~Pager() { Detach(); }

void Pager::Attach(os::File file, const fs::path& path, const std::string& label, bool writable) {
  Detach();
  file_ = std::move(file);
  path_ = path;
  label_ = label;
  writable_ = writable;
  uint64_t size = 0;
  if (!file_.Size(size)) IoFail("no se puede leer", os::LastError());
  size_ = diskSize_ = size;
}

void Pager::Detach() {
  file_.Close();
  pages_.clear();
  dirty_.clear();
  size_ = diskSize_ = 0;
}

void Pager::IoFail(const std::string& what, int err) const {
  throw StoreError("Error en el archivo " + Quoted(label_) + " (" + PathText(path_) + "): " + what +
                   ": " + SystemErrorText(err));
}

Pager::Page& Pager::Load(uint32_t p) const {
  if (p >= pages_.size()) pages_.resize(static_cast<size_t>(p) + 1);
  if (pages_[p]) return *pages_[p];
  // Reads the missing pages from p on (up to kReadAhead) in one call.
  const uint64_t diskPages = (diskSize_ + kPageSize - 1) / kPageSize;
  uint32_t run = 1;
  while (run < kReadAhead && p + run < diskPages &&
         (p + run >= pages_.size() || !pages_[p + run])) {
    ++run;
  }
  std::string buf;
  if (p < diskPages) {
    buf.assign(static_cast<size_t>(run) * kPageSize, '\0');
    const long long got =
        file_.ReadAt(static_cast<uint64_t>(p) * kPageSize, buf.data(), buf.size());
    if (got < 0) IoFail("no se puede leer", os::LastError());
  } else {
    run = 1;
  }
  if (p + run > pages_.size()) pages_.resize(static_cast<size_t>(p) + run);
  for (uint32_t i = 0; i < run; ++i) {
    auto page = std::make_unique<Page>();
    if (buf.empty()) {
      std::memset(page->data, 0, kPageSize);
    } else {
      std::memcpy(page->data, buf.data() + static_cast<size_t>(i) * kPageSize, kPageSize);
    }
    pages_[p + i] = std::move(page);
  }
  return *pages_[p];
}

void Pager::Read(uint64_t offset, void* buffer, size_t size) const {
  if (offset + size > size_) {
    throw StoreError("Lectura fuera del archivo " + Quoted(label_) + " (" + PathText(path_) + ")");
  }
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    const uint32_t p = static_cast<uint32_t>(offset / kPageSize);
    const size_t in = static_cast<size_t>(offset % kPageSize);
    const size_t n = std::min<size_t>(size, kPageSize - in);
    const Page& page = (p < pages_.size() && pages_[p]) ? *pages_[p] : Load(p);
    std::memcpy(out, page.data + in, n);
    out += n;
    offset += n;
    size -= n;
  }
}

ContentDigest Pager::Digest() const {
  ContentHasher h;
  for (uint64_t offset = 0; offset < size_; offset += kPageSize) {
    const uint32_t p = static_cast<uint32_t>(offset / kPageSize);
    const Page& page = (p < pages_.size() && pages_[p]) ? *pages_[p] : Load(p);
    h.Add(page.data, static_cast<size_t>(std::min<uint64_t>(kPageSize, size_ - offset)));
  }
  return h.Finish();
}

void Pager::Write(uint64_t offset, const void* data, size_t size) {
  if (!writable_) {
    throw StoreError("El archivo " + Quoted(label_) + " no se puede modificar (sólo lectura)");
  }
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    const uint32_t p = static_cast<uint32_t>(offset / kPageSize);
    const size_t at = static_cast<size_t>(offset % kPageSize);
    const size_t n = std::min<size_t>(size, kPageSize - at);
    Page& page = (p < pages_.size() && pages_[p]) ? *pages_[p] : Load(p);
    if (!page.dirty && std::memcmp(page.data + at, in, n) == 0) {
      // The page already holds these bytes: it stays clean, so a change
      // that rewrites what is there costs no commit.
    } else if (!page.dirty) {
      if (static_cast<uint64_t>(p) * kPageSize < diskSize_) {
        page.original = std::make_unique<char[]>(kPageSize);
        std::memcpy(page.original.get(), page.data, kPageSize);
      }
      page.dirty = true;
      dirty_.push_back(p);
    }
    std::memcpy(page.data + at, in, n);
    in += n;
    offset += n;
    size -= n;
  }
  size_ = std::max(size_, offset);
}

std::vector<uint32_t> Pager::DirtyPages() const {
  std::vector<uint32_t> out = dirty_;
  std::sort(out.begin(), out.end());
  return out;
}

std::string Pager::OriginalPage(uint32_t p) const {
  const uint64_t start = static_cast<uint64_t>(p) * kPageSize;
  if (start >= diskSize_) return std::string();
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kPageSize, diskSize_ - start));
  const Page& page = *pages_[p];
  return std::string(page.original ? page.original.get() : page.data, n);
}

void Pager::WriteBack() {
  // Runs of consecutive pages go out in calls of up to kWriteRun pages,
  // through one buffer of that size: a file of many megabytes needs no
  // copy of itself in memory.
  constexpr uint32_t kWriteRun = 16;
  std::vector<uint32_t> pages = DirtyPages();
  std::vector<char> run;
  size_t i = 0;
  while (i < pages.size()) {
    const uint32_t first = pages[i];
    const uint64_t start = static_cast<uint64_t>(first) * kPageSize;
    if (start >= size_) {  // a page cut off by a shrink
      ++i;
      continue;
    }
    if (run.empty()) run.resize(static_cast<size_t>(kWriteRun) * kPageSize);
    size_t filled = 0;
    uint32_t p = first;
    while (i < pages.size() && pages[i] == p && static_cast<uint64_t>(p) * kPageSize < size_ &&
           p - first < kWriteRun) {
      std::memcpy(run.data() + filled, pages_[p]->data, kPageSize);
      filled += kPageSize;
      ++p;
      ++i;
    }
    const size_t length = static_cast<size_t>(std::min<uint64_t>(filled, size_ - start));
    if (!file_.WriteAt(start, run.data(), length)) IoFail("no se puede escribir", os::LastError());
  }
  uint64_t onDisk = 0;
  if (!file_.Size(onDisk)) IoFail("no se puede escribir", os::LastError());
  if (onDisk != size_ && !file_.Truncate(size_)) IoFail("no se puede escribir", os::LastError());
}

void Pager::SyncFile() {
  if (!file_.Sync()) IoFail("no se puede guardar en el disco", os::LastError());
}

void Pager::MarkClean() {
  for (uint32_t p : dirty_) {
    if (p < pages_.size() && pages_[p]) {
      pages_[p]->dirty = false;
      pages_[p]->original.reset();
    }
  }
  dirty_.clear();
  diskSize_ = size_;
  const size_t keep = static_cast<size_t>((size_ + kPageSize - 1) / kPageSize);
  if (pages_.size() > keep) pages_.resize(keep);
}

void Pager::Discard() {
  for (uint32_t p : dirty_) {
    if (p >= pages_.size() || !pages_[p]) continue;
    Page& page = *pages_[p];
    if (page.original) {
      std::memcpy(page.data, page.original.get(), kPageSize);
      page.original.reset();
      page.dirty = false;
    } else {
      pages_[p].reset();  // a page that did not exist: read again if needed
    }
  }
  dirty_.clear();
  size_ = diskSize_;
}

// ---------------------------------------------------------------- commit

namespace {

std::string BuildJournal(const std::vector<Pager*>& pagers) {
  std::string body;
  uint32_t images = 0;
  for (const Pager* pg : pagers) {
    const std::string name = FileNameText(pg->Path());
    Put(body, name.size(), 2);
    body += name;
    Put(body, pg->DiskSize(), 8);
  }
  for (size_t f = 0; f < pagers.size(); ++f) {
    for (uint32_t p : pagers[f]->DirtyPages()) {
      std::string old = pagers[f]->OriginalPage(p);
      if (old.empty()) continue;  // the page is new: the old length covers it
      Put(body, f, 1);
      Put(body, p, 4);
      Put(body, old.size(), 4);
      body += old;
      ++images;
    }
  }
  std::string out(kHeaderLength, '\0');
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  PutAt(out, 8, Pager::kPageSize, 4);
  PutAt(out, 12, pagers.size(), 4);
  PutAt(out, 16, images, 4);
  PutAt(out, 24, body.size(), 8);
  PutAt(out, 32, Fnv1a(body.data(), body.size()), 8);
  PutAt(out, 40, Fnv1a(out.data(), 40), 8);
  out += body;
  return out;
}

struct JournalFile {
  uint32_t count = 0;
  struct Target {
    std::string name;
    uint64_t length = 0;
  };
  std::vector<Target> files;
  struct Image {
    uint32_t file = 0;
    uint32_t page = 0;
    std::string bytes;
  };
  std::vector<Image> images;
};

// Parses a journal; false when it is not complete.
bool ParseJournal(const std::string& in, JournalFile& out) {
  if (in.size() < kHeaderLength || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0) return false;
  if (Get(in, 40, 8) != Fnv1a(in.data(), 40)) return false;
  const uint64_t bodyLength = Get(in, 24, 8);
  if (in.size() - kHeaderLength != bodyLength) return false;
  if (Get(in, 32, 8) != Fnv1a(in.data() + kHeaderLength, in.size() - kHeaderLength)) return false;
  if (Get(in, 8, 4) != Pager::kPageSize) return false;
  const uint64_t files = Get(in, 12, 4);
  const uint64_t images = Get(in, 16, 4);
  size_t at = kHeaderLength;
  auto need = [&](size_t n) { return at + n <= in.size(); };
  for (uint64_t f = 0; f < files; ++f) {
    if (!need(2)) return false;
    const size_t len = static_cast<size_t>(Get(in, at, 2));
    at += 2;
    if (!need(len + 8)) return false;
    JournalFile::Target t;
    t.name = in.substr(at, len);
    at += len;
    t.length = Get(in, at, 8);
    at += 8;
    // Names of the same folder only.
    if (t.name.empty() || t.name.find('/') != std::string::npos ||
        t.name.find('\\') != std::string::npos || t.name == "." || t.name == "..") {
      return false;
    }
    out.files.push_back(t);
  }
  for (uint64_t i = 0; i < images; ++i) {
    if (!need(9)) return false;
    JournalFile::Image im;
    im.file = static_cast<uint32_t>(Get(in, at, 1));
    im.page = static_cast<uint32_t>(Get(in, at + 1, 4));
    const size_t len = static_cast<size_t>(Get(in, at + 5, 4));
    at += 9;
    if (im.file >= out.files.size() || len > Pager::kPageSize || !need(len)) return false;
    im.bytes = in.substr(at, len);
    at += len;
    out.images.push_back(std::move(im));
  }
  return at == in.size();
}

[[noreturn]] void JournalFail(const fs::path& journal, const std::string& what, int err) {
  throw StoreError("Error en el diario de cambios " + Quoted(FileNameText(journal)) + ": " +
                   what + ": " + SystemErrorText(err));
}

constexpr const char* kJournalKind = "el diario de cambios";

// Why a complete journal may not be carried out ("" when it may): it names
// only its own table's files (the .DBF it is named after, then that
// table's index).
std::string ForeignName(const fs::path& journalPath, const JournalFile& parsed) {
  const std::string table = TableOfRecoveryFile(FileNameText(journalPath), kJournalSuffix);
  if (parsed.files.size() > 2) return "nombra más archivos que los de una tabla";
  for (size_t f = 0; f < parsed.files.size(); ++f) {
    const std::string& name = parsed.files[f].name;
    const bool own = f == 0 ? IsTableDbfName(table, name) : IsTableIndexName(table, name);
    if (!own) return "nombra el archivo " + Quoted(ShownFileName(name)) + ", que no es de esta tabla";
  }
  return "";
}

// Writes the old pages back; the journal file is open and locked. A
// journal that names another table's files, or whose files are links, is
// set aside instead, with nothing written (recovery_files.h).
void RollBack(const fs::path& journalPath, os::File& journal, const std::string& label) {
  uint64_t size = 0;
  if (!journal.Size(size)) JournalFail(journalPath, "no se puede leer", os::LastError());
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0 && !journal.ReadExactly(0, bytes.data(), bytes.size())) {
    JournalFail(journalPath, "no se puede leer", os::LastError());
  }
  JournalFile parsed;
  if (ParseJournal(bytes, parsed)) {
    const fs::path dir = journalPath.parent_path();
    auto setAside = [&](const std::string& reason) {
      journal.Close();
      SetAsideRecoveryFile(journalPath, kJournalKind, label, reason);
    };
    if (const std::string foreign = ForeignName(journalPath, parsed); !foreign.empty()) {
      return setAside(foreign);
    }
    // Every file is opened at its own name, never through a link, and
    // must be a plain file with that one name, before anything is written.
    std::vector<os::File> files(parsed.files.size());
    for (size_t f = 0; f < parsed.files.size(); ++f) {
      const fs::path path = dir / PathFromText(parsed.files[f].name);
      if (!files[f].Open(path, os::OpenMode::ReadWriteNoFollow)) {
        const int err = os::LastError();
        if (os::IsNotFound(err)) continue;  // a file deleted since: nothing to restore
        const std::string problem = RecoveryTargetProblem(path);
        if (!problem.empty()) return setAside(problem);
        throw StoreError("No se puede deshacer el cambio interrumpido de la tabla " +
                         Quoted(label) + ": " + SystemErrorText(err));
      }
      uint64_t names = 0;
      if (!files[f].IsRegularFile() || !files[f].NameCount(names) || names != 1) {
        files[f].Close();
        const std::string problem = RecoveryTargetProblem(path);
        return setAside(problem.empty() ? Quoted(FileNameText(path)) + " no es un archivo normal"
                                        : problem);
      }
    }
    auto fail = [&](int err) {
      throw StoreError("No se puede deshacer el cambio interrumpido de la tabla " +
                       Quoted(label) + ": " + SystemErrorText(err));
    };
    for (const JournalFile::Image& im : parsed.images) {
      os::File& f = files[im.file];
      if (!f.IsOpen()) continue;
      if (!f.WriteAt(static_cast<uint64_t>(im.page) * Pager::kPageSize, im.bytes.data(),
                     im.bytes.size())) {
        fail(os::LastError());
      }
    }
    for (size_t f = 0; f < files.size(); ++f) {
      if (!files[f].IsOpen()) continue;
      if (!files[f].Truncate(parsed.files[f].length) || !files[f].Sync()) fail(os::LastError());
    }
  }
  // Complete and rolled back, or incomplete (the files were not touched).
  if (!os::RemoveOwnFile(journalPath)) JournalFail(journalPath, "no se puede borrar", os::LastError());
  os::SyncFolder(journalPath.parent_path());
}

}  // namespace

void RecoverJournal(const fs::path& journalPath, const std::string& label) {
  // A read-only mark (put by hand, or by a copy tool) does not keep the
  // journal from being finished.
  os::ClearReadOnlyMark(journalPath);
  os::File journal;
  if (!journal.Open(journalPath, os::OpenMode::ReadWriteNoFollow)) {
    const int err = os::LastError();
    if (os::IsNotFound(err)) return;
    // A link or anything but a file at the journal's name is no journal
    // of this tool's.
    const std::string problem = RecoveryTargetProblem(journalPath);
    if (!problem.empty()) return SetAsideRecoveryFile(journalPath, kJournalKind, label, problem);
    JournalFail(journalPath, "no se puede abrir", err);
  }
  uint64_t names = 0;
  if (!journal.IsRegularFile() || !journal.NameCount(names) || names != 1) {
    journal.Close();
    const std::string problem = RecoveryTargetProblem(journalPath);
    return SetAsideRecoveryFile(journalPath, kJournalKind, label,
                                problem.empty() ? "no es un archivo normal" : problem);
  }
  if (!journal.TryLock(os::LockKind::Exclusive)) {
    if (os::IsWouldBlock(os::LastError())) {
      throw StoreError("La tabla " + Quoted(label) +
                       " está siendo modificada por otro proceso de esta herramienta");
    }
    JournalFail(journalPath, "no se puede bloquear", os::LastError());
  }
  RollBack(journalPath, journal, label);
}

void CommitPages(const fs::path& journalPath, const std::vector<Pager*>& pagers, bool journaled) {
  bool any = false;
  for (const Pager* pg : pagers) any = any || pg->Dirty();
  if (!any) return;
  if (!journaled) {
    for (Pager* pg : pagers) pg->WriteBack();
    for (Pager* pg : pagers) pg->SyncFile();
    for (Pager* pg : pagers) pg->MarkClean();
    return;
  }
  const std::string label = FileNameText(pagers.front()->Path());
  const std::string bytes = BuildJournal(pagers);
  os::File journal;
  if (!journal.Open(journalPath, os::OpenMode::CreateOrTruncate)) {
    JournalFail(journalPath, "no se puede crear", os::LastError());
  }
  if (!journal.TryLock(os::LockKind::Exclusive)) {
    JournalFail(journalPath, "no se puede bloquear", os::LastError());
  }
  if (!journal.WriteAt(0, bytes.data(), bytes.size())) {
    const int err = os::LastError();
    journal.Close();
    os::RemoveFile(journalPath);
    JournalFail(journalPath, "no se puede escribir", err);
  }
  Passed(CommitPoint::JournalWritten);
  if (!journal.Sync() || !os::SyncFolder(journalPath.parent_path())) {
    const int err = os::LastError();
    journal.Close();
    os::RemoveFile(journalPath);
    JournalFail(journalPath, "no se puede guardar en el disco", err);
  }
  Passed(CommitPoint::JournalSynced);
  try {
    for (Pager* pg : pagers) pg->WriteBack();
    Passed(CommitPoint::PagesWritten);
    for (Pager* pg : pagers) pg->SyncFile();
    Passed(CommitPoint::FilesSynced);
  } catch (...) {
    // Puts the files back as they were; should that fail too, the journal
    // stays for the next open.
    try {
      RollBack(journalPath, journal, label);
    } catch (...) {
    }
    throw;
  }
  if (!os::RemoveFile(journalPath)) {
    JournalFail(journalPath, "no se puede borrar", os::LastError());
  }
  os::SyncFolder(journalPath.parent_path());
  journal.Close();
  for (Pager* pg : pagers) pg->MarkClean();
  Passed(CommitPoint::Done);
}

}  // namespace store
