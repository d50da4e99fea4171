// The pure rules of the import: code lists, subject codes, numbered teacher
// and group abbreviations, teacher names, group numbers, language choice.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "dae_import/code_list.h"
#include "dae_import/group_numbering.h"
#include "dae_import/language_choice.h"
#include "dae_import/numbered_abbreviation.h"
#include "dae_import/subject_code_rule.h"
#include "dae_import/teacher_name.h"
#include "store/cp1252.h"

namespace {

using namespace dae_import;

TEST(CodeList, MembershipIgnoresLetterCaseAsCodePage1252Does) {
  CodeList list;
  list.Add("MATE");
  list.Add("\xC1REA");       // ÁREA
  list.Add("\xD1O\xD1O");    // ÑOÑO
  list.Add("\x8A" "AB");     // ŠAB
  EXPECT_TRUE(list.Contains("mate"));
  EXPECT_TRUE(list.Contains("MaTe"));
  EXPECT_TRUE(list.Contains("\xE1rea"));   // área
  EXPECT_TRUE(list.Contains("\xF1o\xF1o"));  // ñoño
  EXPECT_TRUE(list.Contains("\x9A" "ab"));  // šab
  EXPECT_FALSE(list.Contains("AREA"));     // an accent is not a case
  EXPECT_FALSE(list.Contains("MAT"));
  EXPECT_FALSE(list.Contains("MATE "));
  EXPECT_FALSE(list.Contains(""));
  list.Add("");
  EXPECT_TRUE(list.Contains(""));
  list.Add("mate");
  EXPECT_EQ(list.Size(), 5u);
}

struct CandidateCase {
  const char* base;
  unsigned n;
  const char* candidate;
};

TEST(SubjectCandidate, FollowsTheTableOfCandidates) {
  const std::vector<CandidateCase> cases = {
      {"MAT", 1, "MAT1"},  {"MAT", 9, "MAT9"},   {"MAT", 10, "MA10"},
      {"MAT", 99, "MA99"}, {"MAT", 100, "MA00"}, {"MAT", 109, "MA09"},
      {"MAT", 110, "MA10"}, {"MAT", 1000, "MA00"},
      {"AB", 1, "AB1"},    {"AB", 9, "AB9"},     {"AB", 10, "AB10"},
      {"AB", 99, "AB99"},  {"AB", 100, "AB00"},  {"AB", 109, "AB09"},
      {"AB", 110, "AB10"},
      {"A", 1, "A1"},      {"A", 9, "A9"},       {"A", 10, "A10"},
      {"A", 99, "A99"},    {"A", 100, "A100"},   {"A", 109, "A109"},
      {"A", 110, "A110"},  {"A", 999, "A999"},   {"A", 1000, "A100"},
      {"", 1, "1"},        {"", 9, "9"},         {"", 10, "10"},
      {"", 99, "99"},      {"", 100, "100"},     {"", 109, "109"},
      {"", 110, "110"},    {"", 9999, "9999"},   {"", 10000, "1000"},
      {"", 12345, "1245"},
  };
  for (const CandidateCase& c : cases)
    EXPECT_EQ(SubjectCandidate(c.base, c.n), c.candidate)
        << "base '" << c.base << "' n=" << c.n;
}

TEST(SubjectCandidate, CountsAreTheDistinctCandidatesOfEachBaseLength) {
  for (const std::string base : {"", "A", "AB", "MAT"}) {
    const unsigned count = SubjectCandidateCount(base.size());
    std::set<std::string> first, all;
    for (unsigned n = 1; n <= count; ++n) first.insert(SubjectCandidate(base, n));
    for (unsigned n = 1; n <= 200000; ++n) {
      const std::string c = SubjectCandidate(base, n);
      EXPECT_LE(c.size(), 4u);
      all.insert(c);
    }
    EXPECT_EQ(first.size(), count) << "base '" << base << "'";
    EXPECT_EQ(all, first) << "base '" << base << "'";
  }
  EXPECT_EQ(SubjectCandidateCount(3), 109u);
  EXPECT_EQ(SubjectCandidateCount(2), 109u);
  EXPECT_EQ(SubjectCandidateCount(1), 999u);
  EXPECT_EQ(SubjectCandidateCount(0), 9999u);
}

std::vector<std::string> AllocateAll(SubjectCodes& codes,
                                     const std::vector<std::string>& abbrevs) {
  std::vector<std::string> out;
  for (const std::string& a : abbrevs) {
    auto c = codes.Allocate(a);
    out.push_back(c ? *c : "<none>");
  }
  return out;
}

TEST(SubjectCodes, CollisionsTakeTheLowestFreeCandidate) {
  struct Case {
    std::vector<std::string> in, out;
  };
  const std::vector<Case> cases = {
      {{"MATE", "MATE", "mate", "LENG"}, {"MATE", "MAT1", "mat2", "LENG"}},
      {{"MATE", "mate"}, {"MATE", "mat1"}},
      // A candidate taken by another subject's own abbreviation is skipped.
      {{"MAT1", "MATE", "MATE"}, {"MAT1", "MATE", "MAT2"}},
      {{"MATE", "MATE", "MAT2", "MATE"}, {"MATE", "MAT1", "MAT2", "MAT3"}},
      {{"", "", ""}, {"", "1", "2"}},
      {{"AB", "AB"}, {"AB", "AB1"}},
      {{"A", "A", "A"}, {"A", "A1", "A2"}},
      // Accented letters collide with their other case.
      {{"\xC1RAB", "\xE1rab"}, {"\xC1RAB", "\xE1r" "a1"}},
      {{"\xD1" "A", "\xF1" "a"}, {"\xD1" "A", "\xF1" "a1"}},
      // Two abbreviations of one base share its candidates.
      {{"MATE", "MATX", "MATE", "MATX"}, {"MATE", "MATX", "MAT1", "MAT2"}},
  };
  for (const Case& c : cases) {
    SubjectCodes codes;
    EXPECT_EQ(AllocateAll(codes, c.in), c.out);
  }
}

TEST(SubjectCodes, TenMoreCollisionsGoOnWithTwoDigitEndings) {
  SubjectCodes codes;
  std::vector<std::string> in = {"MATE", "MATE", "mate", "LENG"};
  for (int i = 0; i < 10; ++i) in.push_back("MATE");
  const std::vector<std::string> out = AllocateAll(codes, in);
  const std::vector<std::string> tail(out.begin() + 4, out.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"MAT3", "MAT4", "MAT5", "MAT6",
                                            "MAT7", "MAT8", "MAT9", "MA10",
                                            "MA11", "MA12"}));
}

