#include "dae_export/records_by_key.h"

namespace dae_export {

uint64_t RecordsByKey::Hash(std::string_view key) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h ^ (h >> 29);
}

void RecordsByKey::Reserve(size_t keys) {
  entries_.reserve(keys);
  keys_.reserve(keys * 8);
  size_t size = 16;
  while (size < keys * 2) size *= 2;
  if (size <= slots_.size()) return;
  slots_.assign(size, 0);
  for (size_t i = 0; i < entries_.size(); ++i) {
    slots_[SlotOf(KeyOf(entries_[i]), entries_[i].hash)] = static_cast<uint32_t>(i + 1);
  }
}

size_t RecordsByKey::SlotOf(std::string_view key, uint64_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
    const uint32_t s = slots_[i];
    if (s == 0) return i;
    const Entry& e = entries_[s - 1];
    if (e.hash == hash && KeyOf(e) == key) return i;
  }
}

uint32_t RecordsByKey::Find(std::string_view key) const {
  if (slots_.empty()) return 0;
  const uint32_t s = slots_[SlotOf(key, Hash(key))];
  return s == 0 ? 0 : entries_[s - 1].recno;
}

void RecordsByKey::Grow() { Reserve(slots_.empty() ? 8 : slots_.size()); }

void RecordsByKey::Add(std::string_view key, uint32_t recno) {
  // At most half the slots in use, so that a search ends soon.
  if ((entries_.size() + 1) * 2 > slots_.size()) Grow();
  const uint64_t hash = Hash(key);
  const size_t slot = SlotOf(key, hash);
  if (slots_[slot] != 0) return;
  Entry e;
  e.keyAt = keys_.size();
  e.keyLength = static_cast<uint32_t>(key.size());
  e.recno = recno;
  e.hash = hash;
  keys_.append(key.data(), key.size());
  entries_.push_back(e);
  slots_[slot] = static_cast<uint32_t>(entries_.size());
}

}  // namespace dae_export
