#pragma once
// The small dialog framework of the program: a dialog object bound to its
// window at WM_INITDIALOG, and tables from message, control id or
// notification to a handler.
#include <windows.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

class CDialogBase {
public:
    using HANDLER = std::function<INT_PTR(WPARAM, LPARAM)>;
    using COMMAND_HANDLER = std::function<void(WORD nNotifyCode)>;
    using NOTIFY_HANDLER = std::function<LRESULT(NMHDR*)>;

    explicit CDialogBase(UINT nTemplateId) : m_nTemplateId(nTemplateId) {}
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Right-to-left layout and reading from the window's creation on, so that
    // every control is created mirrored too. Set before showing.
    void SetRightToLeftLayout(bool bRightToLeft) { m_bRightToLeftLayout = bRightToLeft; }

    INT_PTR DoModal(HWND hParent = nullptr);
    // A modeless window of the same dialog, for tests that drive it by messages.
    HWND CreateModeless(HWND hParent = nullptr);
    HWND Hwnd() const { return m_hWnd; }
    HWND Item(int nId) const { return GetDlgItem(m_hWnd, nId); }
    void EndDialog(INT_PTR nResult);

protected:
    virtual BOOL OnInitDialog() { return TRUE; }

    void OnMessage(UINT nMessage, HANDLER handler) { m_Messages[nMessage] = std::move(handler); }
    void OnCommand(WORD nId, COMMAND_HANDLER handler) { m_Commands[nId] = std::move(handler); }
    void OnNotify(UINT_PTR nId, UINT nCode, NOTIFY_HANDLER handler)
    {
        m_Notifies[{nId, nCode}] = std::move(handler);
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT nMessage, WPARAM wParam, LPARAM lParam);
    // The dialog template, with the right-to-left extended styles added when asked.
    bool LoadTemplate(std::vector<BYTE>& bytes) const;

    UINT m_nTemplateId;
    HWND m_hWnd = nullptr;
    bool m_bModeless = false;
    bool m_bRightToLeftLayout = false;
    std::map<UINT, HANDLER> m_Messages;
    std::map<WORD, COMMAND_HANDLER> m_Commands;
    std::map<std::pair<UINT_PTR, UINT>, NOTIFY_HANDLER> m_Notifies;
};
