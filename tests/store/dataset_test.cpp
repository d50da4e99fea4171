// The dataset operations: record states, settling, moving, keys, bookmarks,
// filters, detail links, read-only and closed objects, values.
#include <gtest/gtest.h>

#include "store/record_reader.h"
#include "store/store_error.h"
#include "store/table.h"
#include "tests/store/store_test_util.h"

using namespace store;
namespace fs = std::filesystem;
using storetest::Column;
using Strings = std::vector<std::string>;

using storetest::ErrorOf;

namespace {

// A table GRUPOST (ABREV C4, NIVEL C5, NUM N) in a temporary folder.
class DatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Table c;
    storetest::Define(c, dir.path(), "GRUPOST",
                      {{"ABREV", FieldType::String, 4},
                       {"NIVEL", FieldType::String, 5},
                       {"NUM", FieldType::Integer, 0}},
                      {"ABREV"});
    c.CreateTable();
    t.SetDatabaseName(dir.path());
    t.SetTableName("GRUPOST");
  }
  void Fill(const Strings& abrevs) {
    t.Open();
    int n = 1;
    for (const std::string& a : abrevs) t.AppendValues({a, std::string("ESO"), n++});
    t.First();
  }
  // The live records on disk: as the independent reader lists them where
  // it is (Linux), else counted in the file's bytes.
  size_t StoredRows() {
    if (storetest::kHaveReaders) return storetest::DumpTable(dir / "GRUPOST.DBF").size() - 1;
    const std::string b = testsupport::ReadFile(dir / "GRUPOST.DBF");
    auto u = [&](size_t at, int n) {
      size_t v = 0;
      for (int i = n - 1; i >= 0; --i) v = v * 256 + static_cast<unsigned char>(b[at + size_t(i)]);
      return v;
    };
    const size_t count = u(4, 4), header = u(8, 2), length = u(10, 2);
    size_t live = 0;
    for (size_t r = 0; r < count; ++r) live += b.at(header + r * length) == ' ';
    return live;
  }

  testsupport::TempDir dir;
  Table t;
};

}  // namespace

TEST_F(DatasetTest, StatesFollowTheOperations) {
  EXPECT_EQ(t.State(), DataSetState::Inactive);
  t.Open();
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.Bof());
  t.Append();
  EXPECT_EQ(t.State(), DataSetState::Insert);
  t.FieldByName("ABREV").SetAsString("1A");
  EXPECT_TRUE(t.Modified());
  t.Post();
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "1A");  // the stored record stays current
  t.Edit();
  EXPECT_EQ(t.State(), DataSetState::Edit);
  EXPECT_FALSE(t.Modified());
  t.Edit();  // already editing: nothing happens
  EXPECT_EQ(t.State(), DataSetState::Edit);
  t.Cancel();
  EXPECT_EQ(t.State(), DataSetState::Browse);
  t.Close();
  EXPECT_EQ(t.State(), DataSetState::Inactive);
  EXPECT_FALSE(t.Active());
}

TEST_F(DatasetTest, EditOnAnEmptyTableStartsANewRecord) {
  t.Open();
  t.Edit();
  EXPECT_EQ(t.State(), DataSetState::Insert);
  t.FieldByName("ABREV").SetAsString("2B");
  t.First();  // settles: a field was set, so the record is stored
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_EQ(Column(t, "ABREV"), Strings{"2B"});
  EXPECT_EQ(StoredRows(), 1u);
}

TEST_F(DatasetTest, SettlingDiscardsUntouchedRecordsAndPostsTouchedOnes) {
  t.SetIndexName("ABREV");
  t.Open();
  t.Append();
  t.Next();  // nothing set: discarded
  t.Append();
  t.Append();  // nothing set: discarded
  t.FieldByName("ABREV").SetAsString("A1");
  t.Append();  // set: posted
  t.FieldByName("ABREV").SetAsString("A2");
  EXPECT_TRUE(t.FindKey("A1"));  // FindKey settles too
  t.Edit();
  t.FieldByName("NIVEL").SetAsString("BACH");
  t.AppendValues({std::string("A3")});  // settles the edit, then appends
  t.Edit();
  t.Next();  // nothing set: the edit is dropped
  t.Close();
  t.Open();
  EXPECT_EQ(Column(t, "ABREV"), (Strings{"A1", "A2", "A3"}));
  EXPECT_TRUE(t.FindKey("A1"));
  EXPECT_EQ(t.FieldByName("NIVEL").AsString(), "BACH");
  EXPECT_EQ(StoredRows(), 3u);
}

