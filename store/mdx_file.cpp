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

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>
#include <set>

#include "store/mdx_bcd.h"
#include "store/pager.h"
#include "store/store_error.h"
#include "store/system_error_text.h"

namespace store {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kPage = 512;
constexpr uint32_t kBlock = 1024;
constexpr uint32_t kPagesPerBlock = kBlock / kPage;
constexpr uint32_t kHeaderPages = 4;
constexpr uint32_t kTagTableOffset = 544;
constexpr uint32_t kTagEntryLength = 32;
constexpr int kTagTableEntries = 48;
constexpr int kMaxTags = 47;
constexpr int kMaxKeyLength = 100;
constexpr int kMaxExpression = 220;
constexpr int kMaxDepth = 32;

uint32_t Get32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint16_t Get16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}
void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

void PutDate(std::string& b, size_t at) {
  std::time_t now = std::time(nullptr);
  const std::tm* tm = std::localtime(&now);
  if (tm == nullptr) return;
  b[at] = static_cast<char>(tm->tm_year);
  b[at + 1] = static_cast<char>(tm->tm_mon + 1);
  b[at + 2] = static_cast<char>(tm->tm_mday);
}

// Tag names are plain ASCII field names.
std::string AsciiUpper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

int ItemLength(int keyLength) { return (keyLength + 4 + 3) / 4 * 4; }
int MaxKeys(int itemLength) { return static_cast<int>(kBlock - 12) / itemLength; }

// One node of a tag's B-tree. A leaf has one record number per key; a
// branch has one child more than keys (the last is the rightmost child).
struct Node {
  uint32_t page = 0;
  bool leaf = true;
  std::vector<std::string> keys;
  std::vector<uint32_t> ptrs;
};

using NodeRef = std::shared_ptr<const Node>;

// A position in a tag: the nodes from the root down to a leaf.
struct Frame {
  NodeRef node;
  size_t idx = 0;  // leaf: entry position; branch: child position
};
using Path = std::vector<Frame>;

// The same, with the kept nodes that a change edits in place.
struct EditFrame {
  EditFrame(std::shared_ptr<Node> h, size_t i) : holder(std::move(h)), node(*holder), idx(i) {}
  std::shared_ptr<Node> holder;
  Node& node;
  size_t idx = 0;
};
using EditPath = std::vector<EditFrame>;

struct TagInfo {
  MdxTagDef def;
  uint32_t headerPage = 0;
  int keyLength = 0;
  int itemLength = 0;
  int maxKeys = 0;
};

struct Header {
  uint32_t pageCount = 0;
  uint32_t firstFree = 0;
  uint32_t freeCount = 0;
};

}  // namespace

// Parsed nodes by page number: a plain vector, since the pages of an index
// are few and dense.
class NodeCache {
 public:
  std::shared_ptr<Node>* Find(uint32_t page) {
    if (page >= nodes_.size() || !nodes_[page]) return nullptr;
    return &nodes_[page];
  }
  void Set(uint32_t page, std::shared_ptr<Node> n) {
    if (page >= nodes_.size()) nodes_.resize(static_cast<size_t>(page) + 64);
    nodes_[page] = std::move(n);
  }
  void Erase(uint32_t page) {
    if (page < nodes_.size()) nodes_[page].reset();
  }
  void Clear() { nodes_.clear(); }

 private:
  std::vector<std::shared_ptr<Node>> nodes_;
};

// The nodes changed since the last Flush, with their tags.
class ChangedNodes {
 public:
  void Mark(uint32_t page, const TagInfo* tag) {
    if (page >= tags_.size()) tags_.resize(static_cast<size_t>(page) + 64, nullptr);
    if (!tags_[page]) pages_.push_back(page);
    tags_[page] = tag;
  }
  void Erase(uint32_t page) {
    if (page < tags_.size()) tags_[page] = nullptr;
  }
  template <typename F>
  void ForEach(F f) const {
    for (uint32_t p : pages_) {
      if (tags_[p]) f(p, *tags_[p]);
    }
  }
  void Clear() {
    for (uint32_t p : pages_) tags_[p] = nullptr;
    pages_.clear();
  }

