// What the store does the same on every system although the systems
// differ: bytes kept as written (no text mode), tables held against other
// programs (advisory locks on POSIX, sharing modes on Windows), tables
// deleted and replaced while this process still holds them, names found
// and reported as the disk spells them, folders with any character in
// their names, and system errors worded in Spanish naming the file.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <fstream>

#include "store/os_file.h"
#include "store/path_text.h"
#include "store/system_error_text.h"
#include "store/table.h"
#include "store/table_file_lock.h"
#include "store/table_replacement.h"
#include "store/work_folder.h"
#include "tests/store/store_test_util.h"
#include "tests/support/child_holder.h"

using namespace store;
namespace fs = std::filesystem;
using storetest::ErrorOf;
using Strings = std::vector<std::string>;

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void MakeTable(const fs::path& folder, const std::string& name, int width,
               const Strings& rows, bool indexed = true) {
  Table t;
  storetest::Define(t, folder, name, {{"CLAVE", FieldType::String, width}},
                    indexed ? Strings{"CLAVE"} : Strings{});
  t.CreateTable();
  t.Open();
  for (const std::string& r : rows) t.AppendValues({r});
  t.Close();
}

Strings Rows(const fs::path& folder, const std::string& name) {
  Table t;
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.Open();
  return storetest::Column(t, "CLAVE");
}

Strings NamesIn(const fs::path& folder) {
  Strings out;
  for (const auto& e : fs::directory_iterator(folder)) out.push_back(FileNameText(e.path()));
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

// ---------------------------------------------------------------- bytes

// Bytes 0x1A (end of file in text mode) and 0x0A (turned into CR LF in
// text mode) inside a file and inside a table's header survive.
TEST(Bytes, EveryByteIsKeptAsWritten) {
  testsupport::TempDir dir;
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all += "fin\x1A\n\r\nmas";
  {
    os::File f;
    ASSERT_TRUE(f.Open(dir / "BYTES.BIN", os::OpenMode::CreateNew));
    ASSERT_TRUE(f.WriteAll(all.substr(0, 100)));
    ASSERT_TRUE(f.WriteAll(all.substr(100)));
    ASSERT_TRUE(f.Sync());
  }
  EXPECT_EQ(testsupport::ReadFile(dir / "BYTES.BIN"), all);
  os::File f;
  ASSERT_TRUE(f.Open(dir / "BYTES.BIN", os::OpenMode::ReadOnly));
  uint64_t size = 0;
  ASSERT_TRUE(f.Size(size));
  EXPECT_EQ(size, all.size());
  std::string back(all.size(), '\0');
  ASSERT_TRUE(f.ReadExactly(0, back.data(), back.size()));
  EXPECT_EQ(back, all);

  // A field 25 wide makes records of 26 bytes (0x1A in the header); ten
  // records make the count 0x0A.
  Strings rows;
  for (int i = 0; i < 10; ++i) rows.push_back("fila " + std::to_string(i));
  MakeTable(dir.path(), "BYTES", 25, rows);
  const std::string dbf = testsupport::ReadFile(dir / "BYTES.DBF");
  ASSERT_GE(dbf.size(), 12u);
  EXPECT_EQ(static_cast<unsigned char>(dbf[4]), 0x0A);
  EXPECT_EQ(static_cast<unsigned char>(dbf[10]), 0x1A);
  EXPECT_EQ(dbf.size(), 32u + 32u + 1u + 10u * 26u + 1u);
  EXPECT_EQ(Rows(dir.path(), "BYTES").size(), 10u);
}

// ---------------------------------------------------------------- holds

// A table that another program holds is reported with the tool's own
// words, and one the tool holds keeps the other program out.
TEST(Holds, ATableHeldElsewhereIsReportedAsHeld) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "PROFT", 4, {"ABC"});
  {
    testsupport::FileHolder other(dir / "PROFT.DBF", testsupport::Sharing::Exclusive);
    ASSERT_TRUE(other.held());
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("PROFT");
    const std::string e = ErrorOf([&] { t.Open(); });
    EXPECT_TRUE(Contains(e, "La tabla 'PROFT.DBF' está abierta en exclusiva por otro programa"))
        << e;
    const std::string r = ErrorOf([&] { TableFileLock lock(dir.path(), "proft.dbf"); });
    EXPECT_TRUE(Contains(r, "La tabla 'PROFT.DBF' está en uso por otro programa")) << r;
  }
  {
    testsupport::FileHolder other(dir / "PROFT.DBF", testsupport::Sharing::Shared);
    ASSERT_TRUE(other.held());
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("PROFT");
    t.SetExclusive(true);
    const std::string e = ErrorOf([&] { t.Open(); });
    EXPECT_TRUE(Contains(e, "La tabla 'PROFT.DBF' está en uso por otro programa y no se puede "
                            "abrir en exclusiva"))
        << e;
    // Shared with a shared holder is fine.
    t.SetExclusive(false);
    EXPECT_NO_THROW(t.Open());
    EXPECT_EQ(storetest::Column(t, "CLAVE"), Strings{"ABC"});
  }
}