TEST_F(DatasetTest, SettingAFieldToTheSameValueStillPosts) {
  Fill({"A1"});
  int changes = 0;
  t.AddListener([&](TableEvent e) { changes += e == TableEvent::DataChanged; });
  t.Edit();
  t.Next();
  EXPECT_EQ(changes, 0);
  t.Edit();
  t.FieldByName("ABREV").SetAsString("A1");
  t.Next();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(t.State(), DataSetState::Browse);
}

TEST_F(DatasetTest, ClosingLosesAPendingChangeAndPostKeepsIt) {
  Fill({"A1"});
  t.Edit();
  t.FieldByName("NIVEL").SetAsString("LOST");
  t.Close();
  t.Open();
  EXPECT_EQ(t.FieldByName("NIVEL").AsString(), "ESO");
  t.Edit();
  t.FieldByName("NIVEL").SetAsString("KEPT");
  t.Post();
  t.Close();
  t.Open();
  EXPECT_EQ(t.FieldByName("NIVEL").AsString(), "KEPT");
}

TEST_F(DatasetTest, TextLongerThanTheFieldIsCut) {
  SKIP_WITHOUT_READERS();
  t.Open();
  t.Append();
  t.FieldByName("NIVEL").SetAsString("ABCDEFGHIJKL");
  t.FieldByName("ABREV").SetAsString("  x");
  t.Post();
  EXPECT_EQ(t.FieldByName("NIVEL").AsString(), "ABCDE");
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "  x");  // left blanks stay
  EXPECT_EQ(storetest::DumpTable(dir / "GRUPOST.DBF")[1], "  x|ABCDE|");
}

TEST_F(DatasetTest, NumbersReadAsIntegersRoundHalvesToEven) {
  SKIP_WITHOUT_READERS();
  fs::path p = dir / "NUMS.DBF";
  auto w = storetest::RunDump("--write " + testsupport::ShellQuote(p.string()) +
                              " 'V N(8,2)' '2.5' '3.5' '-2.5' '0.5' '1.5' '2.49' '2.51' '' '-0.25' '100'");
  ASSERT_EQ(w.exitCode, 0) << w.err;
  Table n;
  n.SetDatabaseName(dir.path());
  n.SetTableName("nums");
  n.Open();
  const std::vector<std::pair<int, std::string>> expected = {
      {2, "2.5"}, {4, "3.5"}, {-2, "-2.5"}, {0, "0.5"}, {2, "1.5"},
      {2, "2.49"}, {3, "2.51"}, {0, ""}, {0, "-0.25"}, {100, "100"}};
  n.First();
  for (const auto& [asInt, asText] : expected) {
    ASSERT_FALSE(n.Eof());
    EXPECT_EQ(n.FieldByName("V").AsInteger(), asInt) << asText;
    EXPECT_EQ(n.FieldByName("V").AsString(), asText);
    n.Next();
  }
}

TEST_F(DatasetTest, BadValuesAreRefusedWithAMessage) {
  Fill({"A1"});
  t.Edit();
  EXPECT_NE(ErrorOf([&] { t.FieldByName("NUM").SetAsString("doce"); }).find("no es un valor numérico"),
            std::string::npos);
  t.FieldByName("NUM").SetAsString("");  // empty is allowed
  t.Post();
  EXPECT_EQ(t.FieldByName("NUM").AsInteger(), 0);
  EXPECT_EQ(t.FieldByName("NUM").AsString(), "");
  EXPECT_NE(ErrorOf([&] { (void)t.FieldByName("NIVEL").AsInteger(); }).find("no es un valor entero"),
            std::string::npos);
}

TEST_F(DatasetTest, NextStopsOnTheLastRecordAndSetsEof) {
  Fill({"A1", "A2"});
  t.SetIndexName("");
  EXPECT_FALSE(t.Eof());
  EXPECT_TRUE(t.Bof());
  t.Next();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A2");
  EXPECT_FALSE(t.Eof());
  t.Next();
  EXPECT_TRUE(t.Eof());
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A2");
  t.Prior();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  t.Prior();
  EXPECT_TRUE(t.Bof());
  t.Last();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A2");
  t.Open();  // opening an open table does nothing
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A2");
}