 private:
  std::vector<const TagInfo*> tags_;
  std::vector<uint32_t> pages_;
};

struct MdxFile::Impl {
  fs::path path;
  bool readOnly = true;
  bool open = false;
  bool deferred = false;
  mutable Pager pager;
  std::vector<MdxTagDef> defs;
  std::vector<TagInfo> tags;

  // Nodes parsed from the file, kept while it is open; those changed since
  // the last Flush are listed in `changed` with their tag.
  mutable NodeCache cache;
  ChangedNodes changed;
  mutable std::optional<Header> cachedHeader;
  mutable std::vector<std::optional<uint32_t>> cachedRoots;

  // ---- errors -------------------------------------------------------
  std::string Name() const { return path.string(); }
  [[noreturn]] void Damaged(const std::string& detail) const {
    throw StoreError("El índice '" + Name() + "' está dañado: " + detail);
  }

  // ---- raw access ---------------------------------------------------
  std::string ReadAt(uint64_t offset, size_t length) const {
    if (offset + length > pager.Size()) Damaged("lectura fuera del archivo");
    std::string buf(length, '\0');
    pager.Read(offset, buf.data(), length);
    return buf;
  }
  void WriteAt(uint64_t offset, const std::string& bytes) {
    pager.Write(offset, bytes.data(), bytes.size());
  }

  void DropCache() const {
    cache.Clear();
    const_cast<Impl*>(this)->changed.Clear();
    cachedHeader.reset();
    cachedRoots.assign(tags.size(), std::nullopt);
  }

  // Writes the changed nodes into the pager.
  void Flush() {
    changed.ForEach([&](uint32_t page, const TagInfo& tag) {
      if (auto* n = cache.Find(page)) WriteNode(tag, **n);
    });
    changed.Clear();
  }

  Header ReadHeader() const {
    if (cachedHeader) return *cachedHeader;
    std::string h = ReadAt(32, 12);
    Header hd;
    hd.pageCount = Get32(h, 0);
    hd.firstFree = Get32(h, 4);
    hd.freeCount = Get32(h, 8);
    if (static_cast<uint64_t>(hd.pageCount) * kPage > pager.Size() ||
        hd.pageCount < kHeaderPages) {
      Damaged("número de páginas incorrecto");
    }
    cachedHeader = hd;
    return hd;
  }
  void WriteHeader(const Header& hd) {
    std::string h(12, '\0');
    Put32(h, 0, hd.pageCount);
    Put32(h, 4, hd.firstFree);
    Put32(h, 8, hd.freeCount);
    cachedHeader.reset();
    WriteAt(32, h);
    cachedHeader = hd;
  }

  void CheckBlockPage(uint32_t page, const Header& hd) const {
    if (page < kHeaderPages || static_cast<uint64_t>(page) + kPagesPerBlock > hd.pageCount) {
      Damaged("puntero de bloque fuera de rango (" + std::to_string(page) + ")");
    }
  }

  size_t TagPos(const TagInfo& t) const { return static_cast<size_t>(&t - tags.data()); }

  uint32_t RootPage(const TagInfo& t, const Header& hd) const {
    std::optional<uint32_t>& cached = cachedRoots[TagPos(t)];
    if (!cached) cached = Get32(ReadAt(static_cast<uint64_t>(t.headerPage) * kPage, 4), 0);
    CheckBlockPage(*cached, hd);
    return *cached;
  }
  void SetRootPage(const TagInfo& t, uint32_t root) {
    std::string b(4, '\0');
    Put32(b, 0, root);
    cachedRoots[TagPos(t)].reset();
    WriteAt(static_cast<uint64_t>(t.headerPage) * kPage, b);
    cachedRoots[TagPos(t)] = root;
  }

  // The tag header's mark that the tag holds at least one key.
  void SetHasKeys(const TagInfo& t, bool hasKeys) {
    WriteAt(static_cast<uint64_t>(t.headerPage) * kPage + 246, std::string(1, hasKeys ? 1 : 0));
  }

