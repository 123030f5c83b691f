// The version texts and firmware file names that fill the stamp record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "maintenance/version_text.h"

namespace tmode {
namespace {

// The text in a heap block of exactly its size, so that a read past its
// terminator shows under the address sanitizer.
std::vector<char> exact(const std::string& text) { return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1); }

TEST(HexField, ReadsLikePercentXAndKeepsTheLow16Bits) {
  struct Case {
    const char* text;
    int converted;
    uint16_t value;  // 0xBEEF: left alone
  };
  const Case cases[] = {
      {"12345", 1, 0x2345},   {"0x1A", 1, 0x1A},        {" 7z", 1, 7},
      {"-1", 1, 0xFFFF},      {"123456789ABCDEF0123", 1, 0xFFFF},  // beyond 64 bits: all ones
      {"123456789", 1, 0x6789},  // beyond 32 bits: still the low 16, on 32-bit targets too
      {"g1", 0, 0xBEEF},      {"", 0, 0xBEEF},
  };
  for (const Case& c : cases) {
    uint16_t value = 0xBEEF;
    EXPECT_EQ(parse_hex16(exact(c.text).data(), &value), c.converted) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

// The 8-byte suffix field as it is left, over a field filled with 'Z':
// a suffix is copied with its terminating zero (when it fits) and the rest
// left alone; without one only the first 4 bytes are cleared.
std::string suffix_field(const std::string& suffix) {
  std::string field = suffix.substr(0, 8);
  if (field.size() < 8) field += '\0';
  return field + std::string(8 - field.size(), 'Z');
}
const std::string kClearedSuffix = std::string(4, '\0') + "ZZZZ";

TEST(VersionText, NumberAndSuffix) {
  struct Case {
    const char* text;
    int converted;
    uint16_t number;  // 0xBEEF: left alone
    std::string field;
  };
  const Case cases[] = {
      {"1.02_b-test", 1, 0x102, suffix_field("test")},  // second character '.': characters 1, 3, 4, 5
      {"0102-test3", 1, 0x0102, suffix_field("test3")},
      {"0102-rc_1", 1, 0x0102, suffix_field("1")},  // the later of the two separates
      {"0102_r-c_1", 1, 0x0102, suffix_field("c_1")},
      {"0102-", 1, 0x0102, suffix_field("")},        // a separator last: an empty suffix
      {"_0102", 0, 0xBEEF, kClearedSuffix},         // the separator first: no suffix
      {"-abc", 1, 0xF544, kClearedSuffix},          // "%x" reads a sign; the low 16 bits stay
      {"FFFFF", 1, 0xFFFF, kClearedSuffix},
      {"12", 1, 0x12, kClearedSuffix},  // nothing past the end is taken
      {"1.", 1, 0x1, kClearedSuffix},
      {"", 0, 0xBEEF, kClearedSuffix},
      {"xyz", 0, 0xBEEF, kClearedSuffix},
      {"0102-abcdefg", 1, 0x0102, suffix_field("abcdefg")},     // 7 characters and the zero
      {"0102-abcdefgh", 1, 0x0102, suffix_field("abcdefgh")},   // 8: the field is full
      {"0102-abcdefghijk", 1, 0x0102, suffix_field("abcdefgh")},  // cut to the 8-byte field
  };
  for (const Case& c : cases) {
    const std::vector<char> text = exact(c.text);
    uint16_t number = 0xBEEF;
    char suffix[kVersionSuffixSize + 1];
    std::memset(suffix, 'Z', sizeof suffix);
    EXPECT_EQ(parse_version_text(text.data(), &number, suffix), c.converted) << c.text;
    EXPECT_EQ(number, c.number) << c.text;
    EXPECT_EQ(std::string(suffix, 8), c.field) << c.text;
    EXPECT_EQ(suffix[8], 'Z') << c.text << ": written past the field";
  }
}

TEST(FirmwareFileName, ChipAndVersionText) {
  struct Case {
    const char* name;
    std::string chip;
    std::string version;
  };
  const Case cases[] = {
      {"plvx_6120v0102_test3.bin", "6120", "0102-test3"},
      {"fw_6300_6300v0a01.bin", "6300", "0a01"},          // "_63" before "6300_"
      {"PLVX6300_71a2.V1.bin", "71a2", ""},               // after "6300_"
      {"x_61", "61", ""},                                  // cut at the end of the text
      {"a_6", "", ""},
      {"TEST_testing_Test.x", "", "-TEST-testing-Test"},   // any case, 4 or more characters
      {"tes_1234v12345678", "", "1234"},                   // at most 4 characters
      {"abcdV.bin", "", ""},                               // a 'v' with nothing after it
      {"test1_6120v0102", "6120", "0102"},                 // a later version token starts again
  };
  for (const Case& c : cases) {
    const std::vector<char> text = exact(c.name);
    char chip[kChipFieldSize];
    char version[kVersionTextSize];
    EXPECT_EQ(parse_firmware_file_name(text.data(), chip, version), 0) << c.name;
    EXPECT_EQ(std::string(chip), c.chip) << c.name;
    EXPECT_EQ(std::string(version), c.version) << c.name;
  }
}

TEST(FirmwareFileName, LongestNameOfTestTokensFitsAndLongerIsRefused) {
  // The most the version text can take: a version token that is a "test"
  // token too, then nothing but "test" tokens up to 127 characters.
  std::string name = "testv1234";
  while (name.size() + 5 <= kMaxIdentificationText) name += "_test";
  name.resize(kMaxIdentificationText, 'x');
  std::string expected = "1234";
  for (size_t start = 0; start <= name.size();) {
    const size_t end = std::min(name.find('_', start), name.size());
    expected += "-" + name.substr(start, end - start);
    start = end + 1;
  }
  char chip[kChipFieldSize];
  char version[kVersionTextSize];
  ASSERT_EQ(parse_firmware_file_name(exact(name).data(), chip, version), 0);
  EXPECT_EQ(std::string(version), expected);
  EXPECT_EQ(expected.size(), 132u);

  name += "x";
  std::memset(version, 'q', sizeof version);
  EXPECT_EQ(parse_firmware_file_name(exact(name).data(), chip, version), -1);
  EXPECT_EQ(version[0], '\0');
}

}  // namespace
}  // namespace tmode
