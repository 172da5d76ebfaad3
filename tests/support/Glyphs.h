#pragma once
// Whether a font draws a text's letters or the empty boxes of missing
// glyphs. Each character is drawn on its own, as the system draws it with the
// font (font links and replacements included), and compared with a character
// that no font has: a character that draws the same box is missing.
#include <windows.h>

#include <string>

// The characters of text that hFont draws as missing-glyph boxes; empty when
// every letter is drawn. Blanks and invisible direction marks are not checked.
std::wstring MissingGlyphs(HFONT hFont, const std::wstring& text);

// True when the font draws Arabic letters joined, as the script writes them:
// three behs drawn as one text look otherwise than three drawn one by one.
bool JoinsArabicLetters(HFONT hFont);

// The face the system picks for the font, as GetTextFace tells it.
std::wstring FaceOf(HFONT hFont);

// The font the system draws window captions with; the caller deletes it.
HFONT CreateCaptionFont();

// While it lives: the captions', menus' and message boxes' fonts ask for the
// character set of the ANSI code page. A Windows in a language draws those in
// a face with its letters; Wine's fonts ask for the Western set, and under the
// Thai code page their face has no Thai letters. Wine keeps the setting for
// every program of the prefix until its session ends: it is put back when this
// ends, and a test that makes one holds the prefix to itself.
class CCodePageSystemFonts {
public:
    CCodePageSystemFonts();
    ~CCodePageSystemFonts();
    CCodePageSystemFonts(const CCodePageSystemFonts&) = delete;
    CCodePageSystemFonts& operator=(const CCodePageSystemFonts&) = delete;
    bool Applied() const { return m_bApplied; }

private:
    NONCLIENTMETRICSW m_Before = {};
    bool m_bApplied = false;
};
