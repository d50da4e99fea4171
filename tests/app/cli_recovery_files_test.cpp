// Recovery files planted in a school's work folder: rollback journals and
// replacement records that name other files than their own table's, or
// whose files are links. Each is put beside the imported sample school
// (with its timetable solution SOLUC and a file outside the work folder),
// then a real transdae-cli process runs `show PROFT`, an import or an
// export over it. Whatever the command, the outside file and SOLUC must be
// byte for byte as before, the planted file must be set aside (renamed to
// "<name>.transdae-rejected", never carried out) and the user told, naming
// it. `show` must also leave PROFT as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::ExamplesDir;
using testsupport::QuotePath;
using testsupport::ReadFile;
using testsupport::RunCli;
using testsupport::TempDir;
using testsupport::WriteFile;

// ---- the engine's recovery file layouts, written as a planter would

uint64_t Fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

void Put(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct PageImage {
  int file;
  uint32_t page;
  std::string bytes;
};

// A complete, well-formed journal: both checksums hold.
std::string Journal(const std::vector<std::pair<std::string, uint64_t>>& files,
                    const std::vector<PageImage>& images = {}) {
  std::string body;
  for (const auto& [name, length] : files) {
    Put(body, name.size(), 2);
    body += name;
    Put(body, length, 8);
  }
  for (const PageImage& im : images) {
    Put(body, static_cast<uint64_t>(im.file), 1);
    Put(body, im.page, 4);
    Put(body, im.bytes.size(), 4);
    body += im.bytes;
  }
  std::string head = "TDJRNL01";
  Put(head, 4096, 4);
  Put(head, files.size(), 4);
  Put(head, images.size(), 4);
  Put(head, 0, 4);
  Put(head, body.size(), 8);
  Put(head, Fnv1a(body), 8);
  Put(head, Fnv1a(head), 8);
  return head + body;
}

// A whole replacement record with these lines ("M from\tto", "D name").
std::string Record(const std::vector<std::string>& lines) {
  std::string body = "TDREPL01\n";
  for (const std::string& l : lines) body += l + "\n";
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(body)));
  return body + "S " + hex + "\n";
}

// ---- the school

// The sample school imported once; each case works on a copy of it.
const fs::path& ImportedSchool() {
  static TempDir base;
  static const fs::path work = [] {
    const fs::path w = base / "work";
    CommandResult r = RunCli("import --dae " + QuotePath(ExamplesDir() / "dae") + " --work " +
                             QuotePath(w) + " --levels " +
                             QuotePath(ExamplesDir() / "levels.csv"));
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    fs::copy_file(ExamplesDir() / "solution" / "SOLUC.DBF", w / "SOLUC.DBF");
    return w;
  }();
  return work;
}

struct School {
  TempDir dir;
  fs::path work, dae, outside;
  School() {
    work = dir / "work";
    dae = dir / "dae";
    outside = dir / "outside";
    fs::copy(ImportedSchool(), work, fs::copy_options::recursive);
    fs::copy(ExamplesDir() / "dae", dae, fs::copy_options::recursive);
    fs::create_directory(outside);
    // A file of the user's outside the work folder.
    std::string bytes;
    for (int i = 0; i < 9000; ++i) bytes += static_cast<char>('A' + i % 26);
    WriteFile(outside / "notas.txt", bytes);
  }
  fs::path W(const std::string& name) const { return work / name; }
};

// Every file of a folder (links read through), by name.
std::map<std::string, std::string> Contents(const fs::path& folder) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::directory_iterator(folder)) {
    std::error_code ec;
    if (fs::is_regular_file(e.path(), ec)) out[e.path().filename().string()] = ReadFile(e.path());
  }
  return out;
}

bool NameExists(const fs::path& p) {
  std::error_code ec;
  return fs::symlink_status(p, ec).type() != fs::file_type::not_found;
}

struct Planted {
  const char* name;
  bool symbolic;           // uses a symbolic link (POSIX only)
  const char* file;        // the planted recovery file's name in the work folder
  const char* reason;      // part of the notice: why it was not carried out
  std::function<void(const School&)> plant;
};

