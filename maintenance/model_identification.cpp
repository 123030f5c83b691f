#include "maintenance/model_identification.h"

#include <cstring>

#include "maintenance/maintenance_state.h"
#include "protocol/protocol_state.h"
#include "maintenance/model_patterns.h"

namespace tmode {

namespace {

// The C locale's rule, whatever locale the application has set: a to z
// become A to Z, every other byte (those above 0x7F included) stays.
char upper(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : c;
}

// A cached name is a 32-byte field, terminated only when shorter.
void upper_case_field(char* field) {
  for (int i = 0; i < kTextFieldSize && field[i] != '\0'; ++i) field[i] = upper(field[i]);
}

int first_matching_row(std::span<const PatternRow> rows, const char* field) {
  char name[kTextFieldSize + 1] = {};
  std::memcpy(name, field, kTextFieldSize);
  for (const PatternRow& row : rows) {
    for (int p = 0; p < row.count; ++p) {
      if (std::strstr(name, row.patterns[p]) != nullptr) return row.code;
    }
  }
  return -1;
}

}  // namespace

int identify_model() {
  maintenance_state().model_code = -1;
  upper_case_field(protocol_state().cached_model_name);
  upper_case_field(protocol_state().cached_type_name);
  int code = first_matching_row(model_name_rows(), protocol_state().cached_model_name);
  if (code < 0) code = first_matching_row(type_name_rows(), protocol_state().cached_type_name);
  maintenance_state().model_code = code;
  return code;
}

bool is_even_code_family(int code) {
  const int low = code & 0xFF;
  return low >= 34 && low <= 92 && low % 2 == 0;
}

void to_upper_in_place(char* text) {
  if (text == nullptr) return;
  for (; *text != '\0'; ++text) *text = upper(*text);
}

}  // namespace tmode
