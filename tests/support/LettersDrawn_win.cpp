#include "tests/support/LettersDrawn.h"

#include "tests/support/Glyphs.h"
#include "tests/support/TopWindows.h"
#include "tests/support/WideText.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <iterator>

namespace {

std::wstring ClassOf(HWND hWnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hWnd, name, static_cast<int>(std::size(name)));
    return name;
}

bool HasArabicLetters(const std::wstring& text)
{
    for (wchar_t c : text)
        if (c >= 0x0620 && c <= 0x064A)
            return true;
    return false;
}

// Shown whenever hWindow is: the child and every window between them are
// visible, whether or not hWindow is on the screen now.
bool ShownWith(HWND hChild, HWND hWindow)
{
    for (HWND h = hChild; h != nullptr && h != hWindow; h = GetParent(h))
        if ((GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) == 0)
            return false;
    return true;
}

}  // namespace

std::vector<std::wstring> ShownTexts(HWND hControl)
{
    std::vector<std::wstring> texts = {WindowTextW(hControl)};
    const std::wstring name = ClassOf(hControl);
    if (lstrcmpiW(name.c_str(), L"ComboBox") == 0) {
        const LRESULT count = SendMessageW(hControl, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t item[512] = {};
            if (SendMessageW(hControl, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 512)
                SendMessageW(hControl, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
            texts.push_back(item);
        }
    } else if (lstrcmpiW(name.c_str(), WC_LISTVIEWW) == 0) {
        for (int column = 0;; ++column) {
            wchar_t head[256] = {};
            LVCOLUMNW lvc = {};
            lvc.mask = LVCF_TEXT;
            lvc.pszText = head;
            lvc.cchTextMax = static_cast<int>(std::size(head));
            if (!SendMessageW(hControl, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc)))
                break;
            texts.push_back(head);
            const LRESULT rows = SendMessageW(hControl, LVM_GETITEMCOUNT, 0, 0);
            for (LRESULT row = 0; row < rows; ++row) {
                wchar_t cell[512] = {};
                LVITEMW item = {};
                item.iSubItem = column;
                item.pszText = cell;
                item.cchTextMax = static_cast<int>(std::size(cell));
                SendMessageW(hControl, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
                texts.push_back(cell);
            }
        }
    }
    return texts;
}

size_t ExpectLettersDrawn(HWND hWindow, const std::string& name, LETTERS eWhich)
{
    size_t nTexts = 0;
    if (eWhich == LETTERS::CAPTION_AND_CONTROLS && (GetWindowLongW(hWindow, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        HFONT hCaptionFont = CreateCaptionFont();
        EXPECT_NE(nullptr, hCaptionFont);
        if (hCaptionFont == nullptr)
            return nTexts;
        const std::wstring caption = WindowTextW(hWindow);
        EXPECT_EQ("", Utf8(MissingGlyphs(hCaptionFont, caption)))
            << name << " caption: " << Utf8(caption) << " in " << Utf8(FaceOf(hCaptionFont));
        if (HasArabicLetters(caption)) {
            EXPECT_TRUE(JoinsArabicLetters(hCaptionFont)) << name << " caption drawn unjoined in " << Utf8(FaceOf(hCaptionFont));
        }
        DeleteObject(hCaptionFont);
        nTexts += !caption.empty();
    }
    for (HWND hChild : ChildWindows(hWindow)) {
        if (!ShownWith(hChild, hWindow))
            continue;
        HFONT hFont = reinterpret_cast<HFONT>(SendMessageW(hChild, WM_GETFONT, 0, 0));
        if (!hFont)
            hFont = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
        for (const std::wstring& text : ShownTexts(hChild)) {
            nTexts += !text.empty();
            EXPECT_EQ("", Utf8(MissingGlyphs(hFont, text)))
                << name << " control " << GetDlgCtrlID(hChild) << ": " << Utf8(text) << " in " << Utf8(FaceOf(hFont));
            if (HasArabicLetters(text)) {
                EXPECT_TRUE(JoinsArabicLetters(hFont))
                    << name << " control " << GetDlgCtrlID(hChild) << ": " << Utf8(text) << " drawn unjoined in "
                    << Utf8(FaceOf(hFont));
            }
        }
    }
    return nTexts;
}
