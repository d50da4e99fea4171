// The B-tree of the production index: parsed nodes kept while the file is
// open, searches, inserts and removals with splits and merges, and the
// structure checks. It works on the pages of the file's pager; the file
// layout that it reads and writes is described in mdx_file.cpp, which
// creates and opens the file. Internal to mdx_file.cpp.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <ctime>
#if defined(_MSC_VER)
#include <stdlib.h>
#endif

#include "store/mdx_bcd.h"
#include "store/mdx_file.h"
#include "store/pager.h"
#include "store/store_error.h"

namespace store {

namespace mdx_detail {


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

inline uint32_t Get32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
inline uint16_t Get16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}
inline void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void Put16(std::string& b, size_t at, uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

inline void PutDate(std::string& b, size_t at) {
  std::time_t now = std::time(nullptr);
  const std::tm* tm = std::localtime(&now);
  if (tm == nullptr) return;
  b[at] = static_cast<char>(tm->tm_year);
  b[at + 1] = static_cast<char>(tm->tm_mon + 1);
  b[at + 2] = static_cast<char>(tm->tm_mday);
}

// Tag names are plain ASCII field names.
inline std::string AsciiUpper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// The bytes at p read as one number, the first byte the most significant:
// two such numbers order as their bytes do. One load and a byte swap.
inline uint64_t BigEndian64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) {
#if defined(_MSC_VER)
    v = _byteswap_uint64(v);
#else
    v = __builtin_bswap64(v);
#endif
  }
  return v;
}
inline uint32_t BigEndian32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::little) {
#if defined(_MSC_VER)
    v = _byteswap_ulong(v);
#else
    v = __builtin_bswap32(v);
#endif
  }
  return v;
}

// Compares n bytes as unsigned characters (as memcmp does), eight bytes at
// a time: keys are short, and a call to memcmp costs more than the
// comparison itself. The first unequal word decides at once.
inline int CompareKeyBytes(const char* a, const char* b, size_t n) {
  for (; n >= 8; a += 8, b += 8, n -= 8) {
    const uint64_t x = BigEndian64(a), y = BigEndian64(b);
    if (x != y) return x < y ? -1 : 1;
  }
  if (n >= 4) {
    const uint32_t x = BigEndian32(a), y = BigEndian32(b);
    if (x != y) return x < y ? -1 : 1;
    a += 4;
    b += 4;
    n -= 4;
  }
  for (; n > 0; --n, ++a, ++b) {
    if (*a != *b) {
      return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b) ? -1 : 1;
    }
  }
  return 0;
}

inline int ItemLength(int keyLength) { return (keyLength + 4 + 3) / 4 * 4; }
inline int MaxKeys(int itemLength) { return static_cast<int>(kBlock - 12) / itemLength; }

// The keys of a node, of one length, side by side in one buffer: inserting
// or removing one moves bytes instead of strings.
class KeyList {
 public:
  explicit KeyList(size_t length = 0) : length_(length) {}
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::string_view operator[](size_t i) const { return {bytes_.data() + i * length_, length_}; }
  std::string_view back() const { return (*this)[count_ - 1]; }
  void Set(size_t i, std::string_view key) {
    std::memcpy(bytes_.data() + i * length_, key.data(), length_);
  }
  void Insert(size_t i, std::string_view key) {
    bytes_.insert(i * length_, key.data(), length_);
    ++count_;
  }
  void PushBack(std::string_view key) {
    bytes_.append(key.data(), length_);
    ++count_;
  }
  // The keys side by side (key i at i * length).
  const char* Data() const { return bytes_.data(); }
  void PopBack() { Erase(count_ - 1, count_); }
  // Removes the keys [from, to).
  void Erase(size_t from, size_t to) {
    bytes_.erase(from * length_, (to - from) * length_);
    count_ -= to - from;
  }
  // The keys [from, to) of another list, in place of these.
  void AssignRange(const KeyList& other, size_t from, size_t to) {
    bytes_.assign(other.bytes_, from * length_, (to - from) * length_);
    count_ = to - from;
  }
  // Puts all keys of another list before these.
  void Prepend(const KeyList& other) {
    bytes_.insert(0, other.bytes_);
    count_ += other.count_;
  }
  void Clear() {
    bytes_.clear();
    count_ = 0;
  }
  void Reserve(size_t n) { bytes_.reserve(n * length_); }

