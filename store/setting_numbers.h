// The number fields of Corvane's Settings dialog (time-out and transaction period).
#pragma once

#include <string>

#include "platform/core/win32.h"

// Not empty, an optional leading "-", then decimal digits only, at most 20 characters in all.
bool IsValidNumber(const std::string& text);

// A field's text as the setting it stores: valid by IsValidNumber and a number that fits 32 bits,
// signed or unsigned; a negative number is kept as its 32-bit pattern ("-5" is 4294967291).
// False for anything else (a lone "-", or a number beyond 32 bits, which would otherwise be
// stored as some other number).
bool ParseSettingNumber(const std::string& text, DWORD& value);
