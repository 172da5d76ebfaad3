#include "ui/DialogBase.h"

#include <commctrl.h>

namespace {

// Ctrl+A selects a box's whole text, so typing replaces it: not every edit
// control does that by itself (Wine's does not, nor those before Vista).
LRESULT CALLBACK SelectAllOnCtrlA(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam, UINT_PTR nId, DWORD_PTR)
{
    const bool bCtrlOnly = GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0;
    if (nMessage == WM_KEYDOWN && wParam == 'A' && bCtrlOnly) {
        SendMessageA(hWnd, EM_SETSEL, 0, -1);
        return 0;
    }
    if (nMessage == WM_CHAR && wParam == 0x01)  // the character Ctrl+A makes: no beep, nothing typed
        return 0;
    if (nMessage == WM_NCDESTROY)
        RemoveWindowSubclass(hWnd, SelectAllOnCtrlA, nId);
    return DefSubclassProc(hWnd, nMessage, wParam, lParam);
}

BOOL CALLBACK SubclassEditBox(HWND hChild, LPARAM)
{
    char name[16] = {};
    GetClassNameA(hChild, name, sizeof name);
    if (lstrcmpiA(name, "Edit") == 0)
        SetWindowSubclass(hChild, SelectAllOnCtrlA, 1, 0);
    return TRUE;
}

}  // namespace

CDialogBase::~CDialogBase()
{
    if (m_bModeless && m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

bool CDialogBase::LoadTemplate(std::vector<BYTE>& bytes) const
{
    HMODULE hModule = GetModuleHandleA(nullptr);
    HRSRC hFound = FindResourceA(hModule, MAKEINTRESOURCEA(m_nTemplateId), MAKEINTRESOURCEA(5));  // RT_DIALOG
    HGLOBAL hLoaded = hFound ? LoadResource(hModule, hFound) : nullptr;
    const BYTE* p = hLoaded ? static_cast<const BYTE*>(LockResource(hLoaded)) : nullptr;
    const DWORD size = hFound ? SizeofResource(hModule, hFound) : 0;
    if (!p || size < 12)
        return false;
    bytes.assign(p, p + size);
    if (m_bRightToLeftLayout) {
        // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, then the extended style;
        // DLGTEMPLATE: style, then the extended style.
        const bool bExtended = bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF;
        DWORD* pExStyle = reinterpret_cast<DWORD*>(bytes.data() + (bExtended ? 8 : 4));
        *pExStyle |= WS_EX_LAYOUTRTL | WS_EX_RTLREADING;
    }
    return true;
}

INT_PTR CDialogBase::DoModal(HWND hParent)
{
    m_bModeless = false;
    std::vector<BYTE> bytes;
    if (!LoadTemplate(bytes))
        return -1;
    // Unicode windows, so that a text the ANSI code page cannot spell keeps its letters.
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                   hParent, DialogProc, reinterpret_cast<LPARAM>(this));
}

HWND CDialogBase::CreateModeless(HWND hParent)
{
    m_bModeless = true;
    std::vector<BYTE> bytes;
    if (!LoadTemplate(bytes))
        return nullptr;
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                                      hParent, DialogProc, reinterpret_cast<LPARAM>(this));
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
        EnumChildWindows(hWnd, SubclassEditBox, 0);
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
