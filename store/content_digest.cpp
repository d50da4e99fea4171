// Four lanes of 64 bits, each taking every fourth 8-byte word of the
// content through a multiply and a rotation, merged and mixed at the end
// with the length: a few instructions per 8 bytes, so that a table of a few
// megabytes is summed up in a fraction of what reading it through the
// index costs.
#include "store/content_digest.h"

#include <cstring>

namespace store {

namespace {

constexpr uint64_t kP1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kP3 = 0x165667B19E3779F9ull;
constexpr uint64_t kP4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kP5 = 0x27D4EB2F165667C5ull;

inline uint64_t Rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

inline uint64_t Load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

inline uint64_t Round(uint64_t acc, uint64_t input) {
  acc += input * kP2;
  acc = Rotl(acc, 31);
  return acc * kP1;
}

inline uint64_t Merge(uint64_t acc, uint64_t lane) {
  acc ^= Round(0, lane);
  return acc * kP1 + kP4;
}

}  // namespace

ContentHasher::ContentHasher() {
  lane_[0] = kP1 + kP2;
  lane_[1] = kP2;
  lane_[2] = 0;
  lane_[3] = 0 - kP1;
}

void ContentHasher::Add(const char* data, size_t size) {
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  length_ += size;
  if (tailSize_ > 0) {
    const size_t take = size < 32 - tailSize_ ? size : 32 - tailSize_;
    std::memcpy(tail_ + tailSize_, p, take);
    tailSize_ += take;
    p += take;
    size -= take;
    if (tailSize_ < 32) return;
    for (int i = 0; i < 4; ++i) lane_[i] = Round(lane_[i], Load64(tail_ + 8 * i));
    tailSize_ = 0;
  }
  uint64_t a = lane_[0], b = lane_[1], c = lane_[2], d = lane_[3];
  for (; size >= 32; p += 32, size -= 32) {
    a = Round(a, Load64(p));
    b = Round(b, Load64(p + 8));
    c = Round(c, Load64(p + 16));
    d = Round(d, Load64(p + 24));
  }
  lane_[0] = a;
  lane_[1] = b;
  lane_[2] = c;
  lane_[3] = d;
  std::memcpy(tail_, p, size);
  tailSize_ = size;
}

ContentDigest ContentHasher::Finish() const {
  uint64_t h = Rotl(lane_[0], 1) + Rotl(lane_[1], 7) + Rotl(lane_[2], 12) + Rotl(lane_[3], 18);
  for (int i = 0; i < 4; ++i) h = Merge(h, lane_[i]);
  h += length_;
  size_t i = 0;
  for (; i + 8 <= tailSize_; i += 8) {
    h ^= Round(0, Load64(tail_ + i));
    h = Rotl(h, 27) * kP1 + kP4;
  }
  for (; i < tailSize_; ++i) {
    h ^= tail_[i] * kP5;
    h = Rotl(h, 11) * kP1;
  }
  h ^= h >> 33;
  h *= kP2;
  h ^= h >> 29;
  h *= kP3;
  h ^= h >> 32;
  return ContentDigest{length_, h};
}

}  // namespace store
