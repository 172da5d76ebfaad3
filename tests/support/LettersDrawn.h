#pragma once
// Whether a window draws every letter it shows: its caption, its controls'
// texts, drop-down items and list cells, each in the font it is drawn with,
// compared against the missing-glyph box (tests/support/Glyphs.h).
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Every text a control shows: its window text, a drop-down list's items, a
// list view's column heads and cells.
std::vector<std::wstring> ShownTexts(HWND hControl);

// Expects (gtest) every letter hWindow shows, its caption and the controls it
// shows included, to be drawn by its font, and Arabic letters to be drawn
// joined; name says which window in a failure. Returns how many non-empty
// texts it looked at.
enum class LETTERS { CAPTION_AND_CONTROLS, CONTROLS };
size_t ExpectLettersDrawn(HWND hWindow, const std::string& name, LETTERS eWhich = LETTERS::CAPTION_AND_CONTROLS);