TEST_F(DatasetTest, FindKeyWithoutAMatchLeavesTheCurrentRecord) {
  Fill({"B2", "A1", "C3"});
  t.SetIndexName("ABREV");
  EXPECT_TRUE(t.FindKey("C3"));
  EXPECT_EQ(t.FieldByName("NUM").AsInteger(), 3);
  EXPECT_FALSE(t.FindKey("B"));   // keys compare whole, padded
  EXPECT_FALSE(t.FindKey("ZZ"));
  EXPECT_FALSE(t.FindKey("c3"));  // letter case matters in keys
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "C3");
  EXPECT_TRUE(t.FindKey("A1  zz"));  // cut to the key length
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  t.SetIndexName("");
  EXPECT_NE(ErrorOf([&] { t.FindKey("A1"); }).find("no tiene un índice activo"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { t.SetIndexName("NIVEL"); }).find("no tiene el índice 'NIVEL'"),
            std::string::npos);
}

TEST_F(DatasetTest, ChangingTheIndexReordersAndKeepsTheRecord) {
  Fill({"B2", "A1", "C3"});
  EXPECT_EQ(Column(t, "ABREV"), (Strings{"B2", "A1", "C3"}));
  t.First();
  t.Next();  // A1
  t.SetIndexName("ABREV");
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  t.Next();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "B2");
  EXPECT_EQ(Column(t, "ABREV"), (Strings{"A1", "B2", "C3"}));
}

TEST_F(DatasetTest, BookmarksReturnAfterAWalk) {
  Fill({"A1", "A2", "A3"});
  t.Next();
  Bookmark b = t.GetBookmark();
  EXPECT_EQ(b.recno, 2u);
  EXPECT_EQ(Column(t, "ABREV").size(), 3u);
  EXPECT_TRUE(t.Eof());
  t.GotoBookmark(b);
  EXPECT_FALSE(t.Eof());
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A2");
  t.Delete();
  EXPECT_NE(ErrorOf([&] { t.GotoBookmark(b); }).find("ya no existe"), std::string::npos);
}

TEST_F(DatasetTest, DeleteMovesToTheNextOrTheNewLast) {
  Fill({"A1", "A2", "A3"});
  t.Next();
  t.Delete();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A3");
  t.Delete();  // the last one: the new last becomes current
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  EXPECT_FALSE(t.Eof());
  t.Append();
  t.FieldByName("ABREV").SetAsString("NEW");
  t.Delete();  // in insert state: the new record is dropped
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  t.Delete();
  EXPECT_TRUE(t.Eof());
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_NE(ErrorOf([&] { t.Delete(); }), "(no error)");
  EXPECT_EQ(StoredRows(), 0u);
  // Deleted records stay in the file, flagged, as dBase keeps them.
  std::string bytes = testsupport::ReadFile(dir / "GRUPOST.DBF");
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '*'), 3);
}

TEST_F(DatasetTest, DeleteInsideAWalkVisitsEveryRecordOnce) {
  Fill({"K1", "D2", "K3", "D4", "D5"});
  t.SetIndexName("");
  t.First();
  while (!t.Eof()) {
    if (t.FieldByName("ABREV").AsString()[0] == 'D') {
      t.Delete();
      if (t.RecNo() == 3) {  // the last one went: K3 is current again
        t.Next();
      }
    } else {
      t.Next();
    }
  }
  EXPECT_EQ(Column(t, "ABREV"), (Strings{"K1", "K3"}));
}