  // ---- keys ---------------------------------------------------------
  int CompareRaw(const TagInfo& t, const std::string& a, const std::string& b) const {
    if (t.def.keyType == 'N') return CompareBcdKeys(a, b);
    const int c = std::memcmp(a.data(), b.data(), static_cast<size_t>(t.keyLength));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  int CompareEntry(const TagInfo& t, const std::string& ka, uint32_t ra,
                   const std::string& kb, uint32_t rb) const {
    const int c = CompareRaw(t, ka, kb);
    if (c != 0) return c;
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
  }
  std::string RawKey(const TagInfo& t, const MdxKey& key) const {
    if (t.def.keyType == 'N') return EncodeBcdKey(key.number);
    std::string k = key.chars;
    k.resize(static_cast<size_t>(t.keyLength), ' ');
    return k;
  }
  MdxEntry MakeEntry(const TagInfo& t, const std::string& raw, uint32_t recno) const {
    MdxEntry e;
    e.recno = recno;
    if (t.def.keyType == 'N') {
      e.key.number = DecodeBcdKey(raw).value_or(0.0);
    } else {
      e.key.chars = raw;
    }
    return e;
  }

  // ---- nodes --------------------------------------------------------
  NodeRef Load(const TagInfo& t, uint32_t page, const Header& hd) const {
    CheckBlockPage(page, hd);
    if (auto* kept = cache.Find(page)) return *kept;
    auto n = std::make_shared<Node>(Parse(t, page));
    cache.Set(page, n);
    return n;
  }

  Node Parse(const TagInfo& t, uint32_t page) const {
    std::string b = ReadAt(static_cast<uint64_t>(page) * kPage, kBlock);
    Node n;
    n.page = page;
    const uint32_t count = Get32(b, 0);
    if (count > static_cast<uint32_t>(t.maxKeys)) {
      Damaged("nodo con demasiadas claves en la página " + std::to_string(page));
    }
    size_t at = 8;
    for (uint32_t i = 0; i < count; ++i) {
      n.ptrs.push_back(Get32(b, at));
      n.keys.push_back(b.substr(at + 4, static_cast<size_t>(t.keyLength)));
      at += static_cast<size_t>(t.itemLength);
    }
    const uint32_t right = Get32(b, at);
    n.leaf = right == 0;
    if (!n.leaf) n.ptrs.push_back(right);
    for (size_t i = 0; i < n.keys.size(); ++i) {
      if (t.def.keyType == 'N' && !DecodeBcdKey(n.keys[i])) {
        Damaged("clave numérica no válida en la página " + std::to_string(page));
      }
      if (n.leaf && n.ptrs[i] == 0) {
        Damaged("número de registro nulo en la página " + std::to_string(page));
      }
      if (i > 0) {
        const int c = n.leaf ? CompareEntry(t, n.keys[i - 1], n.ptrs[i - 1], n.keys[i], n.ptrs[i])
                             : CompareRaw(t, n.keys[i - 1], n.keys[i]);
        if (n.leaf ? c >= 0 : c > 0) {
          Damaged("claves desordenadas en la página " + std::to_string(page));
        }
      }
    }
    return n;
  }

  // Marks a node changed; a node that is not the kept one (a new node, or
  // a copy) becomes the kept one.
  void Store(const TagInfo& t, const Node& n) {
    auto* kept = cache.Find(n.page);
    if (!kept || kept->get() != &n) cache.Set(n.page, std::make_shared<Node>(n));
    changed.Mark(n.page, &t);
  }

  void WriteNode(const TagInfo& t, const Node& n) {
    std::string b(kBlock, '\0');
    const size_t count = n.keys.size();
    Put32(b, 0, static_cast<uint32_t>(count));
    size_t at = 8;
    for (size_t i = 0; i < count; ++i) {
      Put32(b, at, n.ptrs[i]);
      std::memcpy(b.data() + at + 4, n.keys[i].data(), static_cast<size_t>(t.keyLength));
      at += static_cast<size_t>(t.itemLength);
    }
    if (!n.leaf) Put32(b, at, n.ptrs.back());
    WriteAt(static_cast<uint64_t>(n.page) * kPage, b);
  }

  uint32_t Allocate(Header& hd) {
    uint32_t page;
    if (hd.firstFree != 0) {
      page = hd.firstFree;
      CheckBlockPage(page, hd);
      std::string b = ReadAt(static_cast<uint64_t>(page) * kPage, 8);
      hd.firstFree = Get32(b, 4);
      if (hd.freeCount > 0) --hd.freeCount;
    } else {
      page = hd.pageCount;
      hd.pageCount += kPagesPerBlock;
      cache.Erase(page);
      changed.Erase(page);
      // Make the new block part of the file before the header counts it.
      WriteAt(static_cast<uint64_t>(page) * kPage, std::string(kBlock, '\0'));
    }
    WriteHeader(hd);
    return page;
  }

  void Release(Header& hd, uint32_t page) {
    cache.Erase(page);
    changed.Erase(page);
    std::string b(kBlock, '\0');
    Put32(b, 4, hd.firstFree);
    WriteAt(static_cast<uint64_t>(page) * kPage, b);
    hd.firstFree = page;
    ++hd.freeCount;
    WriteHeader(hd);
  }

  // The greatest entry below a node (nullopt for an empty tree).
  std::optional<std::pair<std::string, uint32_t>> MaxBelow(const TagInfo& t, uint32_t page,
                                                           const Header& hd, int depth) const {
    for (;; ++depth) {
      if (depth > kMaxDepth) Damaged("ciclo en el árbol");
      NodeRef n = Load(t, page, hd);
      if (n->leaf) {
        if (n->keys.empty()) return std::nullopt;
        return std::make_pair(n->keys.back(), n->ptrs.back());
      }
      page = n->ptrs.back();
    }
  }

  // Descends to the first entry e with e > (key, recno) when strict, or
  // e >= (key, recno) otherwise. The leaf's position may be its end.
  Path Seek(const TagInfo& t, const std::string& key, uint32_t recno, bool strict,
            const Header& hd) const {
    auto satisfies = [&](const std::string& k, uint32_t r) {
      const int c = CompareEntry(t, k, r, key, recno);
      return strict ? c > 0 : c >= 0;
    };
    Path path;
    uint32_t page = RootPage(t, hd);
    for (int depth = 0;; ++depth) {
      if (depth > kMaxDepth) Damaged("ciclo en el árbol");
      Frame f;
      f.node = Load(t, page, hd);
      const Node& n = *f.node;
      if (n.leaf) {
        size_t lo = 0, hi = n.keys.size();
        while (lo < hi) {
          size_t mid = (lo + hi) / 2;
          if (satisfies(n.keys[mid], n.ptrs[mid])) hi = mid;
          else lo = mid + 1;
        }
        f.idx = lo;
        path.push_back(std::move(f));
        return path;
      }
      // First child whose greatest entry satisfies; the rightmost child
      // otherwise. The key of an entry decides unless it equals the key
      // sought; then the record number of the child's greatest entry does.
      // The children whose greatest key equals the key sought form a run;
      // their greatest record numbers rise along it. The run's last child
      // is tried first, which settles an append (a record number above
      // all others) with one descent.
      size_t lo = 0, hi = n.keys.size();
      while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (CompareRaw(t, n.keys[mid], key) >= 0) hi = mid;
        else lo = mid + 1;
      }
      size_t end = lo;
      while (end < n.keys.size() && CompareRaw(t, n.keys[end], key) == 0) ++end;
      if (end > lo) {
        auto last = MaxBelow(t, n.ptrs[end - 1], hd, depth + 1);
        if (!(last && satisfies(last->first, last->second))) {
          lo = end;
        } else {
          size_t a = lo, b = end - 1;
          while (a < b) {
            const size_t mid = (a + b) / 2;
            auto mx = MaxBelow(t, n.ptrs[mid], hd, depth + 1);
            if (mx && satisfies(mx->first, mx->second)) b = mid;
            else a = mid + 1;
          }
          lo = a;
        }
      }
      f.idx = lo;
      page = n.ptrs[lo];
      path.push_back(std::move(f));
    }
  }

