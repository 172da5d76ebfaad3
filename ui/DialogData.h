#pragma once
// The few pieces of dialog data exchange the setting dialogs use: digits-only
// boxes with their range checks, texts of controls, and message boxes that
// show a language text.
#include <windows.h>

#include <string>

// Reads a digits-only box. A text that is not a positive integer, or one out
// of nMin ... nMax, shows the program's own standard text once, puts the focus
// back on the box with its text selected, and returns false; nValue is then unchanged.
bool ReadNumberBox(HWND hDialog, int nId, unsigned nMin, unsigned nMax, unsigned& nValue);
void WriteNumberBox(HWND hDialog, int nId, unsigned nValue);

std::string ItemText(HWND hDialog, int nId);
// The text of a drop-down list's current item; empty without one.
std::string ComboText(HWND hDialog, int nId);

// A message box with one OK button showing a language text, owned by hOwner;
// under a right-to-left language the text reads and aligns right to left.
void LanguageMessageBox(HWND hOwner, const std::string& text, bool bRightToLeft);
void LanguageMessageBox(HWND hOwner, const std::wstring& text, bool bRightToLeft);

// Conversions at the edge between the program's ANSI strings, the UTF-8 that
// the plain text functions work on, and the UTF-16 of windows.
std::wstring WideFromAnsi(const std::string& text);
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
std::string Utf8FromAnsi(const std::string& text);
// A text built from language texts (UTF-8) and values typed into the ANSI
// boxes: UTF-8 when it is valid UTF-8 as a whole, else the ANSI code page.
std::wstring WideFromUtf8OrAnsi(const std::string& text);