const std::string kJunk(4096, '\xEE');

std::vector<Planted> Cases() {
  return {
      {"journal_truncating_the_solution", false, "PROFT.DBF.transdae-journal",
       "nombra el archivo 'SOLUC.DBF', que no es de esta tabla",
       [](const School& s) {
         WriteFile(s.W("PROFT.DBF.transdae-journal"), Journal({{"SOLUC.DBF", 0}}));
       }},
      {"journal_writing_another_file_of_the_folder", false, "PROFT.DBF.transdae-journal",
       "nombra el archivo 'evil', que no es de esta tabla",
       [](const School& s) {
         WriteFile(s.W("evil"), "datos del usuario");
         const uint64_t length = fs::file_size(s.W("PROFT.DBF"));
         WriteFile(s.W("PROFT.DBF.transdae-journal"),
                   Journal({{"PROFT.DBF", length}, {"evil", 0}}, {{1, 0, kJunk}}));
       }},
      {"journal_naming_a_link_out_of_the_folder", true, "PROFT.DBF.transdae-journal",
       "nombra el archivo 'evil', que no es de esta tabla",
       [](const School& s) {
         fs::create_symlink(s.outside / "notas.txt", s.W("evil"));
         WriteFile(s.W("PROFT.DBF.transdae-journal"), Journal({{"evil", 3}}, {{0, 0, kJunk}}));
       }},
      {"journal_whose_table_became_a_symbolic_link", true, "PROFT.DBF.transdae-journal",
       "es un enlace simbólico",
       [](const School& s) {
         fs::copy_file(s.W("PROFT.DBF"), s.outside / "PROFT.DBF");
         fs::remove(s.W("PROFT.DBF"));
         fs::create_symlink(s.outside / "PROFT.DBF", s.W("PROFT.DBF"));
         WriteFile(s.W("PROFT.DBF.transdae-journal"),
                   Journal({{"PROFT.DBF", 0}}, {{0, 0, kJunk}}));
       }},
      {"journal_whose_table_is_a_hard_link", false, "PROFT.DBF.transdae-journal",
       "tiene otros nombres en el disco",
       [](const School& s) {
         fs::copy_file(s.W("PROFT.DBF"), s.outside / "PROFT.DBF");
         fs::remove(s.W("PROFT.DBF"));
         fs::create_hard_link(s.outside / "PROFT.DBF", s.W("PROFT.DBF"));
         WriteFile(s.W("PROFT.DBF.transdae-journal"),
                   Journal({{"PROFT.DBF", 0}}, {{0, 0, kJunk}}));
       }},
      {"journal_whose_index_is_a_hard_link", false, "PROFT.DBF.transdae-journal",
       "tiene otros nombres en el disco",
       [](const School& s) {
         fs::copy_file(s.W("PROFT.MDX"), s.outside / "PROFT.MDX");
         fs::remove(s.W("PROFT.MDX"));
         fs::create_hard_link(s.outside / "PROFT.MDX", s.W("PROFT.MDX"));
         const uint64_t length = fs::file_size(s.W("PROFT.DBF"));
         WriteFile(s.W("PROFT.DBF.transdae-journal"),
                   Journal({{"PROFT.DBF", length}, {"PROFT.MDX", 0}}, {{0, 0, kJunk}}));
       }},
      {"journal_that_is_a_symbolic_link", true, "PROFT.DBF.transdae-journal",
       "es un enlace simbólico",
       [](const School& s) {
         WriteFile(s.outside / "diario", Journal({{"PROFT.DBF", 0}}));
         fs::create_symlink(s.outside / "diario", s.W("PROFT.DBF.transdae-journal"));
       }},
      {"journal_that_is_a_hard_link", false, "PROFT.DBF.transdae-journal",
       "tiene otros nombres en el disco",
       [](const School& s) {
         WriteFile(s.outside / "diario", Journal({{"PROFT.DBF", 0}}));
         fs::create_hard_link(s.outside / "diario", s.W("PROFT.DBF.transdae-journal"));
       }},
      {"record_deleting_the_solution", false, "PROFT.DBF.transdae-replace",
       "pide borrar el archivo 'SOLUC.DBF', que no es de esta tabla",
       [](const School& s) {
         WriteFile(s.W("PROFT.DBF.transdae-replace"), Record({"D SOLUC.DBF"}));
       }},
      {"record_moving_a_foreign_file_onto_the_table", false, "PROFT.DBF.transdae-replace",
       "pide renombrar 'evil' como 'PROFT.DBF'",
       [](const School& s) {
         WriteFile(s.W("evil"), "no es una tabla");
         WriteFile(s.W("PROFT.DBF.transdae-replace"), Record({"M evil\tPROFT.DBF"}));
       }},
      {"record_moving_a_link_onto_the_table", true, "PROFT.DBF.transdae-replace",
       "pide renombrar 'evil' como 'PROFT.DBF'",
       [](const School& s) {
         fs::create_symlink(s.outside / "notas.txt", s.W("evil"));
         WriteFile(s.W("PROFT.DBF.transdae-replace"), Record({"M evil\tPROFT.DBF"}));
       }},
      {"record_crossing_the_index_onto_the_table", false, "PROFT.DBF.transdae-replace",
       "pide renombrar 'PROFT.MDX.transdae-new' como 'PROFT.DBF'",
       [](const School& s) {
         WriteFile(s.W("PROFT.MDX.transdae-new"), kJunk);
         WriteFile(s.W("PROFT.DBF.transdae-replace"),
                   Record({"M PROFT.MDX.transdae-new\tPROFT.DBF"}));
       }},
      {"record_whose_new_table_is_a_symbolic_link", true, "PROFT.DBF.transdae-replace",
       "es un enlace simbólico",
       [](const School& s) {
         fs::create_symlink(s.outside / "notas.txt", s.W("PROFT.DBF.transdae-new"));
         WriteFile(s.W("PROFT.DBF.transdae-replace"),
                   Record({"M PROFT.DBF.transdae-new\tPROFT.DBF"}));
       }},
      {"record_whose_new_table_is_a_hard_link", false, "PROFT.DBF.transdae-replace",
       "tiene otros nombres en el disco",
       [](const School& s) {
         fs::create_hard_link(s.outside / "notas.txt", s.W("PROFT.DBF.transdae-new"));
         WriteFile(s.W("PROFT.DBF.transdae-replace"),
                   Record({"M PROFT.DBF.transdae-new\tPROFT.DBF"}));
       }},
      {"record_deleting_an_index_that_is_a_hard_link", false, "PROFT.DBF.transdae-replace",
       "tiene otros nombres en el disco",
       [](const School& s) {
         // The table's index is another name of a file outside: even its
         // name is not removed.
         fs::copy_file(s.W("PROFT.MDX"), s.outside / "PROFT.MDX");
         fs::remove(s.W("PROFT.MDX"));
         fs::create_hard_link(s.outside / "PROFT.MDX", s.W("PROFT.MDX"));
         WriteFile(s.W("PROFT.DBF.transdae-replace"), Record({"D PROFT.MDX"}));
       }},
      {"moved_aside_table_that_is_a_link", true, "PROFT.DBF.transdae-old",
       "es un enlace simbólico",
       [](const School& s) {
         fs::create_symlink(s.outside / "notas.txt", s.W("PROFT.DBF.transdae-old"));
       }},
  };
}