// What another program sees of the tables the tool holds: on Windows the
// sharing mode (its open fails with a sharing violation), on Linux the
// lock (its flock fails).
TEST(Holds, OtherProgramsSeeTheToolsHold) {
  using testsupport::OpenOutcome;
  using testsupport::OtherProgramOpens;
  using testsupport::Sharing;
  testsupport::TempDir dir;
  MakeTable(dir.path(), "ASIGT", 4, {"MAT"});
  const fs::path file = dir / "ASIGT.DBF";
  std::string detail;
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("ASIGT");
    t.SetExclusive(true);
    t.Open();
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Shared, &detail), OpenOutcome::Busy) << detail;
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Exclusive, &detail), OpenOutcome::Busy) << detail;
    t.Close();
    t.SetExclusive(false);
    t.Open();
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Shared, &detail), OpenOutcome::Opened) << detail;
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Exclusive, &detail), OpenOutcome::Busy)
        << "nobody gets it alone " << detail;
    // Made exclusive by a second object while the first is open, and back.
    Table second;
    second.SetDatabaseName(dir.path());
    second.SetTableName("asigt.dbf");
    second.SetExclusive(true);
    second.Open();
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Shared, &detail), OpenOutcome::Busy) << detail;
    second.Close();
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Shared, &detail), OpenOutcome::Opened)
        << "back to shared " << detail;
    EXPECT_EQ(storetest::Column(t, "CLAVE"), Strings{"MAT"});
  }
  EXPECT_EQ(OtherProgramOpens(file, Sharing::Exclusive, &detail), OpenOutcome::Opened)
      << "free once closed " << detail;
  {
    // Held for a replacement: others neither write nor lock, this process
    // still reads (its copies), through the engine's own file handles.
    TableFileLock lock(dir.path(), "ASIGT.DBF");
    EXPECT_EQ(OtherProgramOpens(file, Sharing::Shared, &detail), OpenOutcome::Busy) << detail;
    os::File own;
    ASSERT_TRUE(own.Open(file, os::OpenMode::ReadOnly));
    uint64_t size = 0;
    ASSERT_TRUE(own.Size(size));
    std::string bytes(size, '\0');
    ASSERT_TRUE(own.ReadExactly(0, bytes.data(), bytes.size()));
    EXPECT_EQ(bytes.size(), 32u + 32u + 1u + 5u + 1u);
  }
}

