// The production index file (.MDX): the dBase IV multiple-index layout.
//
// The file is made of 512-byte pages; pages are used in blocks of two
// (1024 bytes). All numbers are little-endian.
//
// File header (pages 0-3, 2048 bytes):
//    0   version (2)              1-3   creation date YY MM DD (YY = year-1900)
//    4   table name without extension, 16 bytes, zero padded
//   20   block size in pages (2)  22    block size in bytes (1024)
//   24   production index flag (1)
//   25   entries in the tag table (48)   26  length of a tag entry (32)
//   28   tags in use (16 bits)    30    tags in use + 1   31  0x1B
//   32   pages in the file (the next block is allocated here)
//   36   first page of the chain of free blocks (0: none)
//   40   number of free blocks    44-46 date of last update YY MM DD
//
// Tag table: 32-byte entries from offset 544 (entry 0, at 512, is unused):
//    0   page of the tag header   4   tag name, 11 bytes, zero padded
//   15   key format (0x10)        16  left, 17 right, 18 parent: the tags
//        (1-based, 0 none) forming a binary search tree of the tag names
//   19   0x02                     20  key type 'C' or 'N'
//
// Tag header (one block):
//    0   root block page          4   size of the header in pages (2)
//    8   key format (0x10; +0x08 descending, +0x40 unique)
//    9   key type                 11  0x1B
//   12   key length (16 bits)     14  maximum keys in a node (16 bits)
//   16   secondary key type (0)   18  key item length (16 bits)
//   20   change serial number     23  unique flag
//   24   key expression, zero terminated (here: the field name)
//  246   1 while the tag holds keys, 0 when it is empty
//  248   left and 252 right: the root page (as dBase writes them)
//  257-259 creation date          480 0x01: the key is a plain field
//
// B-tree node (one block):
//    0   number of entries n      4   unused (0)
//    8   n entries of the key item length: a 4-byte pointer, then the key
//        padded with zeros to the item length (key length + 4, rounded up
//        to a multiple of 4)
//    8 + n * item length: a 4-byte pointer that is 0 in a leaf and the
//        rightmost child in a branch
// In a leaf the pointer of an entry is the record number (1-based). In a
// branch it is a child node, and the key of the entry is the greatest key
// of that child; the rightmost child holds the keys after the last one.
// The maximum number of entries is (1024 - 12) / key item length.
//
// Character keys are the field padded with spaces and compare byte by
// byte; numeric keys are 12-byte packed decimals (mdx_bcd.h). Equal keys
// are ordered by record number.
//
// Free blocks form a chain from the header: a free block holds 0 entries
// and, at offset 4, the page of the next free block.
//
// The file is read through its pager (pager.h). Parsed nodes are kept as
// long as the file is open; a change edits them in memory and marks them,
// and Flush writes the marked nodes into the pager's pages just before the
// table layer commits. A rollback forgets every parsed node.
#include "store/mdx_file.h"
#include "store/path_text.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "store/mdx_bcd.h"
#include "store/mdx_btree.h"
#include "store/pager.h"
#include "store/store_error.h"
#include "store/system_error_text.h"