TEST(SubjectCodes, TenthCollisionOfATwoCharacterBaseIsAB10) {
  SubjectCodes codes;
  const std::vector<std::string> out =
      AllocateAll(codes, std::vector<std::string>(11, "AB"));
  EXPECT_EQ(out[9], "AB9");
  EXPECT_EQ(out[10], "AB10");
}

TEST(SubjectCodes, ExhaustedCandidatesGiveNoCodeAndAddNothing) {
  struct Case {
    std::string abbreviation;
    unsigned candidates;
  };
  for (const Case& c : {Case{"MATE", 109}, Case{"AB", 109}, Case{"A", 999},
                        Case{"", 9999}}) {
    SubjectCodes codes;
    std::set<std::string> seen;
    ASSERT_TRUE(codes.Allocate(c.abbreviation));
    for (unsigned i = 0; i < c.candidates; ++i) {
      auto code = codes.Allocate(c.abbreviation);
      ASSERT_TRUE(code) << c.abbreviation << " #" << i;
      EXPECT_LE(code->size(), 4u);
      EXPECT_TRUE(seen.insert(store::Cp1252Upper(*code)).second) << *code;
    }
    const std::size_t before = codes.List().Size();
    EXPECT_FALSE(codes.Allocate(c.abbreviation)) << c.abbreviation;
    EXPECT_FALSE(codes.Allocate(c.abbreviation)) << c.abbreviation;
    EXPECT_EQ(codes.List().Size(), before);
    // Another base is not affected.
    EXPECT_EQ(codes.Allocate("ZZZZ").value_or("<none>"), "ZZZZ");
  }
}

