#include "app/DialogBase.h"

CDialogBase::~CDialogBase()
{
    if (m_bModeless && m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

INT_PTR CDialogBase::DoModal(HWND hParent)
{
    m_bModeless = false;
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), hParent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

HWND CDialogBase::CreateModeless(HWND hParent)
{
    m_bModeless = true;
    return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), hParent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR nResult)
{
    if (m_bModeless)
        DestroyWindow(m_hWnd);
    else
        ::EndDialog(m_hWnd, nResult);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    CDialogBase* pDialog = nullptr;
    if (nMessage == WM_INITDIALOG) {
        pDialog = reinterpret_cast<CDialogBase*>(lParam);
        pDialog->m_hWnd = hWnd;
        SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        return pDialog->OnInitDialog();
    }
    pDialog = reinterpret_cast<CDialogBase*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!pDialog)
        return FALSE;
    const INT_PTR result = pDialog->Dispatch(nMessage, wParam, lParam);
    if (nMessage == WM_NCDESTROY) {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return result;
}

INT_PTR CDialogBase::Dispatch(UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == WM_COMMAND) {
        auto command = m_Commands.find(LOWORD(wParam));
        if (command != m_Commands.end()) {
            command->second(HIWORD(wParam));
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    if (nMessage == WM_NOTIFY) {
        NMHDR* pHeader = reinterpret_cast<NMHDR*>(lParam);
        auto notify = m_Notifies.find({pHeader->idFrom, pHeader->code});
        if (notify == m_Notifies.end())
            return FALSE;
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, notify->second(pHeader));
        return TRUE;
    }
    auto message = m_Messages.find(nMessage);
    return message == m_Messages.end() ? FALSE : message->second(wParam, lParam);
}