#ifdef _WIN32
// The same seen by a handle of this process: Windows checks sharing modes
// against every handle, its own program's too.
TEST(Holds, SharingModesApplyToEveryHandle) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "ASIGT", 4, {"MAT"});
  const std::wstring file = (dir / "ASIGT.DBF").wstring();
  auto open = [&](DWORD share) {
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD err = h == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    return err;
  };
  const DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
  Table t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("ASIGT");
  t.SetExclusive(true);
  t.Open();
  EXPECT_EQ(open(shared), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  t.Close();
  t.SetExclusive(false);
  t.Open();
  EXPECT_EQ(open(shared), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(open(0), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  t.Close();
  EXPECT_EQ(open(0), static_cast<DWORD>(ERROR_SUCCESS));
}
#endif

// ---------------------------------------------------------------- replacement

// An import holds the product's tables, deletes some and builds others
// anew in their place, run after run, while it holds them.
TEST(Replacement, TablesHeldHereAreDeletedAndReplacedRunAfterRun) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "ASIGNOMT", 6, {"VIEJO1", "VIEJO2"});
  MakeTable(dir.path(), "ASIGT", 4, {"MAT"});
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    {
      TableFileLock held(dir.path(), "ASIGNOMT.DBF");
      TableFileLock other(dir.path(), "asigt.dbf");
      ASSERT_TRUE(held.Held());
      DeleteFileNoCase(dir.path(), "ASIGT.DBF");
      DeleteFileNoCase(dir.path(), "ASIGT.MDX");
      EXPECT_FALSE(FileExistsNoCase(dir.path(), "ASIGT.DBF"));
      // The name is free at once: a new table takes it.
      MakeTable(dir.path(), "ASIGT", 4, {"R" + std::to_string(run)});
      MakeTable(dir.path(), "ASIGNOMT", 6, {"NUEVO" + std::to_string(run), "OTRO"});
      EXPECT_EQ(Rows(dir.path(), "ASIGNOMT"),
                (Strings{"NUEVO" + std::to_string(run), "OTRO"}));
    }
    EXPECT_EQ(Rows(dir.path(), "ASIGT"), Strings{"R" + std::to_string(run)});
    EXPECT_EQ(NamesIn(dir.path()),
              (Strings{"ASIGNOMT.DBF", "ASIGNOMT.MDX", "ASIGT.DBF", "ASIGT.MDX"}))
        << "no staged, aside or temporary file is left";
  }
}

// Packing renames the packed file over the table it has open itself.
TEST(Replacement, PackReplacesTheTableItHolds) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "GRUPOST", 4, {"1A", "1B", "2A", "2B"});
  {
    Table t;
    t.SetDatabaseName(dir.path());
    t.SetTableName("GRUPOST");
    t.Open();
    t.First();
    t.Next();
    t.Delete();
    t.Close();
    t.SetExclusive(true);
    t.Pack();
  }
  EXPECT_EQ(Rows(dir.path(), "GRUPOST"), (Strings{"1A", "2A", "2B"}));
  EXPECT_EQ(testsupport::ReadFile(dir / "GRUPOST.DBF").size(), 32u + 32u + 1u + 3u * 5u + 1u);
  EXPECT_EQ(NamesIn(dir.path()), (Strings{"GRUPOST.DBF", "GRUPOST.MDX"}));
}

#ifdef _WIN32
// Windows renames over a table held here in steps (os::RenameFile); what
// a crash between them leaves is settled by the next open: the old file
// back when the new one never took the name, else the old one deleted.
TEST(Replacement, WhatACrashLeftBetweenTheStepsIsSettled) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "GRUPOST", 4, {"1A", "1B"});
  const std::string table = testsupport::ReadFile(dir / "GRUPOST.DBF");
  // Moved aside, the packed file not in place yet.
  fs::rename(dir / "GRUPOST.DBF", dir / "GRUPOST.DBF.transdae-old");
  testsupport::WriteFile(dir / "GRUPOST.DBF.transdae-new", "a medio escribir");
  EXPECT_EQ(Rows(dir.path(), "GRUPOST"), (Strings{"1A", "1B"}));
  EXPECT_EQ(NamesIn(dir.path()), (Strings{"GRUPOST.DBF", "GRUPOST.MDX"}));
  // In place, the old file not deleted yet.
  fs::copy_file(dir / "GRUPOST.MDX", dir / "GRUPOST.MDX.transdae-old");
  testsupport::WriteFile(dir / "GRUPOST.DBF.transdae-old", "viejo");
  EXPECT_EQ(Rows(dir.path(), "GRUPOST"), (Strings{"1A", "1B"}));
  EXPECT_EQ(NamesIn(dir.path()), (Strings{"GRUPOST.DBF", "GRUPOST.MDX"}));
  EXPECT_EQ(testsupport::ReadFile(dir / "GRUPOST.DBF"), table);
}
#endif