struct Command {
  const char* name;
  std::function<CommandResult(const School&)> run;
};

std::vector<Command> Commands() {
  return {
      {"show",
       [](const School& s) { return RunCli("show PROFT --work " + QuotePath(s.work)); }},
      {"import",
       [](const School& s) {
         return RunCli("import --dae " + QuotePath(s.dae) + " --work " + QuotePath(s.work) +
                       " --levels " + QuotePath(ExamplesDir() / "levels.csv"));
       }},
      {"export",
       [](const School& s) {
         return RunCli("export --dae " + QuotePath(s.dae) + " --work " + QuotePath(s.work) +
                       " --documents " + QuotePath(ExamplesDir() / "documents.csv"));
       }},
  };
}

class PlantedRecoveryFile : public testing::TestWithParam<std::tuple<Planted, Command>> {};

TEST_P(PlantedRecoveryFile, IsSetAsideToldAndNeverCarriedOut) {
  const Planted& c = std::get<0>(GetParam());
  const Command& command = std::get<1>(GetParam());
#ifdef _WIN32
  if (c.symbolic) GTEST_SKIP() << "symbolic links need privileges on Windows";
#endif
  School s;
  c.plant(s);
  const std::map<std::string, std::string> outsideBefore = Contents(s.outside);
  const std::string solution = ReadFile(s.W("SOLUC.DBF"));
  const std::string teachers = ReadFile(s.W("PROFT.DBF"));
  const std::string teachersIndex = ReadFile(s.W("PROFT.MDX"));

  CommandResult r = command.run(s);
  const std::string said = r.out + r.err;

  EXPECT_EQ(Contents(s.outside), outsideBefore) << said;
  EXPECT_EQ(ReadFile(s.W("SOLUC.DBF")), solution);
  // Set aside under a name no run carries out, and the user told which.
  EXPECT_FALSE(NameExists(s.W(c.file))) << said;
  EXPECT_TRUE(NameExists(s.W(std::string(c.file) + ".transdae-rejected"))) << said;
  EXPECT_NE(said.find(std::string("No se ha aplicado")), std::string::npos) << said;
  EXPECT_NE(said.find(std::string("'") + c.file + "'"), std::string::npos) << said;
  EXPECT_NE(said.find(c.reason), std::string::npos) << said;
  EXPECT_NE(said.find(std::string("Se ha apartado como '") + c.file + ".transdae-rejected'"),
            std::string::npos)
      << said;
  if (std::string(command.name) == "show") {
    EXPECT_EQ(r.exitCode, 0) << said;
    EXPECT_EQ(ReadFile(s.W("PROFT.DBF")), teachers);
    EXPECT_EQ(ReadFile(s.W("PROFT.MDX")), teachersIndex);
    EXPECT_EQ(r.out.rfind("ABREV,", 0), 0u) << r.out;
  }
  // A second run finds nothing more to set aside.
  CommandResult again = RunCli("show PROFT --work " + QuotePath(s.work));
  EXPECT_EQ(again.err.find("No se ha aplicado"), std::string::npos) << again.err;
  EXPECT_EQ(Contents(s.outside), outsideBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlantedRecoveryFile, testing::Combine(testing::ValuesIn(Cases()), testing::ValuesIn(Commands())),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

// A sound journal of the table's own is still carried out: PROFT comes
// back as it was before the interrupted change, with no notice.
TEST(SoundRecoveryFile, OwnJournalIsRolledBackWithoutANotice) {
  School s;
  const std::string before = ReadFile(s.W("PROFT.DBF"));
  const uint64_t length = before.size();
  // The change the journal undoes: the first page overwritten, the file
  // grown.
  std::string changed = before;
  for (size_t i = 40; i < 200 && i < changed.size(); ++i) changed[i] = 'x';
  changed += std::string(5000, 'y');
  WriteFile(s.W("PROFT.DBF"), changed);
  WriteFile(s.W("PROFT.DBF.transdae-journal"),
            Journal({{"PROFT.DBF", length}}, {{0, 0, before.substr(0, std::min<size_t>(4096, before.size()))}}));
  CommandResult r = RunCli("show PROFT --work " + QuotePath(s.work));
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadFile(s.W("PROFT.DBF")), before);
  EXPECT_FALSE(NameExists(s.W("PROFT.DBF.transdae-journal")));
  EXPECT_FALSE(NameExists(s.W("PROFT.DBF.transdae-journal.transdae-rejected")));
}

}  // namespace
