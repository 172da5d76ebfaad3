#pragma once
// Language texts with numbered places: "%1", "%2" ... filled with the given texts.
#include <string>
#include <vector>

// Only %1 to %9 are places; a place without a value and every other '%' stay
// as written, so a translated text cannot make the program read what it was not given.
std::string FillText(const std::string& format, const std::vector<std::string>& values);
