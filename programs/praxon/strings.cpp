#include "programs/praxon/strings.h"

namespace {
constexpr StringEntry kEntries[] = {
    {1, "&About"},
    {2, "Unknown Error"},
    {3, "Program has not been installed correctly"},
    {5, "OPERATION CANCELLED"},
    {11, "OPERATION COMPLETED"},
    {22, "POLICY NOT SET"},
};
}  // namespace

const StringTable praxonStrings{kEntries, sizeof kEntries / sizeof kEntries[0]};