// The literal rule: counts from 1 for every record through a plain list.
std::optional<std::string> ReferenceSubject(std::vector<std::string>& list,
                                            const std::string& a) {
  auto taken = [&](const std::string& x) {
    for (const std::string& e : list)
      if (store::Cp1252EqualsIgnoreCase(e, x)) return true;
    return false;
  };
  if (!taken(a)) {
    list.push_back(a);
    return a;
  }
  const std::string base = a.substr(0, 3);
  for (unsigned n = 1; n <= 20000; ++n) {
    const std::string c = SubjectCandidate(base, n);
    if (!taken(c)) {
      list.push_back(c);
      return c;
    }
  }
  return std::nullopt;
}

std::string ReferenceNumbered(std::vector<std::string>& list,
                              const std::string& a) {
  auto taken = [&](const std::string& x) {
    for (const std::string& e : list)
      if (store::Cp1252EqualsIgnoreCase(e, x)) return true;
    return false;
  };
  std::string result = a;
  if (taken(a)) {
    const std::string base = a.substr(0, 3);
    for (unsigned n = 1;; ++n)
      if (!taken(result = base + std::to_string(n))) break;
  }
  list.push_back(result);
  return result;
}

TEST(SubjectCodes, AgreesWithTheLiteralRuleOnRandomRuns) {
  // Few letters and short texts, so that bases, their candidates and own
  // abbreviations that look like candidates meet often.
  const std::vector<std::string> pieces = {"M", "m", "A", "1", "2", "T", ""};
  std::mt19937 rng(12345);
  for (int run = 0; run < 40; ++run) {
    SubjectCodes codes;
    std::vector<std::string> list;
    for (int i = 0; i < 300; ++i) {
      std::string a;
      const int len = static_cast<int>(rng() % 5);
      for (int k = 0; k < len; ++k) a += pieces[rng() % pieces.size()];
      a = a.substr(0, 4);
      EXPECT_EQ(codes.Allocate(a), ReferenceSubject(list, a))
          << "run " << run << " record " << i << " '" << a << "'";
    }
  }
}

TEST(NumberedAbbreviations, AgreesWithTheLiteralRuleOnRandomRuns) {
  const std::vector<std::string> pieces = {"A", "a", "B", "1", "0", ""};
  std::mt19937 rng(777);
  for (int run = 0; run < 40; ++run) {
    NumberedAbbreviations abbrevs;
    std::vector<std::string> list;
    for (int i = 0; i < 300; ++i) {
      std::string a;
      const int len = static_cast<int>(rng() % 5);
      for (int k = 0; k < len; ++k) a += pieces[rng() % pieces.size()];
      a = a.substr(0, 4);
      EXPECT_EQ(abbrevs.Allocate(a), ReferenceNumbered(list, a))
          << "run " << run << " record " << i << " '" << a << "'";
    }
  }
}

