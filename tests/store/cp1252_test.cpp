// Code page 1252: conversion against Python's own codec table, and letter
// case as the code page defines it.
#include <gtest/gtest.h>

#include "store/cp1252.h"
#include "tests/store/store_test_util.h"
#include "tests/support/test_support.h"

using namespace store;

TEST(Cp1252, EveryByteConvertsLikePythonsCodecAndBack) {
  SKIP_WITHOUT_READERS();
  // Python's cp1252 codec is an independent table; the five unassigned
  // bytes are read as the control character of the same number, and that
  // character is written back as '?': no table gets an undecodable byte.
  auto r = testsupport::RunCommand(
      "/usr/bin/python3 -c \"import sys\n"
      "out=[]\n"
      "for b in range(256):\n"
      "    try: out.append(bytes([b]).decode('cp1252'))\n"
      "    except UnicodeDecodeError: out.append(chr(b))\n"
      "sys.stdout.buffer.write(''.join(out).encode('utf-8'))\"");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Cp1252ToUtf8(all), r.out);
  std::string back = all;
  for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) back[b] = '?';
  EXPECT_EQ(Utf8ToCp1252(r.out), back);
}

TEST(Cp1252, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  struct Case {
    std::string utf8;
    std::string expected;
  } cases[] = {
      {"\xE2\x82\xAC", "\x80"},              // euro sign
      {"Pe\xC3\xB1" "a", "Pe\xF1" "a"},      // ñ
      {"\xCE\xA9", "?"},                     // Greek omega: not in the code page
      {"\xF0\x9F\x98\x80x", "?x"},           // emoji
      {"a\xC3", "a?"},                       // cut sequence
      {"\x80z", "?z"},                       // stray continuation byte
      {"\xC0\x80", "?"},                     // overlong NUL
      // The control characters at the five bytes the code page leaves
      // unassigned.
      {"a\xC2\x81" "b", "a?b"},
      {"\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", "????"},
      {"\xC2\x80\xC2\x9F", "??"},               // other C1 controls
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.expected) << c.utf8;
}

TEST(Cp1252, UpperCaseAndComparisonFollowTheCodePage) {
  struct Pair {
    unsigned char lower, upper;
  } pairs[] = {{'a', 'A'},   {'z', 'Z'},   {0xE1, 0xC1}, {0xF1, 0xD1}, {0xE7, 0xC7},
               {0xFC, 0xDC}, {0xFF, 0x9F}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}};
  for (const Pair& p : pairs) {
    EXPECT_EQ(Cp1252Upper(p.lower), p.upper) << int(p.lower);
    EXPECT_EQ(Cp1252Upper(p.upper), p.upper) << int(p.upper);
  }
  // Not letters, or letters without an upper case in the code page.
  const unsigned char unchanged[] = {'1', ' ', 0xF7, 0xDF, 0xB5, 0xD7};
  for (unsigned char c : unchanged) {
    EXPECT_EQ(Cp1252Upper(c), c) << int(c);
  }
  EXPECT_EQ(Cp1252Upper(std::string("espa\xF1ol \xE1rbol")), "ESPA\xD1OL \xC1RBOL");
  EXPECT_TRUE(Cp1252EqualsIgnoreCase("Mu\xF1oz", "MU\xD1OZ"));
  EXPECT_TRUE(Cp1252EqualsIgnoreCase("\x9C\x9A", "\x8C\x8A"));
  EXPECT_FALSE(Cp1252EqualsIgnoreCase("Munoz", "Mu\xF1oz"));
  EXPECT_FALSE(Cp1252EqualsIgnoreCase("ab", "abc"));
}