namespace store {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------

void MdxFile::Create(const fs::path& path, const std::string& dbfBaseName,
                     const std::vector<MdxTagDef>& tagDefs, bool sync) {
  const std::string name = PathText(path);
  auto bad = [&](const std::string& detail) {
    throw StoreError("No se puede crear el índice '" + name + "': " + detail);
  };
  if (tagDefs.empty() || static_cast<int>(tagDefs.size()) > kMaxTags) {
    bad("número de etiquetas no válido");
  }
  std::vector<MdxTagDef> defs = tagDefs;
  for (size_t i = 0; i < defs.size(); ++i) {
    MdxTagDef& d = defs[i];
    d.name = AsciiUpper(d.name);
    if (d.name.empty() || d.name.size() > 10) bad("nombre de etiqueta no válido '" + d.name + "'");
    for (size_t j = 0; j < i; ++j) {
      if (defs[j].name == d.name) bad("etiqueta repetida '" + d.name + "'");
    }
    if (d.expression.empty() || static_cast<int>(d.expression.size()) >= kMaxExpression) {
      bad("expresión no válida en la etiqueta '" + d.name + "'");
    }
    if (d.keyType == 'N') {
      d.keyLength = kBcdKeyLength;
    } else if (d.keyType == 'C') {
      if (d.keyLength < 1 || d.keyLength > kMaxKeyLength) {
        bad("longitud de clave no válida en la etiqueta '" + d.name + "'");
      }
    } else {
      bad("tipo de clave no válido en la etiqueta '" + d.name + "'");
    }
  }

  const uint32_t pageCount = kHeaderPages + static_cast<uint32_t>(defs.size()) * 2 * kPagesPerBlock;
  std::string img(static_cast<size_t>(pageCount) * kPage, '\0');
  img[0] = 2;
  PutDate(img, 1);
  std::memcpy(img.data() + 4, dbfBaseName.data(), std::min<size_t>(dbfBaseName.size(), 16));
  Put16(img, 20, static_cast<uint16_t>(kPagesPerBlock));
  Put16(img, 22, static_cast<uint16_t>(kBlock));
  img[24] = 1;
  img[25] = static_cast<char>(kTagTableEntries);
  img[26] = static_cast<char>(kTagEntryLength);
  Put16(img, 28, static_cast<uint16_t>(defs.size()));
  img[30] = static_cast<char>(defs.size() + 1);
  img[31] = 0x1B;
  Put32(img, 32, pageCount);
  Put32(img, 36, 0);
  Put32(img, 40, 0);
  PutDate(img, 44);

  // Binary search tree of the tag names, in the order the tags were given.
  std::vector<int> left(defs.size(), 0), right(defs.size(), 0), parent(defs.size(), 0);
  for (size_t i = 1; i < defs.size(); ++i) {
    size_t at = 0;
    for (;;) {
      std::vector<int>& side = defs[i].name < defs[at].name ? left : right;
      if (side[at] == 0) {
        side[at] = static_cast<int>(i) + 1;
        parent[i] = static_cast<int>(at) + 1;
        break;
      }
      at = static_cast<size_t>(side[at] - 1);
    }
  }

  for (size_t i = 0; i < defs.size(); ++i) {
    const MdxTagDef& d = defs[i];
    const uint32_t headerPage = kHeaderPages + static_cast<uint32_t>(i) * 2 * kPagesPerBlock;
    const uint32_t rootPage = headerPage + kPagesPerBlock;
    const size_t e = kTagTableOffset + i * kTagEntryLength;
    Put32(img, e, headerPage);
    std::memcpy(img.data() + e + 4, d.name.data(), d.name.size());
    img[e + 15] = 0x10;
    img[e + 16] = static_cast<char>(left[i]);
    img[e + 17] = static_cast<char>(right[i]);
    img[e + 18] = static_cast<char>(parent[i]);
    img[e + 19] = 0x02;
    img[e + 20] = d.keyType;

    const size_t h = static_cast<size_t>(headerPage) * kPage;
    const int item = ItemLength(d.keyLength);
    Put32(img, h + 0, rootPage);
    Put32(img, h + 4, kPagesPerBlock);
    img[h + 8] = 0x10;
    img[h + 9] = d.keyType;
    img[h + 11] = 0x1B;
    Put16(img, h + 12, static_cast<uint16_t>(d.keyLength));
    Put16(img, h + 14, static_cast<uint16_t>(MaxKeys(item)));
    Put16(img, h + 16, 0);
    Put16(img, h + 18, static_cast<uint16_t>(item));
    img[h + 20] = 1;
    img[h + 23] = 0;
    std::memcpy(img.data() + h + 24, d.expression.data(), d.expression.size());
    Put32(img, h + 248, rootPage);
    Put32(img, h + 252, rootPage);
    PutDate(img, h + 257);
    img[h + 480] = 0x01;
    // The root block is an empty leaf: all zeros.
  }

  // The caller stages a new index under a name nobody else uses, so it is
  // written in place and synced (here, or by the caller before it takes
  // its final name).
  os::File file;
  if (!file.Open(path, os::OpenMode::CreateOrTruncate) ||
      !file.WriteAt(0, img.data(), img.size()) || (sync && !file.Sync())) {
    const int err = os::LastError();
    file.Close();
    os::RemoveFile(path);
    bad("no se puede escribir el archivo: " + SystemErrorText(err));
  }
}

MdxFile::MdxFile() : impl_(std::make_unique<Impl>()) {}
MdxFile::~MdxFile() = default;

void MdxFile::Open(const fs::path& path, bool readOnly, bool verify) {
  Close();
  Impl& m = *impl_;
  m.path = path;
  m.readOnly = readOnly;
  os::File file;
  if (!file.Open(path, readOnly ? os::OpenMode::ReadOnly : os::OpenMode::ReadWrite)) {
    if (os::IsNotFound(os::LastError())) {
      throw StoreError("No se encuentra el índice '" + PathText(path) + "'");
    }
    throw StoreError("No se puede abrir el índice '" + PathText(path) + "': " +
                     SystemErrorText(os::LastError()));
  }
  if (!file.IsRegularFile()) {
    throw StoreError("No se encuentra el índice '" + PathText(path) + "'");
  }
  try {
    m.pager.Attach(std::move(file), path, FileNameText(path), !readOnly);
    if (m.pager.Size() < kHeaderPages * kPage) m.Damaged("archivo demasiado corto");
    std::string h = m.ReadAt(0, kHeaderPages * kPage);
    if (Get16(h, 20) != kPagesPerBlock || Get16(h, 22) != kBlock) {
      m.Damaged("tamaño de bloque no admitido");
    }
    if (static_cast<unsigned char>(h[26]) != kTagEntryLength) m.Damaged("tabla de etiquetas no válida");
    const int tagCount = Get16(h, 28);
    if (tagCount < 1 || tagCount > kMaxTags) m.Damaged("número de etiquetas no válido");
    Header hd = m.ReadHeader();
    for (int i = 0; i < tagCount; ++i) {
      const size_t e = kTagTableOffset + static_cast<size_t>(i) * kTagEntryLength;
      TagInfo t;
      t.headerPage = Get32(h, e);
      std::string name = h.substr(e + 4, 11);
      name.resize(std::strlen(name.c_str()));
      while (!name.empty() && name.back() == ' ') name.pop_back();
      if (name.empty()) m.Damaged("etiqueta sin nombre");
      t.def.name = name;
      if (t.headerPage < kHeaderPages || static_cast<uint64_t>(t.headerPage) + 1 > hd.pageCount) {
        m.Damaged("cabecera de etiqueta fuera de rango");
      }
      std::string th = m.ReadAt(static_cast<uint64_t>(t.headerPage) * kPage, kPage);
      t.def.keyType = th[9];
      t.keyLength = Get16(th, 12);
      t.itemLength = Get16(th, 18);
      t.maxKeys = Get16(th, 14);
      if (t.def.keyType != 'C' && t.def.keyType != 'N') {
        m.Damaged("tipo de clave no admitido en la etiqueta '" + name + "'");
      }
      if (t.keyLength < 1 || t.keyLength > kMaxKeyLength ||
          (t.def.keyType == 'N' && t.keyLength != kBcdKeyLength)) {
        m.Damaged("longitud de clave no válida en la etiqueta '" + name + "'");
      }
      if (t.itemLength != ItemLength(t.keyLength)) {
        m.Damaged("longitud de entrada no válida en la etiqueta '" + name + "'");
      }
      if (t.maxKeys < 2 || t.maxKeys > MaxKeys(t.itemLength)) {
        m.Damaged("máximo de claves no válido en la etiqueta '" + name + "'");
      }
      t.def.keyLength = t.def.keyType == 'C' ? t.keyLength : 0;
      std::string expr = th.substr(24, kMaxExpression);
      expr.resize(std::strlen(expr.c_str()));
      while (!expr.empty() && expr.back() == ' ') expr.pop_back();
      t.def.expression = expr;
      m.tags.push_back(t);
      m.defs.push_back(t.def);
    }
    m.open = true;
    m.DropCache();
    if (verify) m.VerifyAll();
  } catch (...) {
    m.open = false;
    m.tags.clear();
    m.defs.clear();
    m.pager.Detach();
    throw;
  }
}

void MdxFile::Close() {
  Impl& m = *impl_;
  m.pager.Detach();
  m.open = false;
  m.tags.clear();
  m.defs.clear();
  m.cache.Clear();
  m.changed.Clear();
  m.cachedHeader.reset();
  m.cachedRoots.clear();
}

bool MdxFile::IsOpen() const { return impl_->open; }

const std::vector<MdxTagDef>& MdxFile::Tags() const { return impl_->defs; }

int MdxFile::TagIndex(const std::string& name) const {
  for (size_t i = 0; i < impl_->defs.size(); ++i) {
    if (AsciiUpper(impl_->defs[i].name) == AsciiUpper(name)) return static_cast<int>(i);
  }
  return -1;
}

void MdxFile::Insert(int tag, const MdxEntry& entry) {
  const TagInfo& t = impl_->Tag(tag);
  impl_->CheckWritable();
  if (entry.recno == 0) throw StoreError("Número de registro no válido para el índice");
  const std::string key = impl_->RawKey(t, entry.key);
  try {
    impl_->Insert(t, key, entry.recno);
    if (!impl_->deferred) WriteThrough();
  } catch (...) {
    Discard();
    throw;
  }
}

void MdxFile::Remove(int tag, const MdxEntry& entry) {
  const TagInfo& t = impl_->Tag(tag);
  impl_->CheckWritable();
  const std::string key = impl_->RawKey(t, entry.key);
  try {
    impl_->Remove(t, key, entry.recno);
    if (!impl_->deferred) WriteThrough();
  } catch (...) {
    Discard();
    throw;
  }
}

void MdxFile::BuildTag(int tag, const char* keys, const uint32_t* recnos, size_t count) {
  const TagInfo& t = impl_->Tag(tag);
  impl_->CheckWritable();
  const size_t length = static_cast<size_t>(t.keyLength);
  for (size_t i = 0; i < count; ++i) {
    if (recnos[i] == 0) throw StoreError("Número de registro no válido para el índice");
  }
  // The entries by position, in the tag's order; a repeated one once.
  auto compare = [&](uint32_t a, uint32_t b) {
    return impl_->CompareEntry(t, std::string_view(keys + a * length, length), recnos[a],
                               std::string_view(keys + b * length, length), recnos[b]);
  };
  std::vector<uint32_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = static_cast<uint32_t>(i);
  if (t.def.keyType == 'C') {
    // Character keys order as their bytes: the entries, first put in
    // record number order, are sorted stably by each byte of the key from
    // the last to the first (a byte that all keys share costs one count).
    // A pass per key byte, without a comparison.
    if (!std::is_sorted(order.begin(), order.end(),
                        [&](uint32_t x, uint32_t y) { return recnos[x] < recnos[y]; })) {
      std::stable_sort(order.begin(), order.end(),
                       [&](uint32_t x, uint32_t y) { return recnos[x] < recnos[y]; });
    }
    std::vector<uint32_t> sorted(count);
    for (size_t at = length; at-- > 0;) {
      size_t start[257] = {};
      for (uint32_t i : order) ++start[static_cast<unsigned char>(keys[i * length + at]) + 1];
      if (std::find(std::begin(start), std::end(start), count) != std::end(start)) continue;
      for (size_t c = 1; c < 257; ++c) start[c] += start[c - 1];
      for (uint32_t i : order) sorted[start[static_cast<unsigned char>(keys[i * length + at])]++] = i;
      order.swap(sorted);
    }
  } else {
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return compare(a, b) < 0; });
  }
  order.erase(std::unique(order.begin(), order.end(),
                          [&](uint32_t a, uint32_t b) { return compare(a, b) == 0; }),
              order.end());
  if (t.def.keyType == 'N') {
    for (uint32_t i : order) {
      if (!DecodeBcdKey(std::string(keys + i * length, length))) {
        throw StoreError("Clave numérica no válida para el índice '" + impl_->Name() + "'");
      }
    }
  }
  try {
    impl_->BuildTag(t, keys, recnos, order);
    if (!impl_->deferred) WriteThrough();
  } catch (...) {
    Discard();
    throw;
  }
}