  // Descends from the child at the path's last branch position to its
  // leftmost (or rightmost) leaf.
  void DescendEdge(const TagInfo& t, Path& path, bool leftmost, const Header& hd) const {
    while (!path.back().node->leaf) {
      if (static_cast<int>(path.size()) > kMaxDepth) Damaged("ciclo en el árbol");
      uint32_t child = path.back().node->ptrs[path.back().idx];
      Frame f;
      f.node = Load(t, child, hd);
      if (f.node->leaf) {
        f.idx = leftmost ? 0 : f.node->keys.size();
      } else {
        f.idx = leftmost ? 0 : f.node->ptrs.size() - 1;
      }
      path.push_back(std::move(f));
    }
  }

  // The entry at the path's position, moving on to the next leaves when
  // the position is at the end of its leaf.
  std::optional<MdxEntry> Current(const TagInfo& t, Path& path, const Header& hd) const {
    for (int guard = 0;; ++guard) {
      Frame& leaf = path.back();
      if (leaf.idx < leaf.node->keys.size()) {
        return MakeEntry(t, leaf.node->keys[leaf.idx], leaf.node->ptrs[leaf.idx]);
      }
      if (guard > 1'000'000) Damaged("recorrido sin fin");
      path.pop_back();
      while (!path.empty() && path.back().idx + 1 >= path.back().node->ptrs.size()) path.pop_back();
      if (path.empty()) return std::nullopt;
      ++path.back().idx;
      DescendEdge(t, path, true, hd);
    }
  }

