// A file's content summed up: its length and a 64-bit digest of all its
// bytes, fed in pieces as they are read. Two contents that differ in any
// byte or in length give different digests except by a chance of about one
// in 2^64; the digest is no protection against someone who builds a
// collision on purpose, and it serves only to recognise contents that this
// process itself saw.
#pragma once
#include <cstddef>
#include <cstdint>

namespace store {

struct ContentDigest {
  uint64_t length = 0;
  uint64_t digest = 0;
  bool operator==(const ContentDigest& o) const {
    return length == o.length && digest == o.digest;
  }
  bool operator!=(const ContentDigest& o) const { return !(*this == o); }
};

// Feeds bytes in order; every piece but the last must be a multiple of 32
// bytes long (a page is).
class ContentHasher {
 public:
  ContentHasher();
  void Add(const char* data, size_t size);
  ContentDigest Finish() const;

 private:
  uint64_t lane_[4];
  uint64_t length_ = 0;
  // The bytes of a last piece that did not fill 32.
  unsigned char tail_[32];
  size_t tailSize_ = 0;
};

}  // namespace store
