#include "tests/support/Glyphs.h"

#include <cstring>
#include <set>
#include <vector>

namespace {

const int CELL_WIDTH = 64;
const int CELL_HEIGHT = 64;
// Unassigned in Unicode: no font has a glyph for it.
const wchar_t NO_SUCH_CHARACTER = 0x0378;

bool IsInvisible(wchar_t c)
{
    return c <= L' ' || c == 0x00A0 || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0x3000 || c == 0xFEFF;
}

class CDrawing {
public:
    explicit CDrawing(HFONT hFont)
    {
        m_hDC = CreateCompatibleDC(nullptr);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = CELL_WIDTH;
        info.bmiHeader.biHeight = -CELL_HEIGHT;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_hBitmap = CreateDIBSection(m_hDC, &info, DIB_RGB_COLORS, &m_pBits, nullptr, 0);
        m_hOldBitmap = SelectObject(m_hDC, m_hBitmap);
        m_hOldFont = SelectObject(m_hDC, hFont);
    }
    ~CDrawing()
    {
        SelectObject(m_hDC, m_hOldFont);
        SelectObject(m_hDC, m_hOldBitmap);
        DeleteObject(m_hBitmap);
        DeleteDC(m_hDC);
    }
    CDrawing(const CDrawing&) = delete;
    CDrawing& operator=(const CDrawing&) = delete;

    // Each character drawn on its own, one after the other, where the whole text would put it.
    std::vector<unsigned char> DrawApart(const std::wstring& text)
    {
        std::vector<unsigned char> pixels = Draw(std::wstring());
        if (!m_pBits)
            return pixels;
        SetBkMode(m_hDC, TRANSPARENT);
        int x = 16;
        for (wchar_t c : text) {
            ExtTextOutW(m_hDC, x, 16, 0, nullptr, &c, 1, nullptr);
            SIZE size = {};
            GetTextExtentPoint32W(m_hDC, &c, 1, &size);
            x += size.cx;
        }
        SetBkMode(m_hDC, OPAQUE);
        GdiFlush();
        std::memcpy(pixels.data(), m_pBits, pixels.size());
        return pixels;
    }

    std::vector<unsigned char> Draw(const std::wstring& text)
    {
        std::vector<unsigned char> pixels(CELL_WIDTH * CELL_HEIGHT * 4);
        if (!m_pBits)
            return pixels;
        RECT cell = {0, 0, CELL_WIDTH, CELL_HEIGHT};
        SetBkColor(m_hDC, RGB(255, 255, 255));
        SetTextColor(m_hDC, RGB(0, 0, 0));
        ExtTextOutW(m_hDC, 16, 16, ETO_OPAQUE, &cell, text.c_str(), static_cast<UINT>(text.size()), nullptr);
        GdiFlush();
        std::memcpy(pixels.data(), m_pBits, pixels.size());
        return pixels;
    }

private:
    HDC m_hDC = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    HGDIOBJ m_hOldFont = nullptr;
    void* m_pBits = nullptr;
};

}  // namespace

std::wstring MissingGlyphs(HFONT hFont, const std::wstring& text)
{
    CDrawing drawing(hFont);
    const std::vector<unsigned char> box = drawing.Draw(std::wstring(1, NO_SUCH_CHARACTER));
    std::wstring missing;
    std::set<std::wstring> seen;
    for (size_t i = 0; i < text.size(); ++i) {
        std::wstring character(1, text[i]);
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size())
            character += text[++i];
        if (IsInvisible(character[0]) || !seen.insert(character).second)
            continue;
        if (drawing.Draw(character) == box)
            missing += character;
    }
    return missing;
}

HFONT CreateCaptionFont()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    return CreateFontIndirectW(&metrics.lfCaptionFont);
}

std::wstring FaceOf(HFONT hFont)
{
    HDC hDC = CreateCompatibleDC(nullptr);
    HGDIOBJ hOld = SelectObject(hDC, hFont);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(hDC, LF_FACESIZE, face);
    SelectObject(hDC, hOld);
    DeleteDC(hDC);
    return face;
}

CCodePageSystemFonts::CCodePageSystemFonts()
{
    CHARSETINFO info = {};
    if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<DWORD_PTR>(GetACP())), &info, TCI_SRCCODEPAGE))
        return;
    m_Before.cbSize = sizeof m_Before;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m_Before, &m_Before, 0))
        return;
    NONCLIENTMETRICSW metrics = m_Before;
    for (LOGFONTW* pFont : {&metrics.lfCaptionFont, &metrics.lfSmCaptionFont, &metrics.lfMenuFont,
                            &metrics.lfStatusFont, &metrics.lfMessageFont})
        pFont->lfCharSet = static_cast<BYTE>(info.ciCharset);
    // Not written to the user's settings file.
    m_bApplied = SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != FALSE;
}

CCodePageSystemFonts::~CCodePageSystemFonts()
{
    if (m_bApplied)
        SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof m_Before, &m_Before, 0);
}

bool JoinsArabicLetters(HFONT hFont)
{
    const std::wstring BEHS(3, 0x0628);
    CDrawing drawing(hFont);
    return drawing.Draw(BEHS) != drawing.DrawApart(BEHS);
}