#ifdef _WIN32
// A table that the school hid (or marked as a system file) stays hidden
// when a new table takes its place, index included.
TEST(Replacement, AHiddenTableStaysHiddenWhenRebuilt) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "PROFT", 4, {"AB"});
  for (const char* file : {"PROFT.DBF", "PROFT.MDX"})
    ASSERT_TRUE(SetFileAttributesW((dir / file).c_str(), FILE_ATTRIBUTE_HIDDEN));
  MakeTable(dir.path(), "PROFT", 4, {"CD", "EF"});
  EXPECT_EQ(Rows(dir.path(), "PROFT"), (Strings{"CD", "EF"}));
  for (const char* file : {"PROFT.DBF", "PROFT.MDX"})
    EXPECT_TRUE(GetFileAttributesW((dir / file).c_str()) & FILE_ATTRIBUTE_HIDDEN) << file;
  // A table that was not hidden is not hidden afterwards.
  MakeTable(dir.path(), "GRUPOST", 4, {"1A"});
  MakeTable(dir.path(), "GRUPOST", 4, {"1B"});
  EXPECT_FALSE(GetFileAttributesW((dir / "GRUPOST.DBF").c_str()) & FILE_ATTRIBUTE_HIDDEN);
}
#endif

// ---------------------------------------------------------------- long paths

// A work folder whose path has more than 260 characters: tables are made,
// found in any spelling, replaced and deleted there as anywhere else, and
// the folders above it are made with the first table.
TEST(LongPaths, TablesLiveInAFolderOfMoreThan260Characters) {
  testsupport::TempDir dir;
  fs::path work = dir.path();
  for (int i = 0; PathText(work).size() < 300; ++i)
    work /= PathFromText("Una carpeta de nombre largo, con eñe y acentos: sí " + std::to_string(i));
  MakeTable(work, "ASIGNOMT", 6, {"UNO", "DOS"});
  EXPECT_TRUE(os::IsFolder(work));
  EXPECT_EQ(Rows(work, "asignomt"), (Strings{"UNO", "DOS"}));
  MakeTable(work, "ASIGNOMT", 6, {"TRES"});
  EXPECT_EQ(Rows(work, "ASIGNOMT"), Strings{"TRES"});
  std::vector<fs::path> names;
  ASSERT_TRUE(os::ListFolder(work, names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<fs::path>{"ASIGNOMT.DBF", "ASIGNOMT.MDX"}));
  DeleteFileNoCase(work, "asignomt.dbf");
  DeleteFileNoCase(work, "asignomt.mdx");
  ASSERT_TRUE(os::ListFolder(work, names));
  EXPECT_TRUE(names.empty());
  // Emptied from the bottom up, so that the temporary folder goes.
  for (fs::path p = work; p != dir.path(); p = p.parent_path()) EXPECT_TRUE(os::RemoveFolder(p));
}

// Paths are shown with the system's separator, whatever the user typed.
TEST(LongPaths, PathsAreShownWithTheSystemsSeparator) {
#ifdef _WIN32
  EXPECT_EQ(PathText(fs::path(L"C:/Curso/A\u00f1o/PROFT.DBF")), "C:\\Curso\\A\xC3\xB1o\\PROFT.DBF");
#else
  EXPECT_EQ(PathText(fs::path("/datos/Curso/PROFT.DBF")), "/datos/Curso/PROFT.DBF");
  EXPECT_EQ(PathText(fs::path("/datos/a\\b")), "/datos/a\\b");  // a name's own character
#endif
}