  // The entry just before the path's position.
  std::optional<MdxEntry> Previous(const TagInfo& t, Path& path, const Header& hd) const {
    for (int guard = 0;; ++guard) {
      Frame& leaf = path.back();
      if (leaf.idx > 0) {
        --leaf.idx;
        return MakeEntry(t, leaf.node->keys[leaf.idx], leaf.node->ptrs[leaf.idx]);
      }
      if (guard > 1'000'000) Damaged("recorrido sin fin");
      path.pop_back();
      while (!path.empty() && path.back().idx == 0) path.pop_back();
      if (path.empty()) return std::nullopt;
      --path.back().idx;
      DescendEdge(t, path, false, hd);
    }
  }

  // ---- changes ------------------------------------------------------
  static EditPath Editable(const Path& path) {
    EditPath out;
    out.reserve(path.size());
    for (const Frame& f : path) out.emplace_back(std::const_pointer_cast<Node>(f.node), f.idx);
    return out;
  }

  void Insert(const TagInfo& t, const std::string& key, uint32_t recno) {
    Header hd = ReadHeader();
    EditPath path = Editable(Seek(t, key, recno, false, hd));
    {
      Node& leaf = path.back().node;
      const size_t i = path.back().idx;
      if (i < leaf.keys.size() && CompareEntry(t, leaf.keys[i], leaf.ptrs[i], key, recno) == 0) {
        return;  // already there
      }
      leaf.keys.insert(leaf.keys.begin() + static_cast<std::ptrdiff_t>(i), key);
      leaf.ptrs.insert(leaf.ptrs.begin() + static_cast<std::ptrdiff_t>(i), recno);
      if (path.size() == 1 && leaf.keys.size() == 1) SetHasKeys(t, true);
    }
    for (size_t lvl = path.size() - 1;; --lvl) {
      Node& n = path[lvl].node;
      if (n.keys.size() <= static_cast<size_t>(t.maxKeys)) {
        Store(t, n);
        return;
      }
      // Split: the lower half moves to a new block, the upper half stays,
      // so the parent's entry for this node stays right.
      Node left;
      left.leaf = n.leaf;
      left.page = Allocate(hd);
      std::string promoted;
      if (n.leaf) {
        const size_t m = n.keys.size() / 2;
        left.keys.assign(n.keys.begin(), n.keys.begin() + static_cast<std::ptrdiff_t>(m));
        left.ptrs.assign(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        n.keys.erase(n.keys.begin(), n.keys.begin() + static_cast<std::ptrdiff_t>(m));
        n.ptrs.erase(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        promoted = left.keys.back();
      } else {
        const size_t m = n.ptrs.size() / 2;  // children that move left
        left.ptrs.assign(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        left.keys.assign(n.keys.begin(), n.keys.begin() + static_cast<std::ptrdiff_t>(m - 1));
        promoted = n.keys[m - 1];
        n.ptrs.erase(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        n.keys.erase(n.keys.begin(), n.keys.begin() + static_cast<std::ptrdiff_t>(m));
      }
      Store(t, left);
      Store(t, n);
      if (lvl == 0) {
        Node root;
        root.leaf = false;
        root.page = Allocate(hd);
        root.keys = {promoted};
        root.ptrs = {left.page, n.page};
        Store(t, root);
        SetRootPage(t, root.page);
        return;
      }
      Node& parent = path[lvl - 1].node;
      const size_t at = path[lvl - 1].idx;
      parent.keys.insert(parent.keys.begin() + static_cast<std::ptrdiff_t>(at), promoted);
      parent.ptrs.insert(parent.ptrs.begin() + static_cast<std::ptrdiff_t>(at), left.page);
    }
  }

  static size_t Size(const Node& n) { return n.keys.size(); }
  static bool Empty(const Node& n) { return n.leaf ? n.keys.empty() : n.ptrs.empty(); }

  void Remove(const TagInfo& t, const std::string& key, uint32_t recno) {
    Header hd = ReadHeader();
    EditPath path = Editable(Seek(t, key, recno, false, hd));
    {
      Node& leaf = path.back().node;
      const size_t i = path.back().idx;
      if (i >= leaf.keys.size() || CompareEntry(t, leaf.keys[i], leaf.ptrs[i], key, recno) != 0) {
        return;  // not there
      }
      leaf.keys.erase(leaf.keys.begin() + static_cast<std::ptrdiff_t>(i));
      leaf.ptrs.erase(leaf.ptrs.begin() + static_cast<std::ptrdiff_t>(i));
    }
    // When the greatest key below a node changes, the key that names the
    // node in its parent changes with it (unless the node is the parent's
    // rightmost child: then the parent's own greatest key changed).
    bool maxChanged = path.back().idx == path.back().node.keys.size();
    std::string newMax;
    if (maxChanged && !path.back().node.keys.empty()) newMax = path.back().node.keys.back();
    std::vector<bool> dirty(path.size(), false);
    dirty.back() = true;
    // Nodes filled below a third are merged with a neighbour when the two
    // fit in one block, so that deletions give their blocks back.
    const size_t minFill = static_cast<size_t>(t.maxKeys) / 3;

    for (size_t lvl = path.size() - 1;; --lvl) {
      Node& n = path[lvl].node;
      if (lvl == 0) {
        if (!dirty[0]) return;
        if (!n.leaf && n.ptrs.empty()) {
          n.leaf = true;
          n.keys.clear();
        }
        Store(t, n);
        if (n.leaf && n.keys.empty()) SetHasKeys(t, false);
        CollapseRoot(t, hd, n);
        return;
      }
      if (!dirty[lvl] && !maxChanged) return;
      Node& p = path[lvl - 1].node;
      const size_t i = path[lvl - 1].idx;
      if (Empty(n)) {
        Release(hd, n.page);
        const bool rightmost = i + 1 == p.ptrs.size();
        p.ptrs.erase(p.ptrs.begin() + static_cast<std::ptrdiff_t>(i));
        if (rightmost) {
          if (!p.keys.empty()) {
            newMax = p.keys.back();
            p.keys.pop_back();
          }
          maxChanged = true;
        } else {
          p.keys.erase(p.keys.begin() + static_cast<std::ptrdiff_t>(i));
          maxChanged = false;
        }
        dirty[lvl - 1] = true;
        continue;
      }
      if (maxChanged && i < p.keys.size()) {
        if (p.keys[i] != newMax) {
          p.keys[i] = newMax;
          dirty[lvl - 1] = true;
        }
        maxChanged = false;
      }
      if (dirty[lvl] && Size(n) < minFill && p.ptrs.size() > 1) {
        const size_t j = i + 1 < p.ptrs.size() ? i + 1 : i - 1;
        Node sibling = *Load(t, p.ptrs[j], hd);
        if (sibling.leaf != n.leaf) Damaged("hojas a distinta profundidad");
        Node& lo = j > i ? n : sibling;
        Node& hi = j > i ? sibling : n;
        const size_t li = std::min(i, j);
        const size_t merged = Size(lo) + Size(hi) + (n.leaf ? 0 : 1);
        if (merged <= static_cast<size_t>(t.maxKeys)) {
          // The upper node keeps its block: its key in the parent stays
          // right; the lower node's block is freed.
          if (!n.leaf) {
            lo.keys.push_back(p.keys[li]);
          }
          hi.keys.insert(hi.keys.begin(), lo.keys.begin(), lo.keys.end());
          hi.ptrs.insert(hi.ptrs.begin(), lo.ptrs.begin(), lo.ptrs.end());
          Store(t, hi);
          Release(hd, lo.page);
          p.ptrs.erase(p.ptrs.begin() + static_cast<std::ptrdiff_t>(li));
          p.keys.erase(p.keys.begin() + static_cast<std::ptrdiff_t>(li));
          dirty[lvl - 1] = true;
          continue;
        }
      }
      if (dirty[lvl]) Store(t, n);
    }
  }

  // A root branch left with one child gives its place to that child.
  void CollapseRoot(const TagInfo& t, Header& hd, Node root) {
    for (int depth = 0; !root.leaf && root.ptrs.size() == 1; ++depth) {
      if (depth > kMaxDepth) Damaged("ciclo en el árbol");
      const uint32_t child = root.ptrs[0];
      Node next = *Load(t, child, hd);
      SetRootPage(t, child);
      Release(hd, root.page);
      root = std::move(next);
    }
  }

  // ---- checks -------------------------------------------------------
  // Checks a whole tag; `seen` collects the blocks in use, so that no block
  // serves two tags, a tag header and a tree, or a tree and the free chain.
  void VerifyTag(const TagInfo& t, std::set<uint32_t>& seen) const {
    Header hd = ReadHeader();
    int leafDepth = -1;
    std::optional<std::pair<std::string, uint32_t>> last;
    // The keys below a branch entry lie between the key of the entry before
    // it and its own key. Writers that do not update branch keys after a
    // removal leave a key above the greatest one below it; that still
    // orders the tree and is accepted.
    std::function<void(uint32_t, int, const std::string*, const std::string*)> walk =
        [&](uint32_t page, int depth, const std::string* lo, const std::string* hi) {
      if (depth > kMaxDepth) Damaged("ciclo en el árbol");
      if (!seen.insert(page).second || !seen.insert(page + 1).second) {
        Damaged("bloque usado dos veces o ciclo (" + std::to_string(page) + ")");
      }
      const NodeRef ref = Load(t, page, hd);
      const Node& n = *ref;
      const std::string where = " en la página " + std::to_string(page);
      for (const std::string& k : n.keys) {
        if ((lo && CompareRaw(t, k, *lo) < 0) || (hi && CompareRaw(t, k, *hi) > 0)) {
          Damaged((n.leaf ? "clave fuera del intervalo de su rama" : "clave de rama incorrecta") +
                  where);
        }
      }
      if (n.leaf) {
        if (n.keys.empty() && depth > 0) Damaged("hoja vacía" + where);
        if (leafDepth < 0) leafDepth = depth;
        else if (leafDepth != depth) Damaged("hojas a distinta profundidad");
        for (size_t i = 0; i < n.keys.size(); ++i) {
          if (last && CompareEntry(t, last->first, last->second, n.keys[i], n.ptrs[i]) >= 0) {
            Damaged("claves desordenadas" + where);
          }
          last = std::make_pair(n.keys[i], n.ptrs[i]);
        }
        return;
      }
      for (size_t i = 0; i < n.ptrs.size(); ++i) {
        walk(n.ptrs[i], depth + 1, i > 0 ? &n.keys[i - 1] : lo,
             i < n.keys.size() ? &n.keys[i] : hi);
      }
    };
    walk(RootPage(t, hd), 0, nullptr, nullptr);
  }

  void VerifyFreeChain(std::set<uint32_t>& seen) const {
    Header hd = ReadHeader();
    for (uint32_t page = hd.firstFree; page != 0;) {
      CheckBlockPage(page, hd);
      if (!seen.insert(page).second || !seen.insert(page + 1).second) {
        Damaged("bloque libre en uso o ciclo en la cadena de bloques libres");
      }
      page = Get32(ReadAt(static_cast<uint64_t>(page) * kPage, 8), 4);
    }
  }

  void VerifyAll() const {
    std::set<uint32_t> seen;
    for (const TagInfo& t : tags) {
      if (!seen.insert(t.headerPage).second || !seen.insert(t.headerPage + 1).second) {
        Damaged("cabecera de etiqueta repetida");
      }
    }
    for (const TagInfo& t : tags) VerifyTag(t, seen);
    VerifyFreeChain(seen);
  }

  const TagInfo& Tag(int tag) const {
    if (!open) throw StoreError(texts::kClosedDataset);
    if (tag < 0 || tag >= static_cast<int>(tags.size())) {
      throw StoreError("Etiqueta inexistente en el índice '" + Name() + "'");
    }
    return tags[static_cast<size_t>(tag)];
  }
  void CheckWritable() const {
    if (readOnly) {
      throw StoreError("No se puede modificar el índice '" + Name() + "' abierto en sólo lectura");
    }
  }
};

// ---------------------------------------------------------------------

void MdxFile::Create(const fs::path& path, const std::string& dbfBaseName,
                     const std::vector<MdxTagDef>& tagDefs) {
  const std::string name = path.string();
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
  // written in place and synced.
  os::File file;
  if (!file.Open(path, os::OpenMode::CreateOrTruncate) ||
      !file.WriteAt(0, img.data(), img.size()) || !file.Sync()) {
    const int err = os::LastError();
    file.Close();
    os::RemoveFile(path);
    bad("no se puede escribir el archivo: " + SystemErrorText(err));
  }
}

MdxFile::MdxFile() : impl_(std::make_unique<Impl>()) {}
MdxFile::~MdxFile() = default;

void MdxFile::Open(const fs::path& path, bool readOnly) {
  Close();
  Impl& m = *impl_;
  m.path = path;
  m.readOnly = readOnly;
  os::File file;
  if (!file.Open(path, readOnly ? os::OpenMode::ReadOnly : os::OpenMode::ReadWrite)) {
    if (os::IsNotFound(os::LastError())) {
      throw StoreError("No se encuentra el índice '" + path.string() + "'");
    }
    throw StoreError("No se puede abrir el índice '" + path.string() + "': " +
                     SystemErrorText(os::LastError()));
  }
  if (!file.IsRegularFile()) {
    throw StoreError("No se encuentra el índice '" + path.string() + "'");
  }
  try {
    m.pager.Attach(std::move(file), path, path.filename().string(), !readOnly);
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
    m.VerifyAll();
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
  Path path = impl_->Seek(t, impl_->RawKey(t, after.key), after.recno, true, hd);
  return impl_->Current(t, path, hd);
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

int MdxFile::CompareKeys(int tag, const MdxKey& a, const MdxKey& b) const {
  const TagInfo& t = impl_->Tag(tag);
  if (t.def.keyType == 'N') {
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
  }
  return impl_->CompareRaw(t, impl_->RawKey(t, a), impl_->RawKey(t, b));
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
