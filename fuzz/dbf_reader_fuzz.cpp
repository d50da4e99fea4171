// Fuzzes the table reader with arbitrary .DBF contents. Opening the bytes as
// a table either refuses them with a StoreError or accepts them; an accepted
// table is walked both ways reading every field of every record in every
// form (text, integer, logical). Anything other than a StoreError, a walk
// that visits more records than the header promised, or a walk that does not
// end is a fault. When the first byte of the input is odd, the table is also
// opened a second time through another object of the same file and a record
// is appended and read back, so that the writing path meets the damaged
// headers too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "store/store_error.h"
#include "store/table.h"

namespace fs = std::filesystem;

namespace {

const fs::path& ScratchFolder() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() /
                 ("transdae-fuzz-dbf-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void ReadEveryField(store::Table& t) {
  const store::FieldDefs& defs = t.Fields();
  for (size_t i = 0; i < defs.size(); ++i) {
    // By position: another program's table may repeat a field name or
    // leave it empty, and then a name finds only the first such field.
    const std::string s = t.ValueAt(t.RecNo(), static_cast<int>(i));
    if (defs[i].type == store::FieldType::String && static_cast<int>(s.size()) > defs[i].width)
      std::abort();  // a value cannot be wider than its column
    store::Field& f = t.FieldByName(defs[i].name);
    (void)f.AsString();
    (void)f.AsInteger();
    (void)f.AsBoolean();
  }
}

void Walk(store::Table& t, uint32_t bound) {
  uint32_t steps = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    ReadEveryField(t);
    if (++steps > bound) std::abort();
  }
  steps = 0;
  for (t.Last(); !t.Bof(); t.Prior()) {
    ReadEveryField(t);
    if (++steps > bound) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path path = ScratchFolder() / "FUZZ.DBF";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  // A table can never hold more records than its file has bytes.
  const uint32_t bound = static_cast<uint32_t>(size) + 1;
  try {
    store::Table t;
    t.SetDatabaseName(ScratchFolder());
    t.SetTableName("FUZZ");
    t.Open();
    Walk(t, bound);
    (void)t.VisibleRecords();
    if (size > 0 && (data[0] & 1) != 0 && !t.Fields().empty()) {
      store::Table other;
      other.SetDatabaseName(ScratchFolder());
      other.SetTableName("fuzz.dbf");
      other.Open();
      const size_t before = other.VisibleRecords().size();
      other.Append();
      other.FieldByName(other.Fields()[0].name).SetAsString("1");
      other.Post();
      if (t.VisibleRecords().size() != before + 1) std::abort();
      Walk(t, bound + 1);
    }
  } catch (const store::StoreError&) {
    // Refused or failed with a message for the user: fine.
  }
  std::error_code ec;
  fs::remove(path, ec);
  return 0;
}