TEST_F(DatasetTest, FilterShowsOnlyMatchingRecords) {
  Fill({"A1", "O'B", "A1", "B2"});
  t.SetIndexName("");
  t.SetFiltered(true);  // on without a text: everything shows
  EXPECT_EQ(Column(t, "ABREV").size(), 4u);
  t.SetFiltered(false);
  t.SetFilter("ABREV = 'A1'");
  EXPECT_EQ(Column(t, "ABREV").size(), 4u);  // off: everything shows
  t.SetFiltered(true);
  t.First();
  EXPECT_EQ(Column(t, "ABREV"), (Strings{"A1", "A1"}));
  EXPECT_EQ(t.VisibleRecords(), (std::vector<uint32_t>{1, 3}));
  t.SetFilter("ABREV = 'O''B'");
  EXPECT_EQ(Column(t, "NUM"), Strings{"2"});
  t.SetFilter("NUM = '4'");
  EXPECT_EQ(Column(t, "ABREV"), Strings{"B2"});
  t.SetFilter("ABREV = 'A'");  // exact, not a prefix
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_TRUE(t.Eof());
  EXPECT_NE(ErrorOf([&] { t.SetFilter("ABREV = A1"); }).find("no es válido"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { t.SetFilter("CURSO = 'x'"); }), "No se encuentra el campo 'CURSO' en la tabla 'GRUPOST.DBF'");
  t.SetFilter("");
  EXPECT_EQ(Column(t, "ABREV").size(), 4u);
}

TEST_F(DatasetTest, ReadOnlyObjectsRefuseChanges) {
  Fill({"A1"});
  t.Close();
  t.SetReadOnly(true);
  t.Open();
  const std::string ro = texts::kReadOnly;
  EXPECT_EQ(ErrorOf([&] { t.Append(); }), ro);
  EXPECT_EQ(ErrorOf([&] { t.Edit(); }), ro);
  EXPECT_EQ(ErrorOf([&] { t.Delete(); }), ro);
  EXPECT_EQ(ErrorOf([&] { t.AppendValues({std::string("X")}); }), ro);
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  EXPECT_EQ(StoredRows(), 1u);
}

TEST_F(DatasetTest, ClosedObjectsRefuseOperationsAndReadEmpty) {
  Fill({"A1"});
  Field& f = t.FieldByName("ABREV");
  t.Close();
  const std::string closed = texts::kClosedDataset;
  const std::vector<std::pair<const char*, std::function<void()>>> ops = {
      {"First", [&] { t.First(); }},       {"Next", [&] { t.Next(); }},
      {"Prior", [&] { t.Prior(); }},       {"Last", [&] { t.Last(); }},
      {"Append", [&] { t.Append(); }},     {"Edit", [&] { t.Edit(); }},
      {"Post", [&] { t.Post(); }},         {"Delete", [&] { t.Delete(); }},
      {"FindKey", [&] { t.FindKey("A1"); }},
      {"AppendValues", [&] { t.AppendValues({std::string("x")}); }},
      {"GotoBookmark", [&] { t.GotoBookmark(Bookmark{1}); }},
      {"GotoRecord", [&] { t.GotoRecord(1); }},
      {"SetAsString", [&] { f.SetAsString("x"); }}};
  for (const auto& [name, op] : ops) EXPECT_EQ(ErrorOf(op), closed) << name;
  EXPECT_EQ(f.AsString(), "");
  EXPECT_EQ(f.AsInteger(), 0);
  EXPECT_TRUE(t.Eof());
  EXPECT_NO_THROW(t.Cancel());
  EXPECT_NO_THROW(t.Close());
}

TEST_F(DatasetTest, PostAndSettingFieldsNeedEditOrInsert) {
  Fill({"A1"});
  const std::string notEditing = texts::kNotEditing;
  EXPECT_EQ(ErrorOf([&] { t.Post(); }), notEditing);
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("ABREV").SetAsString("x"); }), notEditing);
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("NUM").SetAsInteger(1); }), notEditing);
  EXPECT_EQ(ErrorOf([&] { t.FieldByName("CURSO"); }), "No se encuentra el campo 'CURSO' en la tabla 'GRUPOST.DBF'");
  EXPECT_EQ(t.FindField("CURSO"), nullptr);
  EXPECT_EQ(&t.FieldByName("abrev"), &t.FieldByName("ABREV"));  // letter case ignored
}

