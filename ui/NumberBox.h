#pragma once
// What a digits-only box holds, as the dialogs' data exchange reads it.
#include <string>

enum class NUMBER_BOX_CHECK {
    Ok,
    NotPositiveInteger,  // "Enter a positive integer."
    OutOfRange,          // "Enter an integer between %1 and %2."
};

// Leading and trailing blanks are allowed around the digits; nothing else is.
NUMBER_BOX_CHECK CheckNumberBox(const std::string& text, unsigned nMin, unsigned nMax, unsigned& nValue);

// The range text with %1 and %2 filled.
std::string FillRangeText(const std::string& format, unsigned nMin, unsigned nMax);
