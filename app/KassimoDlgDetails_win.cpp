// The main window's details view follows the selected row.
#include "app/KassimoDlg.h"

#include "res/resource.h"

#include <commctrl.h>

void CKassimoDlg::InitDetails()
{
    if (!m_Details.Create(Hwnd(), IDC_DETAILS_PANE, [this] { return SelectedSource(); }))
        return;
    // After the list in the tab order.
    SetWindowPos(m_Details.Hwnd(), m_hList, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    OnNotify(IDC_SOURCE_LIST, LVN_ITEMCHANGED, [this](NMHDR* pHeader) {
        if (reinterpret_cast<NMLISTVIEW*>(pHeader)->uChanged & LVIF_STATE)
            m_Details.Refresh();
        return LRESULT(0);
    });
}

DETAILS_SOURCE CKassimoDlg::SelectedSource()
{
    const int nRow = FirstSelectedRow();
    if (nRow < 0 || nRow >= m_Engine.SourceCount())
        return {};
    return {&m_Engine.Queue(nRow), m_Engine.Source(nRow).strPosIndex};
}
