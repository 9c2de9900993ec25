#pragma once

#include "frame/strings.h"

// Corvane's string table.
extern const StringTable corvaneStrings;
