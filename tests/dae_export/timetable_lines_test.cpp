// The fixed-width lines of the DAE timetable file.
#include <gtest/gtest.h>

#include "dae_export/timetable_file_writer.h"

namespace {

using namespace dae_export;

Type2Record FullType2() {
  Type2Record r;
  r.tipDoc = "1";
  r.doc = "12345678Z";
  r.numSesion = "07";
  r.diaSem = "3";
  r.tipTar = "101";
  r.horaIni = "14:00";
  r.horaFin = "15:00";
  r.grupNiv = "ESO";
  r.codAsig = "MAT1";
  r.tipAsig = "";  // a single space stored reads back empty
  r.idioma = "02";
  r.aulaObs = "A12";
  r.tipActiv = "";
  return r;
}

TEST(TimetableLines, CentreLine) {
  struct Case {
    CentreRecord in;
    const char* line;
  } cases[] = {
      {{"012345", "2024", "1"}, "1CH01234520241"},
      {{"", "", ""}, "1CH           "},             // empty centre: 11 spaces
      {{"12", "24", "ABCDE"}, "1CH12    24  A"},     // only VERSION's first char
      {{"1234567", "20245", "9"}, "1CH12345620249"},  // longer values are cut
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CentreLine(c.in), c.line);
    EXPECT_EQ(CentreLine(c.in).size(), 14u);
  }
}

TEST(TimetableLines, Type2LineByPosition) {
  const std::string line = Type2Line(FullType2());
  ASSERT_EQ(line.size(), 76u);
  EXPECT_EQ(line,
            "2" "1" "12345678Z      " "07" "3" "101" "14:00" "15:00" "ESO" "MAT1"
            " " "02" "A12                           " "   ");
  // A document of nine characters fills 3-11 and leaves 12-17 blank.
  EXPECT_EQ(line.substr(2, 9), "12345678Z");
  EXPECT_EQ(line.substr(11, 6), "      ");
  EXPECT_EQ(line.substr(43, 30), "A12                           ");
}

TEST(TimetableLines, Type2EmptyValuesAndFills) {
  Type2Record r;
  r.numSesion = "01";
  r.diaSem = "1";
  const std::string line = Type2Line(r);
  EXPECT_EQ(line, "2" + std::string(16, ' ') + "01" "1" "   " "00:00" "00:00" +
                      std::string(3 + 4 + 1 + 2 + 30 + 3, ' '));
}

TEST(TimetableLines, SessionAndDayWrittenAsStored) {
  Type2Record r = FullType2();
  r.numSesion = "7";  // one character: everything after moves one place left
  EXPECT_EQ(Type2Line(r).size(), 75u);
  EXPECT_EQ(Type2Line(r).substr(17, 5), "73101");
  r.numSesion = "123";
  r.diaSem = "";
  EXPECT_EQ(Type2Line(r).substr(17, 6), "123101");
}

TEST(TimetableLines, LongValuesAreCut) {
  Type2Record r = FullType2();
  r.doc = "1234567890123456789";
  r.aulaObs = std::string(40, 'x');
  r.tipTar = "1011";
  r.idioma = "023";
  const std::string line = Type2Line(r);
  ASSERT_EQ(line.size(), 76u);
  EXPECT_EQ(line.substr(2, 15), "123456789012345");
  EXPECT_EQ(line.substr(20, 3), "101");
  EXPECT_EQ(line.substr(41, 2), "02");
  EXPECT_EQ(line.substr(43, 30), std::string(30, 'x'));
}

TEST(TimetableLines, TimeField) {
  const char* cases[][2] = {
      {"", "00:00"},       {"08:00", "08:00"}, {"24:00", "24:00"},
      {"8:30", "08:30"},   // one-digit hour gets its zero
      {"08", "0800:"},     // other short texts: followed by 00:00, cut
      {"08:3", "08:30"},   {"123456", "12345"}, {"ab", "ab00:"},
  };
  for (auto& c : cases) EXPECT_EQ(TimeField(c[0]), c[1]) << c[0];
}

TEST(TimetableLines, PupilsField) {
  const char* cases[][2] = {
      {"", "00"}, {"25", "25"}, {"5", "05"}, {" 5", " 5"}, {"x", "x0"}, {"123", "12"},
  };
  for (auto& c : cases) EXPECT_EQ(PupilsField(c[0]), c[1]) << c[0];
}

TEST(TimetableLines, Type3LineByPosition) {
  Type3Record r{"1A001", "1", "12345678Z", "07", "3", "25"};
  EXPECT_EQ(Type3Line(r), "3" "1A001" "1" "12345678Z      " "07" "3" "25");
  Type3Record empty{"", "", "", "12", "5", ""};
  const std::string line = Type3Line(empty);
  ASSERT_EQ(line.size(), 27u);
  EXPECT_EQ(line, "3" + std::string(21, ' ') + "12" "5" "00");
  Type3Record longCode{"ABCDEFG", "12", "", "01", "1", "9"};
  EXPECT_EQ(Type3Line(longCode), "3ABCDE1" + std::string(15, ' ') + "01" "1" "09");
}

}  // namespace