// ---------------------------------------------------------------- names

// Asked for in another spelling, a table is found, reported and shared
// under its spelling on disk: two objects that spell it differently are
// one open table (both exclusive, neither keeps the other out).
TEST(Names, SpellingsOfOneTableShareItAndReportTheDisksName) {
  testsupport::TempDir dir;
  MakeTable(dir.path(), "PROFT", 4, {"ABC"});
  Table a, b;
  a.SetDatabaseName(dir.path());
  a.SetTableName("proft.DBF");
  a.SetExclusive(true);
  b.SetDatabaseName(dir.path());
  b.SetTableName("Proft.dbf");
  b.SetExclusive(true);
  EXPECT_EQ(FileNameText(a.FilePath()), "PROFT.DBF");
  a.Open();
  ASSERT_NO_THROW(b.Open());
  a.AppendValues({std::string("XYZ")});
  EXPECT_EQ(storetest::Column(b, "CLAVE"), (Strings{"ABC", "XYZ"}));
  const std::string e = ErrorOf([&] { TableFileLock lock(dir.path(), "proft.dbf"); });
  EXPECT_TRUE(Contains(e, "La tabla 'PROFT.DBF' está abierta en esta ventana")) << e;
  EXPECT_FALSE(Contains(e, "proft")) << e;
  b.Close();
  a.Close();
  EXPECT_EQ(FileNameText(ResolveFileNoCase(dir.path(), "proft.mdx")), "PROFT.MDX");
}

// ---------------------------------------------------------------- Unicode

// A work folder with "ñ" and accents in its path, end to end: made,
// filled, reopened, rebuilt, and named in messages as written.
TEST(Unicode, AWorkFolderWithAccentsAndEnye) {
  testsupport::TempDir dir;
  const fs::path work = dir.path() / PathFromText("Curso 2024-25") / PathFromText("A\xC3\xB1o");
  fs::create_directories(work);
  MakeTable(work, "PROFT", 4, {"\xD1RA"});  // the table's own text is code page 1252
  EXPECT_TRUE(fs::exists(work / "PROFT.DBF"));
  EXPECT_EQ(Rows(work, "proft"), Strings{"\xD1RA"});
  {
    Table t;
    t.SetDatabaseName(work);
    t.SetTableName("PROFT");
    t.SetIndexName("CLAVE");
    t.Open();
    t.AppendValues({std::string("ABC")});
    EXPECT_TRUE(t.FindKey("ABC"));
  }
  EXPECT_EQ(Rows(work, "PROFT"), (Strings{"\xD1RA", "ABC"}));
  MakeTable(work, "PROFT", 4, {"NEW"});  // rebuilt in place
  EXPECT_EQ(Rows(work, "PROFT"), Strings{"NEW"});
  EXPECT_EQ(NamesIn(work), (Strings{"PROFT.DBF", "PROFT.MDX"}));

  // Messages carry the folder as UTF-8 text.
  Table missing;
  missing.SetDatabaseName(work);
  missing.SetTableName("SOLUC");
  const std::string e = ErrorOf([&] { missing.Open(); });
  EXPECT_TRUE(Contains(e, "No se encuentra la tabla 'SOLUC.DBF'")) << e;
  EXPECT_TRUE(Contains(e, "A\xC3\xB1o")) << e;
  // And through the environment.
  EXPECT_EQ(PathText(PathFromText(PathText(work))), PathText(work));
}

// ---------------------------------------------------------------- errors