 private:
  size_t length_;
  size_t count_ = 0;
  std::string bytes_;
};

// One node of a tag's B-tree. A leaf has one record number per key; a
// branch has one child more than keys (the last is the rightmost child).
struct Node {
  explicit Node(size_t keyLength = 0) : keys(keyLength) {}
  uint32_t page = 0;
  bool leaf = true;
  KeyList keys;
  std::vector<uint32_t> ptrs;
};

// Kept nodes stay where they are while the cache holds them; a change
// holds the nodes it edits (EditFrame) while it may drop them from the cache.
using NodeRef = const Node*;

// A position in a tag: the nodes from the root down to a leaf.
struct Frame {
  NodeRef node = nullptr;
  size_t idx = 0;  // leaf: entry position; branch: child position
};
// Held in place, without an allocation: a search is the commonest step of
// the index. The walks stop with an error past kMaxDepth levels, so the
// room below is never short.
class Path {
 public:
  Path() {}
  Path(const Path& o) : size_(o.size_) { Copy(o); }
  Path& operator=(const Path& o) {
    size_ = o.size_;
    Copy(o);
    return *this;
  }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void reserve(size_t) {}
  void push_back(const Frame& f) {
    if (size_ == kRoom) throw StoreError("El índice es demasiado profundo");
    store_.at[size_++] = f;
  }
  void pop_back() { --size_; }
  Frame& back() { return store_.at[size_ - 1]; }
  const Frame& back() const { return store_.at[size_ - 1]; }
  Frame& operator[](size_t i) { return store_.at[i]; }
  const Frame& operator[](size_t i) const { return store_.at[i]; }
  const Frame* begin() const { return store_.at; }
  const Frame* end() const { return store_.at + size_; }

 private:
  static constexpr size_t kRoom = kMaxDepth + 8;
  void Copy(const Path& o) {
    for (size_t i = 0; i < o.size_; ++i) store_.at[i] = o.store_.at[i];
  }
  // Only the frames below size_ are ever read: the others stay unset, so
  // that a path costs nothing to make, and only its frames to copy.
  union Frames {
    Frames() {}
    Frame at[kRoom];
  };
  Frames store_;
  size_t size_ = 0;
};

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


}  // namespace mdx_detail

