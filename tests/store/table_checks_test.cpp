// What a table file says about itself is checked before it is trusted:
// descriptors that do not add up to the record length, fields of types the
// engine cannot read, the character set named by the language-driver byte
// (437 and 850 converted to and from 1252; others refused).
#include <gtest/gtest.h>

#include <cctype>

#include "store/code_page.h"
#include "store/store_error.h"
#include "store/store_notices.h"
#include "store/table.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;
using testsupport::ShellQuote;

using storetest::ErrorOf;

namespace {

void Dump(const std::string& args) {
  auto r = storetest::RunDump(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
}

void Patch(const fs::path& file, size_t at, unsigned char value) {
  std::string b = testsupport::ReadFile(file);
  b[at] = static_cast<char>(value);
  testsupport::WriteFile(file, b);
}

void OpenTable(Table& t, const fs::path& folder, const std::string& name) {
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.Open();
}

// SOLUC-like table written by python3-dbf: PROF C(4) at descriptor 0,
// NOMBRE C(10) at descriptor 1, DIA N(2,0) at descriptor 2.
fs::path WriteSoluc(const fs::path& folder, const std::string& codepage = "cp1252") {
  fs::path p = folder / "SOLUC.DBF";
  Dump("--write-cp " + codepage + " " + ShellQuote(p.string()) +
       " 'PROF C(4); NOMBRE C(10); DIA N(2,0)' 'ÑRA|Núñez|1' 'ABC|Abad|2'");
  return p;
}

constexpr size_t kDescriptor = 32;  // first field descriptor
constexpr size_t kType = 11, kWidth = 16;

}  // namespace

// ---- Header.

struct HeaderCase {
  const char* name;
  std::function<void(const fs::path&)> damage;
  const char* reason;
};

class HeaderCheck : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderCheck, RefusedWithTheTableNamed) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = WriteSoluc(dir.path());
  GetParam().damage(p);
  Table t;
  const std::string e = ErrorOf([&] { OpenTable(t, dir.path(), "SOLUC"); });
  EXPECT_NE(e.find("La tabla 'SOLUC.DBF' está dañada"), std::string::npos) << e;
  EXPECT_NE(e.find(GetParam().reason), std::string::npos) << e;
  EXPECT_FALSE(t.Active());
  // The other reader refuses it too, or at least reads it differently.
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderCheck,
    ::testing::Values(
        // A field narrower than the record leaves bytes unaccounted for:
        // every later field would be read shifted.
        HeaderCase{"field_narrower_than_record",
                   [](const fs::path& p) { Patch(p, kDescriptor + 32 + kWidth, 9); },
                   "los anchos de sus campos suman 15 bytes"},
        HeaderCase{"record_longer_than_fields",
                   [](const fs::path& p) { Patch(p, 10, 18 + 1); },
                   "longitud de registro de la cabecera (19)"},
        HeaderCase{"field_past_the_record",
                   [](const fs::path& p) { Patch(p, kDescriptor + 32 + kWidth, 11); },
                   "pasa de la longitud de registro"},
        HeaderCase{"repeated_field_name",
                   [](const fs::path& p) {
                     std::string b = testsupport::ReadFile(p);
                     b.replace(kDescriptor + 32, 6, std::string("PROF\0\0", 6));
                     testsupport::WriteFile(p, b);
                   },
                   "el campo 'PROF' aparece más de una vez"},
        HeaderCase{"no_terminator",
                   [](const fs::path& p) { Patch(p, kDescriptor + 3 * 32, 0x20); },
                   "falta el terminador"},
        HeaderCase{"more_records_than_the_file_holds",
                   [](const fs::path& p) { Patch(p, 4, 9); },
                   "dice tener 9 registros"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Field types.

struct TypeCase {
  char type;
  const char* shown;
};

class UnreadableField : public ::testing::TestWithParam<TypeCase> {};

TEST_P(UnreadableField, EndsTheLookUpNamingTableAndField) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = WriteSoluc(dir.path());
  // NOMBRE becomes a field of the type under test (same width).
  Patch(p, kDescriptor + 32 + kType, static_cast<unsigned char>(GetParam().type));
  Table t;
  OpenTable(t, dir.path(), "SOLUC");
  const std::string want = std::string("El campo 'NOMBRE' de la tabla 'SOLUC.DBF' es de tipo ") +
                           GetParam().shown;
  for (auto lookUp : std::vector<std::function<void()>>{
           [&] { t.FieldByName("NOMBRE").AsString(); },
           [&] { t.FindField("nombre"); },
           [&] { t.FieldIndex("NOMBRE"); },
       }) {
    const std::string e = ErrorOf(lookUp);
    EXPECT_EQ(e.rfind(want, 0), 0u) << e;
    EXPECT_NE(e.find("no sabe leer"), std::string::npos) << e;
  }
  // The readable fields of the same table still read.
  EXPECT_EQ(t.FieldByName("PROF").AsString(), "\xD1RA");
  EXPECT_EQ(t.FieldByName("DIA").AsInteger(), 1);
}

INSTANTIATE_TEST_SUITE_P(Types, UnreadableField,
                         ::testing::Values(TypeCase{'M', "memo (M)"}, TypeCase{'B', "binario (B)"},
                                           TypeCase{'G', "general"}, TypeCase{'D', "fecha (D)"},
                                           TypeCase{'I', "entero binario (I)"},
                                           TypeCase{'Y', "moneda (Y)"},
                                           TypeCase{'T', "fecha y hora (T)"},
                                           TypeCase{'0', "desconocido (0)"}),
                         [](const auto& info) {
                           return std::string("type_") +
                                  (std::isalpha(static_cast<unsigned char>(info.param.type))
                                       ? std::string(1, info.param.type)
                                       : "zero");
                         });

TEST(UnreadableFieldWritten, MemoFromPythonRefusedWhenLookedUp) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = dir / "ASIGNOMT.DBF";
  Dump("--write " + ShellQuote(p.string()) + " 'ABREV C(4); TAREA M' 'MATE|texto largo'");
  Table t;
  OpenTable(t, dir.path(), "ASIGNOMT");
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "MATE");
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("TAREA").AsString(); }),
            "El campo 'TAREA' de la tabla 'ASIGNOMT.DBF' es de tipo memo (M), que esta "
            "herramienta no sabe leer");
}

