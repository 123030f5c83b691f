#pragma once
#include "diagnostics/listed.h"