TEST(Errors, SystemErrorsAreWordedInSpanish) {
  EXPECT_EQ(SystemErrorText(ENOENT), "No existe el archivo o la carpeta");
  EXPECT_EQ(SystemErrorText(std::make_error_code(std::errc::permission_denied)),
            "Permiso denegado");
  EXPECT_TRUE(os::IsWouldBlock(EAGAIN));
#ifdef _WIN32
  // Windows codes as the system and std::filesystem give them.
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, "No existe el archivo o la carpeta"},
      {ERROR_PATH_NOT_FOUND, "No existe el archivo o la carpeta"},
      {ERROR_ACCESS_DENIED, "Permiso denegado"},
      {ERROR_SHARING_VIOLATION, "El archivo está bloqueado o en uso por otro programa"},
      {ERROR_LOCK_VIOLATION, "El archivo está bloqueado o en uso por otro programa"},
      {ERROR_DISK_FULL, "No queda espacio en el disco"},
      {ERROR_HANDLE_DISK_FULL, "No queda espacio en el disco"},
      {ERROR_WRITE_PROTECT, "El sistema de archivos es de sólo lectura"},
      {ERROR_ALREADY_EXISTS, "El archivo ya existe"},
      {ERROR_NOT_READY, "El disco no está preparado"},
      {ERROR_INVALID_DRIVE, "La unidad no existe"},
      {ERROR_INVALID_NAME, "El nombre del archivo, de la carpeta o de la unidad no es válido"},
      {ERROR_NETNAME_DELETED, "Se ha perdido la conexión con la carpeta de red"},
      {9999, "Error de Windows número 9999"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SystemErrorText(std::error_code(c.code, std::system_category())), c.text)
        << c.code;
    EXPECT_EQ(SystemErrorText(os::ErrorFromSystemCode(c.code)), c.text) << c.code;
  }
  EXPECT_TRUE(os::IsWouldBlock(os::ErrorFromSystemCode(ERROR_SHARING_VIOLATION)));
  EXPECT_TRUE(os::IsNotFound(os::ErrorFromSystemCode(ERROR_PATH_NOT_FOUND)));
  EXPECT_EQ(os::WindowsErrorNumber(os::ErrorFromSystemCode(ERROR_NOT_READY)), ERROR_NOT_READY);
  EXPECT_TRUE(os::IsNotFound(os::ErrorFromSystemCode(ERROR_INVALID_DRIVE)));

  // A path on a drive that does not exist says so, not that a name is too
  // long or that a file is missing.
  wchar_t drive[] = L"A:\\";
  for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter) {
    drive[0] = letter;
    if (GetDriveTypeW(drive) == DRIVE_NO_ROOT_DIR) break;
  }
  ASSERT_EQ(GetDriveTypeW(drive), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << "no free drive letter";
  const fs::path gone = fs::path(std::wstring(drive)) / L"QTEMP";
  EXPECT_FALSE(os::IsFolder(gone));
  EXPECT_EQ(SystemErrorText(os::LastError()), "La unidad no existe");
  EXPECT_TRUE(os::IsNotFound(os::LastError()));
  const std::string created = ErrorOf([&] { MakeTable(gone, "PROFT", 4, {"AB"}); });
  EXPECT_EQ(created, "No se puede crear la carpeta " + PathText(gone) + ": La unidad no existe");

  // A file that another program holds cannot be deleted: the message names
  // it in full, as UTF-8, with the reason in Spanish.
  testsupport::TempDir dir;
  const fs::path work = dir.path() / PathFromText("A\xC3\xB1o");
  fs::create_directories(work);
  MakeTable(work, "ASIGNOMT", 4, {"X"});
  testsupport::FileHolder other(work / "ASIGNOMT.DBF", testsupport::Sharing::Exclusive);
  ASSERT_TRUE(other.held());
  const std::string e = ErrorOf([&] { DeleteFileNoCase(work, "asignomt.dbf"); });
  EXPECT_EQ(e, "No se puede borrar el archivo " + PathText(work / "ASIGNOMT.DBF") +
                   ": El archivo está bloqueado o en uso por otro programa");
  EXPECT_TRUE(Contains(e, "A\xC3\xB1o\\ASIGNOMT.DBF")) << e;
  EXPECT_TRUE(fs::exists(work / "ASIGNOMT.DBF")) << "left as it was";
  EXPECT_EQ(NamesIn(work), (Strings{"ASIGNOMT.DBF", "ASIGNOMT.MDX"}));
#endif
}
