#pragma once
#include <cstdint>
#include "diagnostics/unlisted.h"