TEST_F(DatasetTest, AppendValuesFillsTheFirstFieldsAndPostsAtOnce) {
  SKIP_WITHOUT_READERS();
  t.Open();
  t.AppendValues({std::string("P1"), std::string("BACHILLERATO")});
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_EQ(t.FieldByName("NIVEL").AsString(), "BACHI");
  EXPECT_EQ(t.FieldByName("NUM").AsString(), "");
  EXPECT_NE(ErrorOf([&] {
              t.AppendValues({std::string("a"), std::string("b"), 1, std::string("extra")});
            }).find("Demasiados valores"),
            std::string::npos);
  EXPECT_EQ(storetest::DumpTable(dir / "GRUPOST.DBF"),
            (Strings{"ABREV:C:4:0|NIVEL:C:5:0|NUM:N:11:0", "P1|BACHI|"}));
}

TEST_F(DatasetTest, GridAccessShowsTheRecordBeingInserted) {
  Fill({"B2", "A1"});
  t.SetIndexName("ABREV");
  EXPECT_EQ(t.VisibleRecords(), (std::vector<uint32_t>{2, 1}));
  EXPECT_EQ(t.ValueAt(1, t.FieldIndex("ABREV")), "B2");
  t.Append();
  EXPECT_EQ(t.RecNo(), 0u);
  t.FieldByName("ABREV").SetAsString("C3");
  EXPECT_EQ(t.ValueAt(0, 0), "C3");
  t.GotoRecord(2);  // settles the new record
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  EXPECT_EQ(t.VisibleRecords(), (std::vector<uint32_t>{2, 1, 3}));
  t.Edit();
  t.FieldByName("NIVEL").SetAsString("FP");
  EXPECT_EQ(t.ValueAt(2, 1), "FP");  // the grid sees the edit in progress
  t.Cancel();
  EXPECT_EQ(t.ValueAt(2, 1), "ESO");
  t.SetFiltered(true);
  t.SetFilter("ABREV = 'B2'");
  EXPECT_NE(ErrorOf([&] { t.GotoRecord(2); }).find("no está visible"), std::string::npos);
}

// ValueInto is what writers use to read every field of every record: it
// must give exactly ValueAt's text in every state, for every kind of field,
// whatever the string held before.
TEST_F(DatasetTest, ValueIntoReadsWhatValueAtReads) {
  Fill({"B2", "A1 ", ""});
  auto same = [&](const char* when) {
    for (uint32_t recno : {0u, 1u, 2u, 3u, 99u}) {
      for (int field : {-1, 0, 1, 2, 7}) {
        std::string out = "texto de antes que no debe quedar";
        t.ValueInto(recno, field, out);
        EXPECT_EQ(out, t.ValueAt(recno, field)) << when << ", registro " << recno << ", campo " << field;
      }
    }
  };
  same("sin cambios");
  EXPECT_EQ(t.ValueAt(2, 0), "A1");  // the padding goes, as ever
  t.GotoRecord(2);
  t.Edit();
  t.FieldByName("NIVEL").SetAsString("FP");
  t.FieldByName("NUM").SetAsInteger(-40);
  same("editando");
  std::string out;
  t.ValueInto(2, 2, out);
  EXPECT_EQ(out, "-40");
  t.Cancel();
  t.Append();
  t.FieldByName("ABREV").SetAsString("C3");
  same("insertando");
  t.ValueInto(0, 0, out);
  EXPECT_EQ(out, "C3");
  t.Cancel();
  t.Close();
  same("cerrada");
}

// A RecordReader hands out, for every record and state, the texts that
// ValueAt gives; a padded, a NUL-padded, a numeric and an empty field, and
// one record loaded after another (a view must not keep the record before).
TEST_F(DatasetTest, RecordReaderReadsWhatValueAtReads) {
  Fill({"B2", "A1 ", ""});
  t.GotoRecord(1);
  t.Edit();
  t.FieldByName("NIVEL").SetAsString(std::string("FP\0\0", 4));
  t.Post();
  auto same = [&](const char* when) {
    RecordReader rd(t);
    const int abrev = rd.Add("ABREV"), nivel = rd.Add("nivel"), num = rd.Add("NUM");
    for (uint32_t recno : {0u, 1u, 2u, 3u, 99u, 2u}) {
      rd.Load(recno);
      for (int f : {abrev, nivel, num}) {
        EXPECT_EQ(std::string(rd.Text(f)), t.ValueAt(recno, f))
            << when << ", registro " << recno << ", campo " << f;
      }
    }
  };
  same("sin cambios");
  EXPECT_EQ(t.ValueAt(1, 1), "FP");
  t.GotoRecord(2);
  t.Edit();
  t.FieldByName("ABREV").SetAsString("Z9");
  t.FieldByName("NUM").SetAsInteger(-40);
  same("editando");
  {
    RecordReader rd(t);
    const int num = rd.Add("NUM");
    rd.Load(2);
    EXPECT_EQ(rd.Text(num), "-40");  // the pending value, not the stored one
  }
  t.Cancel();
  t.Append();
  t.FieldByName("ABREV").SetAsString("C3");
  same("insertando");
  t.Cancel();

  RecordReader rd(t);
  EXPECT_EQ(ErrorOf([&] { rd.Add("NOHAY"); }),
            "No se encuentra el campo 'NOHAY' en la tabla 'GRUPOST.DBF'");
  t.Close();
  RecordReader closed(t);
  EXPECT_EQ(ErrorOf([&] { closed.Add("ABREV"); }), texts::kClosedDataset);
}

