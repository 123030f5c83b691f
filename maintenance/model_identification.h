// Turning the controller's model and type names into the model code that
// selects sizes, formats and variants elsewhere in the library.
#pragma once

#include <cstdint>

namespace tmode {

// Upper-cases the cached model and type names in place (they stay so), then
// takes the code of the first model-name row with a pattern inside the model
// name, else of the first type-name row with one inside the type name, else
// -1. Stores it as the library's model_code and returns it.
int identify_model();

// True when the code's low byte is one of the even numbers 34 to 92.
bool is_even_code_family(int code);

// Upper-cases a zero-terminated text in place by the C locale's rule (a to z
// only), whatever locale the application has set.
void to_upper_in_place(char* text);

}  // namespace tmode
