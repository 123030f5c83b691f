#include "maintenance/model_patterns.h"

#include <iterator>

namespace tmode {

namespace {

// Model numbers of the controllers, upper case.
constexpr PatternRow kModelNameRows[] = {
    {5, 4, {"PLVX-6104", "PLVX-6106", "PLVX-6108", "PLVX-6109"}},
    {4, 7, {"PLVX-6110", "PLVX-6111", "PLVX-6112", "PLVX-6113", "PLVX-6114", "PLVX-6116", "PLVX-6117"}},
    {2, 1, {"PLVX-6120"}},
    {14, 1, {"PLVX-6122M"}},
    {16, 1, {"PLVX-6122"}},
    {33, 1, {"PLVX-6124"}},
    {15, 1, {"PLVX-6126"}},
    {17, 1, {"PLVX-6128"}},
    {19, 1, {"PLVX-6130"}},
    {3, 1, {"PLVX-6132"}},
    {7, 1, {"PLVX-6134"}},
    {6, 1, {"PLVX-6136"}},
    {8, 1, {"PLVX-6138"}},
    {27, 1, {"PLVX-6140"}},
    {23, 1, {"PLVX-6142"}},
    {29, 1, {"PLVX-6144"}},
    {25, 1, {"PLVX-6146"}},
    {35, 1, {"PLVX-6200"}},
    {37, 1, {"PLVX-6202"}},
    {39, 1, {"PLVX-6204"}},
    {41, 1, {"PLVX-6206"}},
    {43, 1, {"PLVX-6208"}},
    {45, 1, {"PLVX-6210"}},
    {47, 1, {"PLVX-6212"}},
    {49, 1, {"PLVX-6214"}},
    {51, 1, {"PLVX-6216"}},
    {53, 1, {"PLVX-6218"}},
    {55, 1, {"PLVX-6220"}},
    {57, 1, {"PLVX-6222"}},
    {59, 1, {"PLVX-6224"}},
    {61, 1, {"PLVX-6226"}},
    {63, 1, {"PLVX-6228"}},
    {65, 1, {"PLVX-6300L"}},
    {67, 1, {"PLVX-6300"}},
    {69, 1, {"PLVX-6302"}},
    {71, 1, {"PLVX-6304"}},
    {73, 1, {"PLVX-6306"}},
    {75, 1, {"PLVX-6308"}},
    {77, 1, {"PLVX-6310"}},
    {79, 1, {"PLVX-6312"}},
    {81, 1, {"PLVX-6314"}},
    {83, 1, {"PLVX-6316"}},
    {85, 1, {"PLVX-6318"}},
    {87, 1, {"PLVX-6320"}},
    {89, 1, {"PLVX-6322"}},
    {91, 1, {"PLVX-6324"}},
    {93, 1, {"PLVX-6326"}},
};

// Chip type names, upper case.
constexpr PatternRow kTypeNameRows[] = {
    {4, 2, {"PCT-6110", "PCT-6111"}},
    {18, 1, {"PCT-6120"}},
    {10, 1, {"PCT-6130"}},
    {11, 1, {"PCT-6131"}},
    {12, 1, {"PCT-6132"}},
    {13, 1, {"PCT-6133"}},
    {22, 1, {"PCT-6140"}},
    {26, 1, {"PCT-6142"}},
    {24, 1, {"PCT-6144"}},
    {28, 2, {"PCT-6146", "PCT-6147"}},
    {32, 1, {"PCT-6150"}},
    {34, 1, {"PCT-6200"}},
    {36, 2, {"PCT-6202", "PCT-6203"}},
    {38, 1, {"PCT-6204"}},
    {40, 2, {"PCT-6206", "PCT-6207"}},
    {42, 1, {"PCT-6208"}},
    {44, 1, {"PCT-6210"}},
    {46, 1, {"PCT-6212"}},
    {48, 1, {"PCT-6214"}},
    {50, 1, {"PCT-6216"}},
    {52, 1, {"PCT-6218"}},
    {54, 1, {"PCT-6220"}},
    {56, 1, {"PCT-6222"}},
    {58, 2, {"PCT-6224", "PCT-6225"}},
    {60, 1, {"PCT-6226"}},
    {62, 1, {"PCT-6228"}},
    {64, 1, {"PCT-6300A"}},
    {66, 1, {"PCT-6300"}},
    {68, 2, {"PCT-6302", "PCT-6303"}},
    {70, 1, {"PCT-6304"}},
    {72, 1, {"PCT-6306"}},
    {74, 2, {"PCT-6308", "PCT-6309"}},
    {76, 1, {"PCT-6310"}},
    {78, 1, {"PCT-6312"}},
    {80, 1, {"PCT-6314"}},
    {82, 1, {"PCT-6316"}},
    {84, 2, {"PCT-6318", "PCT-6319"}},
    {86, 1, {"PCT-6320"}},
    {88, 1, {"PCT-6322"}},
    {90, 1, {"PCT-6324"}},
    {92, 1, {"PCT-6326"}},
};

static_assert(std::size(kModelNameRows) == 47);
static_assert(std::size(kTypeNameRows) == 41);

}  // namespace

std::span<const PatternRow> model_name_rows() { return kModelNameRows; }
std::span<const PatternRow> type_name_rows() { return kTypeNameRows; }

}  // namespace tmode
