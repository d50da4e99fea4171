// Fuzzes the production index reader with arbitrary file contents. Opening
// either refuses the file with a StoreError or accepts it; an accepted file
// must then walk in strictly increasing order in both directions, take an
// insertion and a removal in every tag, and still pass the full check.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "store/mdx_file.h"
#include "store/store_error.h"

namespace {

std::filesystem::path ScratchFile() {
  return std::filesystem::temp_directory_path() /
         ("mdx_reader_fuzz_" + std::to_string(::getpid()) + ".MDX");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path path = ScratchFile();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  store::MdxFile mdx;
  try {
    mdx.Open(path, false);
  } catch (const store::StoreError&) {
    return 0;  // refused: fine
  }
  // Accepted: everything after this must work.
  try {
    for (int tag = 0; tag < static_cast<int>(mdx.Tags().size()); ++tag) {
      size_t steps = 0;
      std::optional<store::MdxEntry> prev;
      for (auto e = mdx.First(tag); e; e = mdx.Next(tag, *e)) {
        if (prev) {
          const int c = mdx.CompareKeys(tag, prev->key, e->key);
          if (c > 0 || (c == 0 && prev->recno >= e->recno)) std::abort();
        }
        prev = e;
        if (++steps > size) std::abort();  // more entries than bytes
      }
      for (auto e = mdx.Last(tag); e; e = mdx.Prior(tag, *e)) {
        if (steps-- == 0) std::abort();
      }
      if (steps != 0) std::abort();
      store::MdxEntry probe;
      probe.key.chars = "FUZZ";
      probe.key.number = 7;
      probe.recno = 123456;
      mdx.Insert(tag, probe);
      auto found = mdx.LowerBound(tag, probe.key);
      if (!found) std::abort();
      mdx.Remove(tag, probe);
      if (auto first = mdx.First(tag)) mdx.Remove(tag, *first);
    }
    mdx.Verify();
  } catch (const store::StoreError&) {
    std::abort();
  }
  mdx.Close();
  std::error_code ec;
  std::filesystem::remove(path, ec);
  return 0;
}