// A table written in another code page reads in 1252 through a reader as
// through AsString.
TEST_F(DatasetTest, RecordReaderConvertsATableOfAnotherCodePage) {
  Fill({"\xD1" "A"});  // ÑA
  t.Close();
  std::string b = testsupport::ReadFile(dir / "GRUPOST.DBF");
  b[29] = 0x02;  // code page 850, where Ñ is 0xA5
  b.replace(b.find("\xD1" "A"), 2, "\xA5" "A");
  testsupport::WriteFile(dir / "GRUPOST.DBF", b);
  std::string m = testsupport::ReadFile(dir / "GRUPOST.MDX");
  m.replace(m.find("\xD1" "A  "), 4, "\xA5" "A  ");
  testsupport::WriteFile(dir / "GRUPOST.MDX", m);
  t.Open();
  RecordReader rd(t);
  const int abrev = rd.Add("ABREV");
  rd.Load(1);
  EXPECT_EQ(rd.Text(abrev), "\xD1" "A");
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "\xD1" "A");
}

TEST_F(DatasetTest, ListenersHearWhatHappens) {
  std::vector<TableEvent> heard;
  int id = t.AddListener([&](TableEvent e) { heard.push_back(e); });
  t.Open();
  EXPECT_EQ(heard, (std::vector<TableEvent>{TableEvent::Opened, TableEvent::StateChanged}));
  heard.clear();
  t.AppendValues({std::string("A1")});
  t.AppendValues({std::string("A2")});
  ASSERT_FALSE(heard.empty());
  EXPECT_NE(std::find(heard.begin(), heard.end(), TableEvent::DataChanged), heard.end());
  heard.clear();
  t.SetIndexName("");
  t.First();
  EXPECT_EQ(heard.back(), TableEvent::Scrolled);
  heard.clear();
  t.Edit();
  EXPECT_EQ(heard, std::vector<TableEvent>{TableEvent::StateChanged});
  t.RemoveListener(id);
  t.Cancel();
  t.Close();
  EXPECT_EQ(heard, std::vector<TableEvent>{TableEvent::StateChanged});
}

TEST_F(DatasetTest, ObjectsOnOneTableShareItsChanges) {
  Fill({"A1"});
  Table other;
  other.SetDatabaseName(dir.path());
  other.SetTableName("grupost.dbf");
  other.SetExclusive(true);  // exclusive only against other programs
  other.SetIndexName("ABREV");
  other.Open();
  int heard = 0;
  other.AddListener([&](TableEvent e) { heard += e == TableEvent::DataChanged; });
  t.AppendValues({std::string("A0")});
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(Column(other, "ABREV"), (Strings{"A0", "A1"}));
  other.First();
  other.Edit();
  other.FieldByName("NIVEL").SetAsString("FP");
  other.Post();
  t.Last();
  EXPECT_EQ(t.FieldByName("NIVEL").AsString(), "FP");
  // The other object deletes the record this one stands on.
  t.First();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A1");
  other.FindKey("A1");
  other.Delete();
  EXPECT_EQ(t.FieldByName("ABREV").AsString(), "A0");
  EXPECT_EQ(t.VisibleRecords().size(), 1u);
}

