#pragma once

#include "frame/strings.h"

// Praxon's string table.
extern const StringTable praxonStrings;
