#include "programs/corvane/strings.h"

namespace {
constexpr StringEntry kEntries[] = {
    {1, "&About"},
    {2, "Unknown Error"},
    {3, "Program has not been installed correctly"},
    {4, "Invalid value"},
    {5, "OPERATION CANCELLED"},
    {11, "COMPLETED"},
    {15, "UNABLE TO OPEN LOG"},
    {16, "UNABLE TO READ LOG"},
    {17, "UNABLE TO WRITE LOG"},
    {19, "Unable to load Sourcewarden"},
    {20, "Unable to read registry"},
    {21, "REGISTRY UNAVAILABLE"},
    {23, "You need to specify Data Source."},
    {24, "UNABLE TO CLEAR LOG"},
};
}  // namespace

const StringTable corvaneStrings{kEntries, sizeof kEntries / sizeof kEntries[0]};