TEST_F(DatasetTest, ObjectsRefuseNewPropertiesWhileOpen) {
  SKIP_WITHOUT_READERS();
  t.Open();
  EXPECT_NE(ErrorOf([&] { t.SetTableName("OTRA"); }), "(no error)");
  EXPECT_NE(ErrorOf([&] { t.CreateTable(); }), "(no error)");
  Table again;
  storetest::Define(again, dir.path(), "GRUPOST", {{"X", FieldType::String, 1}});
  EXPECT_NE(ErrorOf([&] { again.CreateTable(); }).find("abierta"), std::string::npos);
  t.Close();
  EXPECT_NO_THROW(again.CreateTable());
  again.Close();  // puts the new table in place
  // The old table and its index are replaced by the new, empty one.
  EXPECT_EQ(storetest::DumpTable(dir / "GRUPOST.DBF"), Strings{"X:C:1:0"});
  EXPECT_FALSE(fs::exists(dir / "GRUPOST.MDX"));
  t.SetIndexName("");
  t.Open();
  EXPECT_TRUE(t.IsEmpty());
  EXPECT_EQ(t.Fields().size(), 1u);
}

// ---------------------------------------------------------------- detail links

namespace {

class DetailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Table p;
    storetest::Define(p, dir.path(), "PROFT",
                      {{"ABREV", FieldType::String, 4}, {"NOMBRE", FieldType::String, 20}},
                      {"ABREV"});
    p.CreateTable();
    Table c2;
    storetest::Define(c2, dir.path(), "CUADROH2",
                      {{"TIPREG", FieldType::String, 1},
                       {"ABREVPROF", FieldType::String, 4},
                       {"PROF_DIA_SES", FieldType::String, 7},
                       {"DIA_SES", FieldType::String, 3}},
                      {"ABREVPROF", "PROF_DIA_SES", "DIA_SES"});
    c2.CreateTable();
    Table c3;
    storetest::Define(c3, dir.path(), "CUADROH3",
                      {{"TIPREG", FieldType::String, 1},
                       {"ABREVGRUP", FieldType::String, 4},
                       {"ABREVPROF", FieldType::String, 4},
                       {"PROF_DIA_SES", FieldType::String, 7}},
                      {"ABREVPROF", "PROF_DIA_SES"});
    c3.CreateTable();

    prof.SetDatabaseName(dir.path());
    prof.SetTableName("PROFT");
    prof.SetIndexName("ABREV");
    prof.SetExclusive(true);
    prof.Open();
    for (const char* a : {"CD", "AB", "EF"}) prof.AppendValues({std::string(a), std::string("n")});

    h2.SetDatabaseName(dir.path());
    h2.SetTableName("CUADROH2.DBF");
    h2.Open();
    for (const char* k : {"AB  307", "CD  101", "AB  112", "AB  201"}) {
      std::string key = k;
      h2.AppendValues({std::string("2"), key.substr(0, 4), key, key.substr(4)});
    }
    h2.Close();
    h3.SetDatabaseName(dir.path());
    h3.SetTableName("CUADROH3.DBF");
    h3.Open();
    h3.AppendValues({std::string("3"), std::string("1A"), std::string("AB"), std::string("AB  112")});
    h3.AppendValues({std::string("3"), std::string("2B"), std::string("AB"), std::string("AB  112")});
    h3.AppendValues({std::string("3"), std::string("1A"), std::string("CD"), std::string("CD  101")});
    h3.Close();
  }

  testsupport::TempDir dir;
  Table prof, h2, h3;
};

}  // namespace

TEST_F(DetailTest, DetailShowsTheMastersRecordsAndFollowsIt) {
  h2.SetIndexName("ABREVPROF");
  h2.SetMasterSource(&prof);
  h2.SetMasterFields("ABREV");
  h2.Open();
  prof.First();  // AB
  EXPECT_EQ(Column(h2, "PROF_DIA_SES"), (Strings{"AB  307", "AB  112", "AB  201"}));
  h2.First();
  h2.Next();
  prof.Next();  // CD: the detail goes to the first of its records
  EXPECT_EQ(h2.FieldByName("PROF_DIA_SES").AsString(), "CD  101");
  EXPECT_TRUE(h2.Bof());
  prof.Next();  // EF: none
  EXPECT_TRUE(h2.Eof());
  EXPECT_TRUE(h2.IsEmpty());
  // A record appended to the detail takes the master's value.
  h2.Append();
  EXPECT_EQ(h2.FieldByName("ABREVPROF").AsString(), "EF");
  h2.FieldByName("PROF_DIA_SES").SetAsString("EF  101");
  h2.Post();
  EXPECT_EQ(Column(h2, "PROF_DIA_SES"), Strings{"EF  101"});
  h2.SetMasterSource(nullptr);
  EXPECT_EQ(Column(h2, "PROF_DIA_SES").size(), 5u);
}