std::string MdxFile::StoredKey(int tag, const MdxKey& key) const {
  return impl_->RawKey(impl_->Tag(tag), key);
}

std::optional<MdxEntry> MdxFile::First(int tag) const {
  const TagInfo& t = impl_->Tag(tag);
  Header hd = impl_->ReadHeader();
  Path path;
  Frame f;
  f.node = impl_->Load(t, impl_->RootPage(t, hd), hd);
  f.idx = 0;
  path.push_back(std::move(f));
  impl_->DescendEdge(t, path, true, hd);
  return impl_->Current(t, path, hd);
}

std::optional<MdxEntry> MdxFile::Last(int tag) const {
  const TagInfo& t = impl_->Tag(tag);
  Header hd = impl_->ReadHeader();
  Path path;
  Frame f;
  f.node = impl_->Load(t, impl_->RootPage(t, hd), hd);
  f.idx = f.node->leaf ? f.node->keys.size() : f.node->ptrs.size() - 1;
  path.push_back(std::move(f));
  impl_->DescendEdge(t, path, false, hd);
  return impl_->Previous(t, path, hd);
}

std::optional<MdxEntry> MdxFile::Next(int tag, const MdxEntry& after) const {
  const TagInfo& t = impl_->Tag(tag);
  Header hd = impl_->ReadHeader();
  const std::string key = impl_->RawKey(t, after.key);
  Path path;
  if (!impl_->ResumeAfter(t, key, after.recno, path)) {
    path = impl_->Seek(t, key, after.recno, true, hd);
  }
  std::optional<MdxEntry> next = impl_->Current(t, path, hd);
  if (next) impl_->KeepCursor(t, std::move(path));
  return next;
}

