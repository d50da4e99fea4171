// The record that each key leads to in a table being filled afresh: the
// first record written under it. The keys lie side by side in one text and
// are found through a table of open addressing, so that a fill of many
// thousand records allocates nothing per key.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dae_export {

class RecordsByKey {
 public:
  // Room for about `keys` keys without growing.
  void Reserve(size_t keys);
  // The record of key; 0 when none was added.
  uint32_t Find(std::string_view key) const;
  // Adds key's record unless key has one already (the first stays).
  void Add(std::string_view key, uint32_t recno);
  size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    uint32_t keyAt = 0;
    uint32_t keyLength = 0;
    uint32_t recno = 0;
  };
  static uint32_t Hash(std::string_view key);
  std::string_view KeyOf(const Entry& e) const {
    return std::string_view(keys_).substr(e.keyAt, e.keyLength);
  }
  // The slot holding key, or the free slot where it would go.
  size_t SlotOf(std::string_view key, uint32_t hash) const;
  void Grow();

  // Per slot, the key's hash (high half) and its entry's number + 1 (low
  // half), so that a search compares hashes without leaving this array;
  // 0 for a free slot.
  std::vector<uint64_t> slots_;
  std::vector<Entry> entries_;
  std::string keys_;
};

}  // namespace dae_export
