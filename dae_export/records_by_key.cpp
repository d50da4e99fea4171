#include "dae_export/records_by_key.h"

namespace dae_export {

uint32_t RecordsByKey::Hash(std::string_view key) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return static_cast<uint32_t>(h ^ (h >> 32));
}

void RecordsByKey::Reserve(size_t keys) {
  entries_.reserve(keys);
  keys_.reserve(keys * 8);
  size_t size = 16;
  while (size * 7 < keys * 10) size *= 2;
  if (size <= slots_.size()) return;
  std::vector<uint64_t> old(size, 0);
  old.swap(slots_);
  const size_t mask = slots_.size() - 1;
  for (uint64_t s : old) {
    if (s == 0) continue;
    size_t i = static_cast<size_t>(s >> 32) & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

size_t RecordsByKey::SlotOf(std::string_view key, uint32_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const uint64_t s = slots_[i];
    if (s == 0) return i;
    if (static_cast<uint32_t>(s >> 32) == hash && KeyOf(entries_[(s & 0xFFFFFFFFu) - 1]) == key) {
      return i;
    }
  }
}

uint32_t RecordsByKey::Find(std::string_view key) const {
  if (slots_.empty()) return 0;
  const uint64_t s = slots_[SlotOf(key, Hash(key))];
  return s == 0 ? 0 : entries_[(s & 0xFFFFFFFFu) - 1].recno;
}

void RecordsByKey::Grow() { Reserve(slots_.empty() ? 8 : slots_.size() * 7 / 5); }

void RecordsByKey::Add(std::string_view key, uint32_t recno) {
  // At most 70 % of the slots in use, so that a search ends soon (mostly
  // within the cache line where it starts).
  if ((entries_.size() + 1) * 10 > slots_.size() * 7) Grow();
  const uint32_t hash = Hash(key);
  const size_t slot = SlotOf(key, hash);
  if (slots_[slot] != 0) return;
  Entry e;
  e.keyAt = static_cast<uint32_t>(keys_.size());
  e.keyLength = static_cast<uint32_t>(key.size());
  e.recno = recno;
  keys_.append(key.data(), key.size());
  entries_.push_back(e);
  slots_[slot] = static_cast<uint64_t>(hash) << 32 | static_cast<uint64_t>(entries_.size());
}

}  // namespace dae_export
