#pragma once
// The main window's details view: what the selected source did since the
// program started, each counter under its label from the language file, and
// its last receipt as the till sent it. A child dialog of the main window,
// placed below the source list.
#include "app/SourceDetails.h"
#include "ui/DialogBase.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

class CLanguage;
class COutputQueue;

// The source the view is to show; no queue while no row is selected.
struct DETAILS_SOURCE {
    COutputQueue* pQueue = nullptr;
    std::string strName;  // the source's POS index, in the ANSI code page
};

class CSourceDetailsPane : public CDialogBase {
public:
    using SELECTION = std::function<DETAILS_SOURCE()>;

    CSourceDetailsPane(CLanguage* pLanguage, bool bRightToLeft);
    ~CSourceDetailsPane() override;

    // Makes the pane, control nId of hParent. Every refresh asks `selection`
    // which source to show, so the view follows rows that move or go.
    HWND Create(HWND hParent, int nId, SELECTION selection);
    // The pane's height in pixels as its template makes it; 0 without a pane.
    int Height() const;
    // How much wider than its template the pane would like to be, in pixels, so
    // that a receipt's whole line shows.
    int WidthWanted() const { return m_nWantedWidth; }
    // Shows the selected source, setting only the texts that changed.
    // User-interface thread; called by the pane's timer and on a new selection.
    void Refresh();

    // Counters are looked at twice a second, and cost nothing to show while they stay the same.
    static constexpr UINT REFRESH_MS = 500;

protected:
    BOOL OnInitDialog() override;

private:
    struct FONT_DELETER {
        void operator()(HFONT hFont) const { DeleteObject(hFont); }
    };
    using FONT_OWNER = std::unique_ptr<std::remove_pointer_t<HFONT>, FONT_DELETER>;

    std::wstring Text(const char* key) const;
    void LoadTexts();
    void FillList();
    void FitLabels(HFONT hFont);
    void FitList(int nRowWidth);
    int ReceiptWidthWanted() const;
    void KeepReceiptLeftToRight();
    void LayOut(int cx, int cy);
    void ShowTitle(const DETAILS_SOURCE& source);
    void ShowValue(int nRow, const std::string& strValue);
    void ShowCounters(const COutputQueue* pQueue);
    void ShowReceipt(const COutputQueue* pQueue, uint64_t nReceipts);

    CLanguage* m_pLanguage;
    SELECTION m_Selection;
    DETAIL_TEXTS m_Texts;
    HWND m_hList = nullptr;
    HWND m_hReceipt = nullptr;
    FONT_OWNER m_pReceiptFont;
    // The template's places, to grow the receipt view with the pane.
    SIZE m_TemplateSize = {};
    RECT m_ListRect = {}, m_LabelRect = {}, m_ReceiptRect = {};
    int m_nWantedWidth = 0;

    // What is shown now, so that an unchanged value is never set again.
    bool m_bShownAny = false;
    COutputQueue* m_pShownQueue = nullptr;
    std::string m_strShownName;
    bool m_bCountersShown = false;
    SOURCE_COUNTERS_SNAPSHOT m_ShownCounters;
    std::string m_strShownValues[DETAIL_ROW_COUNT];
    // The receipt is fetched when the receipt count moves, and once more on the
    // next refresh: a receipt is counted a moment before it is kept.
    bool m_bReceiptShown = false;
    uint64_t m_nReceiptsFetched = 0;
    bool m_bFetchAgain = false;
    std::string m_strShownReceipt;
};
