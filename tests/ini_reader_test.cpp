// The INI reader: lookups, bounds and conversions.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/scratch_dir.h"
#include "tuning/ini_reader.h"

namespace tmode {
namespace {

using test::ScratchDir;

class IniReader : public ::testing::Test {
 protected:
  void open(const std::string& text) {
    test::write_file(dir.file("t.ini"), text);
    ASSERT_NE(ini_open(dir.file("t.ini").c_str(), false), nullptr);
  }
  void TearDown() override { ini_close(); }

  std::string get(const char* section, const char* key, const char* fallback = "(default)") {
    char out[300];
    ini_get_string(section, key, out, sizeof out, fallback);
    return out;
  }

  ScratchDir dir;
};

TEST_F(IniReader, Lookups) {
  open(
      "x=outside\n"
      "[ main ]\r\n"
      "  Alpha  =  one two  \r\n"
      ";Beta=commented\n"
      "beta=2\n"
      "beta=3\n"
      "Empty=\n"
      "Blank=   \n"
      "Brackets=[a] b\n"
      "no equals sign here\n"
      "\tTabbed=5\n"
      "[second]\n"
      "Gamma=later\n"
      "[MAIN]\n"
      "Gamma=in a repeated section\n"
      "x [tag] y = text around the header\n"
      "[\tmain]\n"
      "Delta=behind a tab\n");
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"main", "alpha", "one two"},          // blanks trimmed, case ignored
      {"Main", "BETA", "2"},                 // the first matching key wins
      {"main", ";Beta", "commented"},        // no comment syntax
      {"main", "Empty", "(default)"},        // an empty value is absent
      {"main", "Blank", "(default)"},        // so is one of blanks only
      {"main", "Brackets", "[a] b"},         // values may hold brackets
      {"main", "Tabbed", "(default)"},       // tabs are not blanks
      {"main", "Gamma", "(default)"},        // the next header ends the search
      {"second", "gamma", "later"},
      {"main", "x", "(default)"},            // only the first [main] is searched
      {"\tmain", "Delta", "behind a tab"},  // a tab is part of the name
      {"missing", "alpha", "(default)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(get(c.section, c.key), c.expected) << "[" << c.section << "] " << c.key;
  }
}

TEST_F(IniReader, HeaderTextAroundTheBracketsSelectsTheSection) {
  open("junk [Tag] more\nKey=v\n");
  EXPECT_EQ(get("tag", "key"), "v");
}

TEST_F(IniReader, LongLinesKeep255Bytes) {
  std::string long_value(300, 'v');
  open("[s]\nLong=" + long_value + "\nNext=ok\n");
  EXPECT_EQ(get("s", "Long"), std::string(255 - 5, 'v'));
  EXPECT_EQ(get("s", "Next"), "ok");
}

TEST_F(IniReader, LastLineWithoutAnEndIsRead) {
  open("[s]\r\nKey=7");
  EXPECT_EQ(get("s", "Key"), "7");
}

TEST_F(IniReader, OutputsStayWithinTheirCapacity) {
  open("[s]\nKey=abcdefgh\n");
  char out[6];
  std::memset(out, '#', sizeof out);
  ini_get_string("s", "Key", out, 4, "x");
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], '#');
  std::memset(out, '#', sizeof out);
  ini_get_string("s", "None", out, 3, "defaults");
  EXPECT_STREQ(out, "de");
  EXPECT_EQ(out[3], '#');
}

TEST_F(IniReader, NumberConversions) {
  open(
      "[n]\n"
      "Plain=-42\nTrailing=12abc\nWord=abc\nHex=0x1F\nOctal=017\n"
      "Huge=99999999999999999999\nTiny=-99999999999999999999\nTab=\t8\n"
      "Wide=4294967297\nWideHex=0x123456789\n");
  struct Case {
    const char* key;
    int as_int;
    uint32_t as_uint;
  };
  const std::vector<Case> cases = {
      {"Plain", -42, static_cast<uint32_t>(-42)},
      {"Trailing", 12, 12},
      {"Word", 0, 0},
      {"Hex", 0, 31},
      {"Octal", 17, 15},
      {"Huge", INT_MAX, UINT32_MAX},
      {"Tiny", INT_MIN, UINT32_MAX},
      {"Tab", 8, 8},
      {"Wide", INT_MAX, 1},  // 2^32 + 1: the low 32 bits, on 32-bit targets too
      {"WideHex", 0, 0x23456789},
      {"Absent", -5, 77},  // the defaults below
  };
  for (const Case& c : cases) {
    int as_int = 0;
    uint32_t as_uint = 0;
    EXPECT_EQ(ini_get_int("n", c.key, &as_int, -5), c.as_int) << c.key;
    EXPECT_EQ(as_int, c.as_int) << c.key;
    EXPECT_EQ(ini_get_uint("n", c.key, &as_uint, 77), c.as_uint) << c.key;
    EXPECT_EQ(as_uint, c.as_uint) << c.key;
  }
}

TEST_F(IniReader, NothingOpen) {
  char out[8];
  EXPECT_STREQ(ini_get_string("s", "k", out, sizeof out, "d"), "d");
  EXPECT_EQ(ini_write_line("x"), -1);
  uint8_t buffer[4];
  EXPECT_EQ(read_text_file_crlf(buffer, sizeof buffer), -1);
}

TEST_F(IniReader, WriteLinesThenReadThemBack) {
  ASSERT_NE(ini_open(dir.file("w.ini").c_str(), true), nullptr);
  EXPECT_EQ(ini_write_line("[AFE Config]\n"), 0);
  EXPECT_EQ(ini_write_line(" CalIndex=4000\n"), 0);
  ini_close();
  EXPECT_EQ(test::read_file(dir.file("w.ini")), "[AFE Config]\n CalIndex=4000\n");
}

TEST_F(IniReader, ReadTextFileTurnsLoneLineFeedsIntoCrLf) {
  open("a\nb\r\nc\rd\n\n");
  std::vector<uint8_t> buffer(32, 0xEE);
  EXPECT_EQ(read_text_file_crlf(buffer.data(), buffer.size()), 13);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 13), "a\r\nb\r\nc\rd\r\n\r\n");
  EXPECT_EQ(buffer[13], 0xEE) << "no terminating zero";
}

TEST_F(IniReader, ReadTextFileStopsAtTheCapacity) {
  struct Case {
    size_t capacity;
    const char* expected;
  };
  for (const Case& c : {Case{0, ""}, Case{2, "ab"}, Case{3, "ab"}, Case{4, "ab\r\n"}, Case{5, "ab\r\nc"}}) {
    open("ab\ncd");
    std::vector<uint8_t> buffer(8, 0xEE);
    const long n = read_text_file_crlf(buffer.data(), c.capacity);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n), c.expected) << c.capacity;
    EXPECT_EQ(buffer[c.capacity], 0xEE) << c.capacity;
    ini_close();
  }
}

}  // namespace
}  // namespace tmode