TEST_F(DetailTest, LongFieldAndTagNamesFindTheirCutForms) {
  h2.SetIndexName("PROF_DIA_SES");  // stored as PROF_DIA_S
  h2.Open();
  EXPECT_EQ(Column(h2, "PROF_DIA_SES"), (Strings{"AB  112", "AB  201", "AB  307", "CD  101"}));
  EXPECT_TRUE(h2.FindKey("AB  201"));
  EXPECT_EQ(h2.FieldByName("prof_dia_ses").AsString(), "AB  201");
  EXPECT_EQ(h2.FieldByName("PROF_DIA_SES").FieldName(), "PROF_DIA_S");
  EXPECT_EQ(h2.FindField("PROF_DIA_XX"), nullptr);
  // The tag of a detail keyed on the whole key: the master value must equal
  // the whole key.
  h2.SetMasterSource(&prof);
  h2.SetMasterFields("ABREV");
  prof.First();
  EXPECT_TRUE(h2.IsEmpty());
}

TEST_F(DetailTest, DetailOfADetailWithFilteringOnAndNoFilter) {
  h2.SetIndexName("ABREVPROF");
  h2.SetMasterSource(&prof);
  h2.SetMasterFields("ABREV");
  h2.Open();
  h3.SetIndexName("PROF_DIA_SES");
  h3.SetMasterSource(&h2);
  h3.SetMasterFields("PROF_DIA_SES");
  h3.SetFiltered(true);
  h3.Open();
  Table aux;  // a second object on CUADROH3, following the teacher
  aux.SetDatabaseName(dir.path());
  aux.SetTableName("CUADROH3.DBF");
  aux.SetIndexName("ABREVPROF");
  aux.SetMasterSource(&prof);
  aux.SetMasterFields("ABREV");
  aux.SetFiltered(true);
  aux.Open();

  prof.First();  // AB; h2 on AB 307, which has no groups
  EXPECT_EQ(h2.FieldByName("PROF_DIA_SES").AsString(), "AB  307");
  EXPECT_TRUE(h3.IsEmpty());
  EXPECT_EQ(Column(aux, "ABREVGRUP"), (Strings{"1A", "2B"}));
  h2.Next();  // AB 112
  EXPECT_EQ(Column(h3, "ABREVGRUP"), (Strings{"1A", "2B"}));
  prof.Next();  // CD
  EXPECT_EQ(Column(h3, "ABREVGRUP"), Strings{"1A"});
  EXPECT_EQ(Column(aux, "ABREVGRUP"), Strings{"1A"});

  // A change through one object of CUADROH3 shows in the other at once.
  h3.First();
  h3.Edit();
  h3.FieldByName("ABREVGRUP").SetAsString("3C");
  h3.Post();
  aux.First();
  EXPECT_EQ(aux.FieldByName("ABREVGRUP").AsString(), "3C");
  // A pending detail change is posted when the master moves.
  aux.Edit();
  aux.FieldByName("ABREVGRUP").SetAsString("4D");
  prof.First();
  EXPECT_EQ(aux.State(), DataSetState::Browse);
  prof.Next();
  EXPECT_EQ(Column(h3, "ABREVGRUP"), Strings{"4D"});
}

TEST_F(DetailTest, DetailWithoutAMasterRecordShowsNothing) {
  prof.Close();
  h2.SetIndexName("ABREVPROF");
  h2.SetMasterSource(&prof);
  h2.SetMasterFields("ABREV");
  h2.Open();
  EXPECT_TRUE(h2.IsEmpty());
  prof.Open();  // the master opens on AB
  EXPECT_EQ(Column(h2, "ABREVPROF").size(), 3u);
  EXPECT_THROW(h2.SetMasterSource(&h2), StoreError);
}
