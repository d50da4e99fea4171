// Fuzz target: the DAE text reader over arbitrary bytes, cutting every field
// of every DAE record layout from each line.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dae_import/dae_text_reader.h"

namespace {

// (start, length) pairs of the layouts the import reads.
struct FieldPos { std::size_t start, length; };
const FieldPos kFields[] = {
    {1, 1},   {2, 3},    {5, 1},    {6, 1},     {7, 250}, {257, 250},  // fTIPTAR
    {1, 4},   {5, 100},  {105, 20}, {125, 4},   {129, 100}, {229, 20}, {249, 4},  // fASIGNAT
    {1, 3},   {4, 100},  {104, 100}, {204, 20}, {224, 20},   // fOTRACT
    {3, 1},   {4, 15},   {19, 40},  {59, 40},   {99, 20},  {125, 100},  // fPROFES
    {4, 6},   {10, 4},   {14, 1},   {2, 5},     {7, 30},  {7, 4}, {37, 3},
    {40, 6},  {46, 2},   {46, 1},   {48, 2},    {211, 2},  // fGRUPOS
    {0, 5},   {1, 0},    {1000000, 10}, {SIZE_MAX, SIZE_MAX},
};

std::filesystem::path ScratchFile() {
  static std::filesystem::path p = [] {
    char tmpl[] = "/tmp/transdae-fuzz-daeXXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) close(fd);
    return std::filesystem::path(tmpl);
  }();
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto path = ScratchFile();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  try {
    dae_import::DaeTextReader reader(path);
    std::string line;
    std::size_t total = 0;
    while (!reader.AtEnd()) {
      if (!reader.ReadLine(line)) break;
      total += line.size();
      if (total > size) std::abort();  // a record can never invent bytes
      for (const FieldPos& fp : kFields) {
        std::string t = dae_import::TrimmedField(line, fp.start, fp.length);
        std::string r = dae_import::RawField(line, fp.start, fp.length);
        if (t.size() > r.size() || r.size() > fp.length) std::abort();
        if (!t.empty() && (static_cast<unsigned char>(t.front()) <= 32 ||
                           static_cast<unsigned char>(t.back()) <= 32))
          std::abort();
      }
    }
  } catch (const dae_import::DaeFileError&) {
  }
  return 0;
}