TEST(NumberedAbbreviations, NumbersTheBaseWithoutCuttingIt) {
  struct Case {
    std::vector<std::string> in, out;
  };
  const std::vector<Case> cases = {
      {{"ABC", "ABC", "ABC", "abc"}, {"ABC", "ABC1", "ABC2", "abc3"}},
      {{"", "", ""}, {"", "1", "2"}},
      {{"XY", "xy"}, {"XY", "xy1"}},
      // A group candidate of four characters: the base is its first three.
      {{"ABCD", "ABCD", "abcd"}, {"ABCD", "ABC1", "abc2"}},
      {{"ABC1", "ABC", "ABC"}, {"ABC1", "ABC", "ABC2"}},
      {{"\xD1RA", "\xF1ra"}, {"\xD1RA", "\xF1ra1"}},
  };
  for (const Case& c : cases) {
    NumberedAbbreviations a;
    std::vector<std::string> out;
    for (const std::string& s : c.in) out.push_back(a.Allocate(s));
    EXPECT_EQ(out, c.out);
  }
  NumberedAbbreviations a;
  std::vector<std::string> out;
  for (int i = 0; i < 13; ++i) out.push_back(a.Allocate("ABC"));
  EXPECT_EQ(out[9], "ABC9");
  EXPECT_EQ(out[10], "ABC10");  // kept whole in the list
  EXPECT_EQ(out[11], "ABC11");
  EXPECT_EQ(out[12], "ABC12");
  EXPECT_TRUE(a.List().Contains("abc10"));
}

TEST(TeacherName, InitialsAndFullName) {
  struct Case {
    std::string p1, p2, p3, initials, name;
  };
  const std::vector<Case> cases = {
      {"Agirre", "Bilbao", "Carmen", "ABC", "Agirre Bilbao Carmen"},
      {"Xab", "", "Yef", "XY", "Xab  Yef"},
      {"", "", "", "", "  "},
      {"", "", "Ana", "A", "  Ana"},
      {"\xD1" "eco", "ruiz", "Ana", "\xD1rA", "\xD1" "eco ruiz Ana"},
      {"de la Fuente", "O'Neill", "Mª José", "dOM", "de la Fuente O'Neill Mª José"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TeacherInitials(c.p1, c.p2, c.p3), c.initials);
    EXPECT_EQ(TeacherFullName(c.p1, c.p2, c.p3), c.name);
  }
}

TEST(GroupNumbering, CountsPerLevelAndCourse) {
  GroupNumbering g;
  EXPECT_EQ(g.Next("ESO", "1"), 1u);
  EXPECT_EQ(g.Next("ESO", "1"), 2u);
  EXPECT_EQ(g.Next("ESO", "2"), 1u);
  EXPECT_EQ(g.Next("BAC", "1"), 1u);
  EXPECT_EQ(g.Next("eso", "1"), 3u);  // letter case ignored
  EXPECT_EQ(g.Next("NIV", "1"), 1u);
  EXPECT_EQ(g.Next("NIV", "1"), 2u);
  // Level and course are kept apart: AB with 11 is not AB1 with 1.
  EXPECT_EQ(g.Next("AB", "11"), 1u);
  EXPECT_EQ(g.Next("AB1", "1"), 1u);
  EXPECT_EQ(g.Next("A", "B11"), 1u);
  EXPECT_EQ(g.Next("AB", "11"), 2u);
}

TEST(GroupNumbering, StoredNumberIsTheLastDigit) {
  const std::vector<std::pair<unsigned long, std::string>> cases = {
      {1, "1"}, {9, "9"}, {10, "0"}, {11, "1"}, {12, "2"}, {20, "0"}, {123, "3"}};
  for (const auto& [n, digit] : cases) EXPECT_EQ(GroupNumberDigit(n), digit) << n;
  GroupNumbering g;
  std::string digits;
  for (int i = 0; i < 12; ++i) digits += GroupNumberDigit(g.Next("ABC", "1"));
  EXPECT_EQ(digits, "123456789012");
}

TEST(LanguageChoice, OnlyExactlyEuskeraIsEuskera) {
  EXPECT_TRUE(IsEuskera("EUSKERA"));
  for (const std::string other :
       {"CASTELLANO", "euskera", "Euskera", " EUSKERA", "EUSKERA ", "", "EUSKARA"})
    EXPECT_FALSE(IsEuskera(other)) << other;
}

}  // namespace