// ---- Code pages.

struct CodePageCase {
  const char* codepage;
  unsigned char driver;
  const char* aeiRead;  // "ÁEI" as the other program reads it back
};

class TableCodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(TableCodePage, TextReadAs1252AndWrittenBackInTheTablesOwn) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = WriteSoluc(dir.path(), GetParam().codepage);
  ASSERT_EQ(static_cast<unsigned char>(testsupport::ReadFile(p)[29]), GetParam().driver);

  Table t;
  OpenTable(t, dir.path(), "SOLUC");
  EXPECT_EQ(storetest::Column(t, "PROF"), (std::vector<std::string>{"\xD1RA", "ABC"}));
  EXPECT_EQ(storetest::Column(t, "NOMBRE"), (std::vector<std::string>{"N\xFA\xF1" "ez", "Abad"}));
  // Filters compare in 1252 too.
  t.SetFilter("PROF = '\xD1RA'");
  t.SetFiltered(true);
  EXPECT_EQ(storetest::Column(t, "NOMBRE"), std::vector<std::string>{"N\xFA\xF1" "ez"});
  t.SetFiltered(false);
  t.Append();
  t.FieldByName("PROF").SetAsString("\xC1" "EI");     // ÁEI
  t.FieldByName("NOMBRE").SetAsString("Mu\xF1oz");   // Muñoz
  t.Post();
  t.AppendValues({std::string("\xD1" "OR"), std::string("Ib\xE1\xF1" "ez")});
  t.Close();

  // Another program reading with the table's own code page sees the same
  // characters.
  const std::string py =
      "import dbf,sys\n"
      "t=dbf.Table(sys.argv[1]); t.open(mode=dbf.READ_ONLY)\n"
      "print(t.codepage.name)\n"
      "for r in t: print(r.prof.rstrip()+'|'+r.nombre.rstrip())\n";
  testsupport::WriteFile(dir / "read.py", py);
  auto r = testsupport::RunCommand("/usr/bin/python3 " + ShellQuote((dir / "read.py").string()) +
                                   " " + ShellQuote(p.string()));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(testsupport::SplitLines(r.out),
            (std::vector<std::string>{GetParam().codepage, "ÑRA|Núñez", "ABC|Abad",
                                      std::string(GetParam().aeiRead) + "|Muñoz", "ÑOR|Ibáñez"}));
}

INSTANTIATE_TEST_SUITE_P(Pages, TableCodePage,
                         // 437 has no Á: it is written as A.
                         ::testing::Values(CodePageCase{"cp850", 0x02, "ÁEI"},
                                           CodePageCase{"cp437", 0x01, "AEI"},
                                           CodePageCase{"cp1252", 0x03, "ÁEI"}),
                         [](const auto& info) { return std::string(info.param.codepage); });