using namespace mdx_detail;


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
    if (nodes_[page]) Touch();
    nodes_[page] = std::move(n);
  }
  void Erase(uint32_t page) {
    if (page < nodes_.size()) nodes_[page].reset();
    Touch();
  }
  void Clear() {
    nodes_.clear();
    Touch();
  }
  // Changes whenever a kept node may have changed or gone.
  uint64_t Generation() const { return generation_; }
  void Touch() { ++generation_; }

 private:
  std::vector<std::shared_ptr<Node>> nodes_;
  uint64_t generation_ = 0;
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
  std::filesystem::path path;
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

  // Where the last Next stopped, so that a walk in key order steps on from
  // there instead of searching from the root each time. Valid while the
  // cache's generation is the one it was taken at.
  struct Cursor {
    const TagInfo* tag = nullptr;
    uint64_t generation = 0;
    Path path;
  };
  mutable Cursor cursor;

  // The path just past (key, recno) when the cursor stands on that entry.
  bool ResumeAfter(const TagInfo& t, const std::string& key, uint32_t recno, Path& out) const {
    if (cursor.tag != &t || cursor.generation != cache.Generation() || cursor.path.empty()) {
      return false;
    }
    const Frame& leaf = cursor.path.back();
    if (leaf.idx >= leaf.node->keys.size() ||
        CompareEntry(t, leaf.node->keys[leaf.idx], leaf.node->ptrs[leaf.idx], key, recno) != 0) {
      return false;
    }
    out = std::move(cursor.path);
    cursor.tag = nullptr;
    ++out.back().idx;
    return true;
  }
  void KeepCursor(const TagInfo& t, Path path) const {
    cursor.tag = &t;
    cursor.generation = cache.Generation();
    cursor.path = std::move(path);
  }

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
  // Character keys, the common case, are compared here in line; numeric
  // keys out of line.
  int CompareRaw(const TagInfo& t, std::string_view a, std::string_view b) const {
    if (t.def.keyType == 'N') return CompareBcdKeyBytes(a, b);
    return CompareKeyBytes(a.data(), b.data(), static_cast<size_t>(t.keyLength));
  }
  int CompareEntry(const TagInfo& t, std::string_view ka, uint32_t ra,
                   std::string_view kb, uint32_t rb) const {
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
  MdxEntry MakeEntry(const TagInfo& t, std::string_view raw, uint32_t recno) const {
    MdxEntry e;
    e.recno = recno;
    if (t.def.keyType == 'N') {
      e.key.number = DecodeBcdKey(std::string(raw)).value_or(0.0);
    } else {
      e.key.chars = raw;
    }
    return e;
  }

  // ---- nodes --------------------------------------------------------
  NodeRef Load(const TagInfo& t, uint32_t page, const Header& hd) const {
    CheckBlockPage(page, hd);
    if (auto* kept = cache.Find(page)) return kept->get();
    auto n = std::make_shared<Node>(Parse(t, page));
    const Node* raw = n.get();
    cache.Set(page, std::move(n));
    return raw;
  }

  Node Parse(const TagInfo& t, uint32_t page) const {
    std::string b = ReadAt(static_cast<uint64_t>(page) * kPage, kBlock);
    Node n(static_cast<size_t>(t.keyLength));
    n.page = page;
    const uint32_t count = Get32(b, 0);
    if (count > static_cast<uint32_t>(t.maxKeys)) {
      Damaged("nodo con demasiadas claves en la página " + std::to_string(page));
    }
    n.keys.Reserve(static_cast<size_t>(t.maxKeys) + 1);
    n.ptrs.reserve(static_cast<size_t>(t.maxKeys) + 2);
    size_t at = 8;
    for (uint32_t i = 0; i < count; ++i) {
      n.ptrs.push_back(Get32(b, at));
      n.keys.PushBack(std::string_view(b).substr(at + 4, static_cast<size_t>(t.keyLength)));
      at += static_cast<size_t>(t.itemLength);
    }
    const uint32_t right = Get32(b, at);
    n.leaf = right == 0;
    if (!n.leaf) n.ptrs.push_back(right);
    for (size_t i = 0; i < n.keys.size(); ++i) {
      if (t.def.keyType == 'N' && !DecodeBcdKey(std::string(n.keys[i]))) {
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
  std::optional<std::pair<std::string_view, uint32_t>> MaxBelow(const TagInfo& t, uint32_t page,
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
    auto satisfies = [&](std::string_view k, uint32_t r) {
      const int c = CompareEntry(t, k, r, key, recno);
      return strict ? c > 0 : c >= 0;
    };
    Path path;
    path.reserve(8);
    uint32_t page = RootPage(t, hd);
    for (int depth = 0;; ++depth) {
      if (depth > kMaxDepth) Damaged("ciclo en el árbol");
      Frame f;
      f.node = Load(t, page, hd);
      const Node& n = *f.node;
      if (n.leaf) {
        size_t lo = 0, hi = n.keys.size();
        // An append in key order lands past the last entry: tried first.
        if (hi == 0 || !satisfies(n.keys[hi - 1], n.ptrs[hi - 1])) lo = hi;
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
      // An append in key order goes down the rightmost child: the last key
      // is tried first, which settles it with one comparison a level.
      const size_t count = n.keys.size();
      const int toLast = count == 0 ? -1 : CompareRaw(t, n.keys[count - 1], key);
      size_t lo = toLast < 0 ? count : 0, hi = toLast < 0 ? count : count - 1;
      while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (CompareRaw(t, n.keys[mid], key) >= 0) hi = mid;
        else lo = mid + 1;
      }
      // The run of keys equal to the key sought ends where the first
      // greater key stands (or at the end when the last key is equal).
      size_t end = count;
      if (toLast > 0) {
        size_t a = lo, b = count - 1;
        while (a < b) {
          const size_t mid = (a + b) / 2;
          if (CompareRaw(t, n.keys[mid], key) > 0) b = mid;
          else a = mid + 1;
        }
        end = a;
      } else if (toLast < 0) {
        end = lo;
      }
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
  EditPath Editable(const Path& path) const {
    EditPath out;
    out.reserve(path.size());
    for (const Frame& f : path) out.emplace_back(*cache.Find(f.node->page), f.idx);
    return out;
  }

  // A kept node, to be changed: the cache holds it as a changeable object.
  static Node& Mutable(const Frame& f) { return const_cast<Node&>(*f.node); }

  void Insert(const TagInfo& t, const std::string& key, uint32_t recno) {
    cache.Touch();
    Header hd = ReadHeader();
    // An insert drops no node of its path from the cache (new blocks come
    // from the free chain or the end of the file), so it edits them in place.
    Path path = Seek(t, key, recno, false, hd);
    {
      Node& leaf = Mutable(path.back());
      const size_t i = path.back().idx;
      if (i < leaf.keys.size() && CompareEntry(t, leaf.keys[i], leaf.ptrs[i], key, recno) == 0) {
        return;  // already there
      }
      leaf.keys.Insert(i, key);
      leaf.ptrs.insert(leaf.ptrs.begin() + static_cast<std::ptrdiff_t>(i), recno);
      if (path.size() == 1 && leaf.keys.size() == 1) SetHasKeys(t, true);
    }
    for (size_t lvl = path.size() - 1;; --lvl) {
      Node& n = Mutable(path[lvl]);
      if (n.keys.size() <= static_cast<size_t>(t.maxKeys)) {
        Store(t, n);
        return;
      }
      // Split: the lower half moves to a new block, the upper half stays,
      // so the parent's entry for this node stays right.
      Node left(static_cast<size_t>(t.keyLength));
      left.leaf = n.leaf;
      left.page = Allocate(hd);
      std::string promoted;
      if (n.leaf) {
        const size_t m = n.keys.size() / 2;
        left.keys.AssignRange(n.keys, 0, m);
        left.ptrs.assign(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        n.keys.Erase(0, m);
        n.ptrs.erase(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        promoted = left.keys.back();
      } else {
        const size_t m = n.ptrs.size() / 2;  // children that move left
        left.ptrs.assign(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        left.keys.AssignRange(n.keys, 0, m - 1);
        promoted = n.keys[m - 1];
        n.ptrs.erase(n.ptrs.begin(), n.ptrs.begin() + static_cast<std::ptrdiff_t>(m));
        n.keys.Erase(0, m);
      }
      Store(t, left);
      Store(t, n);
      if (lvl == 0) {
        Node root(static_cast<size_t>(t.keyLength));
        root.leaf = false;
        root.page = Allocate(hd);
        root.keys.PushBack(promoted);
        root.ptrs = {left.page, n.page};
        Store(t, root);
        SetRootPage(t, root.page);
        return;
      }
      Node& parent = Mutable(path[lvl - 1]);
      const size_t at = path[lvl - 1].idx;
      parent.keys.Insert(at, promoted);
      parent.ptrs.insert(parent.ptrs.begin() + static_cast<std::ptrdiff_t>(at), left.page);
    }
  }

  // ---- a tag built at once --------------------------------------------
  // A block for the bulk build: from the free chain, else past the end of
  // the file. The caller writes the whole block and then the header.
  uint32_t TakeBlock(Header& hd) {
    if (hd.firstFree != 0) {
      const uint32_t page = hd.firstFree;
      CheckBlockPage(page, hd);
      hd.firstFree = Get32(ReadAt(static_cast<uint64_t>(page) * kPage, 8), 4);
      if (hd.freeCount > 0) --hd.freeCount;
      return page;
    }
    const uint32_t page = hd.pageCount;
    hd.pageCount += kPagesPerBlock;
    return page;
  }

  // Fills an empty tag with count entries given by position: entry i is
  // the key at keys + order[i] * keyLength with record number
  // recnos[order[i]], and the entries come in their order in the tag (key,
  // then record number), no two alike. The tree is built from the leaves
  // up: full leaves from the left, then each level of branches over them,
  // whose entries carry the greatest key of their child (the last child is
  // the rightmost pointer). The tag's empty root block becomes the new
  // root, so an index built at once is as compact as it can be.
  void BuildTag(const TagInfo& t, const char* keys, const uint32_t* recnos,
                const std::vector<uint32_t>& order) {
    cache.Touch();
    if (order.empty()) return;
    Header hd = ReadHeader();
    const uint32_t rootPage = RootPage(t, hd);
    {
      NodeRef root = Load(t, rootPage, hd);
      if (!root->leaf || !root->keys.empty()) {
        throw StoreError("La etiqueta '" + t.def.name + "' del índice '" + Name() +
                         "' ya tiene claves: no se puede construir de una vez");
      }
    }
    const size_t keyLength = static_cast<size_t>(t.keyLength);
    const size_t maxKeys = static_cast<size_t>(t.maxKeys);

    // The nodes of the level being built, and the greatest key below each.
    std::vector<std::shared_ptr<Node>> level;
    std::vector<std::string_view> greatest;
    // Gives the level's nodes their blocks (the root's when the level is
    // one node) and writes them.
    auto place = [&](std::vector<std::shared_ptr<Node>>& nodes) {
      for (auto& n : nodes) n->page = nodes.size() == 1 ? rootPage : TakeBlock(hd);
      for (auto& n : nodes) {
        WriteNode(t, *n);
        cache.Set(n->page, n);
      }
    };

    // Leaves.
    const size_t leafCount = (order.size() + maxKeys - 1) / maxKeys;
    level.reserve(leafCount);
    for (size_t from = 0; from < order.size(); from += maxKeys) {
      const size_t to = std::min(order.size(), from + maxKeys);
      auto n = std::make_shared<Node>(keyLength);
      n->leaf = true;
      n->keys.Reserve(maxKeys + 1);
      n->ptrs.reserve(maxKeys + 2);
      for (size_t i = from; i < to; ++i) {
        n->keys.PushBack(std::string_view(keys + static_cast<size_t>(order[i]) * keyLength, keyLength));
        n->ptrs.push_back(recnos[order[i]]);
      }
      level.push_back(std::move(n));
    }
    place(level);
    for (const auto& n : level) greatest.push_back(n->keys.back());

    // Branches, a level at a time, until one node holds the level below.
    std::vector<std::vector<std::shared_ptr<Node>>> kept;  // the string_views point into them
    for (int depth = 0; level.size() > 1; ++depth) {
      if (depth > kMaxDepth) Damaged("ciclo en el árbol");
      const size_t children = level.size();
      const size_t fan = maxKeys + 1;
      // Groups of fan children; a last group of one child takes one more
      // from the group before it, so that every branch has a key.
      std::vector<size_t> sizes(children / fan, fan);
      if (children % fan != 0) sizes.push_back(children % fan);
      if (sizes.size() > 1 && sizes.back() == 1) {
        --sizes[sizes.size() - 2];
        ++sizes.back();
      }
      std::vector<std::shared_ptr<Node>> upper;
      std::vector<std::string_view> upperGreatest;
      upper.reserve(sizes.size());
      size_t at = 0;
      for (size_t size : sizes) {
        auto n = std::make_shared<Node>(keyLength);
        n->leaf = false;
        n->keys.Reserve(maxKeys + 1);
        n->ptrs.reserve(maxKeys + 2);
        for (size_t i = at; i < at + size; ++i) {
          if (i + 1 < at + size) n->keys.PushBack(greatest[i]);
          n->ptrs.push_back(level[i]->page);
        }
        upperGreatest.push_back(greatest[at + size - 1]);
        upper.push_back(std::move(n));
        at += size;
      }
      place(upper);
      kept.push_back(std::move(level));
      level = std::move(upper);
      greatest = std::move(upperGreatest);
    }
    WriteHeader(hd);
    SetHasKeys(t, true);
  }

  static size_t Size(const Node& n) { return n.keys.size(); }
  static bool Empty(const Node& n) { return n.leaf ? n.keys.empty() : n.ptrs.empty(); }

  void Remove(const TagInfo& t, const std::string& key, uint32_t recno) {
    cache.Touch();
    Header hd = ReadHeader();
    EditPath path = Editable(Seek(t, key, recno, false, hd));
    {
      Node& leaf = path.back().node;
      const size_t i = path.back().idx;
      if (i >= leaf.keys.size() || CompareEntry(t, leaf.keys[i], leaf.ptrs[i], key, recno) != 0) {
        return;  // not there
      }
      leaf.keys.Erase(i, i + 1);
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
          n.keys.Clear();
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
            p.keys.PopBack();
          }
          maxChanged = true;
        } else {
          p.keys.Erase(i, i + 1);
          maxChanged = false;
        }
        dirty[lvl - 1] = true;
        continue;
      }
      if (maxChanged && i < p.keys.size()) {
        if (p.keys[i] != newMax) {
          p.keys.Set(i, newMax);
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
            lo.keys.PushBack(p.keys[li]);
          }
          hi.keys.Prepend(lo.keys);
          hi.ptrs.insert(hi.ptrs.begin(), lo.ptrs.begin(), lo.ptrs.end());
          Store(t, hi);
          Release(hd, lo.page);
          p.ptrs.erase(p.ptrs.begin() + static_cast<std::ptrdiff_t>(li));
          p.keys.Erase(li, li + 1);
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
  // Checks a whole tag; `seen` marks the pages of the blocks in use, so
  // that no block serves two tags, a tag header and a tree, or a tree and
  // the free chain. The order of the keys inside a node is checked when it
  // is parsed; here each node's first and last key are held against the
  // bounds that its parent gives, and each leaf's first entry against the
  // last entry of the leaf before it, so the whole tag is checked in one
  // walk whose cost per entry is nothing beyond the parse.
  // `seen` holds a mark for every page of the file; callers check that
  // the block lies inside the file first, so that a damaged pointer never
  // sizes anything. False when the block (or half of it) was already
  // marked, or lies outside the marks.
  static bool MarkBlock(std::vector<char>& seen, uint32_t page) {
    if (static_cast<size_t>(page) + 1 >= seen.size()) return false;
    if (seen[page] || seen[page + 1]) return false;
    seen[page] = seen[page + 1] = 1;
    return true;
  }

  void VerifyTag(const TagInfo& t, std::vector<char>& seen) const {
    Header hd = ReadHeader();
    int leafDepth = -1;
    bool haveLast = false;
    std::string_view lastKey;
    uint32_t lastRecno = 0;
    // The keys below a branch entry lie between the key of the entry before
    // it and its own key. Writers that do not update branch keys after a
    // removal leave a key above the greatest one below it; that still
    // orders the tree and is accepted.
    using Bound = std::optional<std::string_view>;
    struct Pending {
      uint32_t page;
      int depth;
      Bound lo, hi;
    };
    std::vector<Pending> stack;
    stack.push_back({RootPage(t, hd), 0, std::nullopt, std::nullopt});
    while (!stack.empty()) {
      const Pending p = stack.back();
      stack.pop_back();
      if (p.depth > kMaxDepth) Damaged("ciclo en el árbol");
      CheckBlockPage(p.page, hd);
      if (!MarkBlock(seen, p.page)) {
        Damaged("bloque usado dos veces o ciclo (" + std::to_string(p.page) + ")");
      }
      const Node& n = *Load(t, p.page, hd);
      auto where = [&] { return " en la página " + std::to_string(p.page); };
      if (!n.keys.empty()) {
        // The node's keys are in order: its first and last key bound them all.
        if ((p.lo && CompareRaw(t, n.keys[0], *p.lo) < 0) ||
            (p.hi && CompareRaw(t, n.keys.back(), *p.hi) > 0)) {
          Damaged((n.leaf ? "clave fuera del intervalo de su rama" : "clave de rama incorrecta") +
                  where());
        }
      }
      if (n.leaf) {
        if (n.keys.empty() && p.depth > 0) Damaged("hoja vacía" + where());
        if (leafDepth < 0) leafDepth = p.depth;
        else if (leafDepth != p.depth) Damaged("hojas a distinta profundidad");
        if (n.keys.empty()) continue;
        if (haveLast && CompareEntry(t, lastKey, lastRecno, n.keys[0], n.ptrs[0]) >= 0) {
          Damaged("claves desordenadas" + where());
        }
        haveLast = true;
        lastKey = n.keys.back();
        lastRecno = n.ptrs[n.keys.size() - 1];
        continue;
      }
      // Children from the right, so that the leftmost is walked first.
      for (size_t i = n.ptrs.size(); i-- > 0;) {
        stack.push_back({n.ptrs[i], p.depth + 1, i > 0 ? Bound(n.keys[i - 1]) : p.lo,
                         i < n.keys.size() ? Bound(n.keys[i]) : p.hi});
      }
    }
  }

  void VerifyFreeChain(std::vector<char>& seen) const {
    Header hd = ReadHeader();
    for (uint32_t page = hd.firstFree; page != 0;) {
      CheckBlockPage(page, hd);
      if (!MarkBlock(seen, page)) {
        Damaged("bloque libre en uso o ciclo en la cadena de bloques libres");
      }
      page = Get32(ReadAt(static_cast<uint64_t>(page) * kPage, 8), 4);
    }
  }

  void VerifyAll() const {
    std::vector<char> seen(static_cast<size_t>(ReadHeader().pageCount) + 2, 0);
    for (const TagInfo& t : tags) {
      if (!MarkBlock(seen, t.headerPage)) Damaged("cabecera de etiqueta repetida");
    }
    for (const TagInfo& t : tags) VerifyTag(t, seen);
    VerifyFreeChain(seen);
  }

  // The entries of a tag in key order, leaf after leaf: visit(keys,
  // recnos, count) gets each leaf's keys side by side (keyLength bytes
  // each) and their record numbers; it returns false to stop.
  template <typename Visit>
  void ForEachLeaf(const TagInfo& t, Visit&& visit) const {
    Header hd = ReadHeader();
    Path path;
    Frame f;
    f.node = Load(t, RootPage(t, hd), hd);
    f.idx = 0;
    path.push_back(f);
    DescendEdge(t, path, true, hd);
    for (int guard = 0;; ++guard) {
      if (guard > 100'000'000) Damaged("recorrido sin fin");
      const Node& leaf = *path.back().node;
      if (!leaf.keys.empty() && !visit(leaf.keys.Data(), leaf.ptrs.data(), leaf.keys.size())) return;
      path.pop_back();
      while (!path.empty() && path.back().idx + 1 >= path.back().node->ptrs.size()) path.pop_back();
      if (path.empty()) return;
      ++path.back().idx;
      DescendEdge(t, path, true, hd);
    }
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


}  // namespace store
