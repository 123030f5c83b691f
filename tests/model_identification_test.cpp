// The model code from the controller's names: the two pattern lists, the
// fallback to the type name and the bounded handling of the cached names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "library/library_state.h"
#include "maintenance/model_identification.h"
#include "maintenance/model_patterns.h"
#include "protocol/controller_info.h"
#include "tests/support/sim_link.h"

namespace tmode {
namespace {

void set_field(char* field, const std::string& text) {
  std::memset(field, 0, kTextFieldSize);
  std::memcpy(field, text.data(), std::min<size_t>(text.size(), kTextFieldSize));
}

void set_names(const std::string& model, const std::string& type) {
  set_field(library.cached_model_name, model);
  set_field(library.cached_type_name, type);
}

TEST(ModelPatterns, RowsCarryTheFixedCodesAndPatternCounts) {
  std::vector<int> model_codes = {5, 4, 2, 14, 16, 33, 15, 17, 19, 3, 7, 6, 8, 27, 23, 29, 25};
  for (int code = 35; code <= 93; code += 2) model_codes.push_back(code);
  std::vector<int> type_codes = {4, 18, 10, 11, 12, 13, 22, 26, 24, 28, 32};
  for (int code = 34; code <= 92; code += 2) type_codes.push_back(code);

  std::vector<int> codes, counts;
  for (const PatternRow& row : model_name_rows()) {
    codes.push_back(row.code);
    counts.push_back(row.count);
  }
  EXPECT_EQ(codes, model_codes);
  std::vector<int> model_counts(47, 1);
  model_counts[0] = 4;
  model_counts[1] = 7;
  EXPECT_EQ(counts, model_counts);

  codes.clear();
  for (const PatternRow& row : type_name_rows()) {
    codes.push_back(row.code);
    const bool two = std::set<int>{4, 28, 36, 40, 58, 68, 74, 84}.count(row.code) > 0;
    EXPECT_EQ(row.count, two ? 2 : 1) << "code " << row.code;
  }
  EXPECT_EQ(codes, type_codes);
}

TEST(ModelPatterns, EveryPatternIsUpperCaseAndReachesItsOwnRow) {
  // A pattern that contains an earlier row's pattern would never be reached.
  for (auto rows : {model_name_rows(), type_name_rows()}) {
    const bool model_list = rows.data() == model_name_rows().data();
    for (const PatternRow& row : rows) {
      for (int p = 0; p < row.count; ++p) {
        const std::string pattern = row.patterns[p];
        for (char c : pattern) EXPECT_FALSE(c >= 'a' && c <= 'z') << pattern;
        set_names(model_list ? pattern : "NONE", model_list ? "NONE" : pattern);
        EXPECT_EQ(identify_model(), row.code) << pattern;
      }
    }
  }
}

TEST(ModelIdentification, LowerCaseNamesMatchAndStayUpperCased) {
  set_names("plvx-6300l rev.b", "plovex pct");
  EXPECT_EQ(identify_model(), 65) << "the longer model number's row comes first";
  EXPECT_EQ(library.model_code, 65);
  EXPECT_STREQ(library.cached_model_name, "PLVX-6300L REV.B");
  EXPECT_STREQ(library.cached_type_name, "PLOVEX PCT");
}

TEST(ModelIdentification, FallsBackToTheTypeNameThenToMinusOne) {
  set_names("Tev Panel 12", "Plovex pct-6203 a");
  EXPECT_EQ(identify_model(), 36);
  EXPECT_TRUE(is_even_code_family(library.model_code));
  set_names("Tev Panel 12", "Plovex PCT");
  EXPECT_EQ(identify_model(), -1);
  EXPECT_EQ(library.model_code, -1);
  EXPECT_FALSE(is_even_code_family(library.model_code));
}

TEST(ModelIdentification, UnterminatedNamesAreSearchedWithinTheirFields) {
  // 32 bytes without a terminator, the firmware version right behind: a
  // search past the field would find "PLVX-6300" across the two.
  set_names(std::string(28, 'Z') + "plvx", "Plovex PCT");
  set_field(library.cached_firmware_version, "-6300 beta");
  EXPECT_EQ(identify_model(), -1);
  EXPECT_EQ(std::string(library.cached_model_name, 32), std::string(28, 'Z') + "PLVX");
  EXPECT_STREQ(library.cached_firmware_version, "-6300 beta") << "the next field is left alone";
}

TEST(ModelIdentification, EvenCodeFamily) {
  struct Case {
    int code;
    bool even_family;
  };
  for (const Case c : {Case{34, true}, Case{92, true}, Case{60, true}, Case{0x100 + 36, true},
                       Case{32, false}, Case{94, false}, Case{35, false}, Case{-1, false}, Case{0, false}}) {
    EXPECT_EQ(is_even_code_family(c.code), c.even_family) << c.code;
  }
}

TEST(ModelIdentification, UpperCasesByTheCLocaleRule) {
  char text[] = "plvx-6300 r\xE9v \xFF z";
  to_upper_in_place(text);
  EXPECT_STREQ(text, "PLVX-6300 R\xE9V \xFF Z");
  to_upper_in_place(nullptr);
}

class ModelFromController : public test::SimLinkTest {};

TEST_F(ModelFromController, IdentifiesTheNamesTheControllerReports) {
  sim.update([](sim::ControllerState& s) {
    s.model_name = "Plovex plvx-6122m";
    s.type_name = "pct-6300";
  });
  char out[64] = {};
  ASSERT_GT(get_model_name(0, 0, out), 0);
  ASSERT_GT(get_type_name(0, 0, out), 0);
  EXPECT_EQ(identify_model(), 14);
  sim.update([](sim::ControllerState& s) { s.model_name = "Tev"; });
  ASSERT_GT(get_model_name(0, 0, out), 0);
  EXPECT_EQ(identify_model(), 66);
}

}  // namespace
}  // namespace tmode