TEST(TableCodePageBytes, ZeroIsTakenAs1252AndAnUnknownDriverIsRefused) {
  SKIP_WITHOUT_READERS();
  testsupport::TempDir dir;
  fs::path p = WriteSoluc(dir.path());
  Patch(p, 29, 0x00);
  {
    Table t;
    OpenTable(t, dir.path(), "SOLUC");
    EXPECT_EQ(t.FieldByName("PROF").AsString(), "\xD1RA");
  }
  Patch(p, 29, 0xC9);  // Russian Windows, code page 1251
  Table t;
  EXPECT_EQ(ErrorOf([&] { OpenTable(t, dir.path(), "SOLUC"); }),
            "La tabla 'SOLUC.DBF' está escrita en un juego de caracteres que esta herramienta "
            "no sabe convertir (controlador de idioma 0xC9); guárdela con la página de códigos "
            "1252, 850 o 437");
}

TEST(TableCodePageBytes, CharactersWithoutEquivalentBecomeLookAlikes) {
  const CodePage cp850 = CodePage::ForLanguageDriver(0x02, "T");
  const CodePage cp437 = CodePage::ForLanguageDriver(0x01, "T");
  // Euro sign, curly quotes, en dash, Š: none is in 850.
  EXPECT_EQ(cp850.ToStored("\x80 \x93hola\x94 \x96 \x8A"), "E \"hola\" - S");
  // Box drawing of the MS-DOS sets.
  EXPECT_EQ(cp437.ToWindows("\xC4\xB3\xC5"), "-|+");
  // Letters both sides share go both ways.
  const std::string spanish = "\xC1\xC9\xCD\xD3\xDA\xDC\xD1\xE1\xE9\xED\xF3\xFA\xFC\xF1\xBF\xA1";
  EXPECT_EQ(cp850.ToWindows(cp850.ToStored(spanish)), spanish);
  EXPECT_EQ(cp437.ToWindows(cp437.ToStored("\xD1\xF1\xE1\xE9\xED\xF3\xFA\xFC\xBF\xA1")),
            "\xD1\xF1\xE1\xE9\xED\xF3\xFA\xFC\xBF\xA1");
  // ASCII is never touched.
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii += static_cast<char>(c);
  EXPECT_EQ(cp850.ToStored(ascii), ascii);
  EXPECT_EQ(cp437.ToWindows(ascii), ascii);
}

TEST(TableCodePageIndex, KeysStayInTheTablesOwnCodePage) {
  testsupport::TempDir dir;
  {
    Table t;
    storetest::Define(t, dir.path(), "PROFT",
                      {{"ABREV", FieldType::String, 4}, {"NOMBRE", FieldType::String, 20}},
                      {"ABREV"});
    t.CreateTable();
    t.Open();
    t.AppendValues({std::string("ZLI"), std::string("Zubia")});
    t.AppendValues({std::string("\xD1RA"), std::string("\xD1" "eco")});
    t.Close();
  }
  // The table as a code page 850 writer leaves it: Ñ is 0xA5 in the file,
  // and its index (written by that program) holds 0xA5 too.
  const fs::path p = dir / "PROFT.DBF";
  std::string b = testsupport::ReadFile(p);
  b[29] = 0x02;
  for (char& c : b) {
    if (c == '\xD1') c = '\xA5';
  }
  testsupport::WriteFile(p, b);
  std::string m = testsupport::ReadFile(dir / "PROFT.MDX");
  m.replace(m.find("\xD1RA "), 4, "\xA5RA ");
  testsupport::WriteFile(dir / "PROFT.MDX", m);

  std::vector<std::string> notices;
  ScopedNoticeSink sink([&](const std::string& s) { notices.push_back(s); });
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("PROFT");
  t.SetIndexName("ABREV");
  t.Open();
  EXPECT_TRUE(notices.empty()) << notices.front();  // its keys match its records
  EXPECT_EQ(storetest::Column(t, "ABREV"), (std::vector<std::string>{"ZLI", "\xD1RA"}));
  ASSERT_TRUE(t.FindKey("\xD1RA"));
  EXPECT_EQ(t.FieldByName("NOMBRE").AsString(), "\xD1" "eco");
  t.AppendValues({std::string("\xD1OR"), std::string("Ib\xE1\xF1" "ez")});
  ASSERT_TRUE(t.FindKey("\xD1OR"));
  t.Close();
  // The index still matches the table, as the next opening checks.
  t.Open();
  EXPECT_TRUE(notices.empty()) << notices.front();
  EXPECT_NE(testsupport::ReadFile(p).find("\xA5OR"), std::string::npos);
}