std::optional<MdxEntry> MdxFile::Prior(int tag, const MdxEntry& before) const {
  const TagInfo& t = impl_->Tag(tag);
  Header hd = impl_->ReadHeader();
  Path path = impl_->Seek(t, impl_->RawKey(t, before.key), before.recno, false, hd);
  return impl_->Previous(t, path, hd);
}

std::optional<MdxEntry> MdxFile::LowerBound(int tag, const MdxKey& key) const {
  const TagInfo& t = impl_->Tag(tag);
  Header hd = impl_->ReadHeader();
  Path path = impl_->Seek(t, impl_->RawKey(t, key), 0, false, hd);
  return impl_->Current(t, path, hd);
}

void MdxFile::WalkLeaves(int tag, LeafStep step, void* visitor) const {
  impl_->ForEachLeaf(impl_->Tag(tag), [step, visitor](const char* keys, const uint32_t* recnos,
                                                      size_t count) {
    return step(visitor, keys, recnos, count);
  });
}

int MdxFile::StoredKeyLength(int tag) const { return impl_->Tag(tag).keyLength; }

int MdxFile::CompareKeys(int tag, const MdxKey& a, const MdxKey& b) const {
  const TagInfo& t = impl_->Tag(tag);
  if (t.def.keyType == 'N') {
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
  }
  // As the stored keys compare: each text cut or padded with spaces to the
  // key's length, byte by byte.
  const size_t n = static_cast<size_t>(t.keyLength);
  if (a.chars.size() >= n && b.chars.size() >= n) {
    const int c = std::memcmp(a.chars.data(), b.chars.data(), n);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(i < a.chars.size() ? a.chars[i] : ' ');
    const auto y = static_cast<unsigned char>(i < b.chars.size() ? b.chars[i] : ' ');
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

void MdxFile::Flush() { impl_->Flush(); }

void MdxFile::SetDeferred(bool deferred) { impl_->deferred = deferred; }

void MdxFile::WriteThrough() {
  impl_->Flush();
  impl_->pager.WriteBack();
  impl_->pager.MarkClean();
}

Pager& MdxFile::PagerRef() { return impl_->pager; }

void MdxFile::Discard() {
  impl_->pager.Discard();
  impl_->DropCache();
}

void MdxFile::Save() {
  Flush();
  CommitPages(fs::path(), {&impl_->pager}, false);
}

void MdxFile::Verify() const {
  const Impl& m = *impl_;
  if (!m.open) throw StoreError(texts::kClosedDataset);
  m.VerifyAll();
}

}  // namespace store
