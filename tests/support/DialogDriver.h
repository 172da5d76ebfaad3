#pragma once
// Drives the modal windows of the test's own thread as a user would: while an
// action shows dialogs and message boxes, a thread timer runs the queued steps,
// one after the other, on the topmost enabled dialog window. Clicks are posted
// as the buttons' own notifications, so a click that opens another modal
// window does not block the step. A step that cannot finish in time is a
// failure, and every window the action opened is then cancelled so the test ends.
#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

class CDialogDriver {
public:
    // Returns true when the step is done; false to be tried again on the next tick.
    using STEP = std::function<bool(HWND hTop)>;

    explicit CDialogDriver(DWORD nStepTimeoutMs = 8000) : m_nStepTimeoutMs(nStepTimeoutMs) {}
    CDialogDriver& Then(const std::string& name, STEP step);
    // Runs the action (which shows modal windows) while the steps drive them.
    void Run(const std::function<void()>& action);
    // Drives the windows of another process (a program started by the test)
    // instead: the steps run until all are done, one fails, or the time is up.
    // The windows the process has when this starts are left alone.
    void Drive(DWORD dwProcessId, DWORD nTimeoutMs);

    bool AllDone() const { return m_nNext == m_Steps.size() && m_Failures.empty(); }
    std::vector<std::string> m_Failures;

    // Common steps.
    CDialogDriver& Click(int nId);                       // on whatever dialog is on top
    CDialogDriver& ClickIn(const std::string& caption, int nId);  // only once a dialog with this caption is on top
    CDialogDriver& Select(int nId, int nItem);
    CDialogDriver& Type(int nId, const std::string& text);
    // Waits for a message box, records its text in m_Messages and closes it with OK.
    CDialogDriver& AcceptMessage();
    CDialogDriver& Do(const std::string& name, std::function<void(HWND hTop)> action);
    std::vector<std::string> m_Messages;

private:
    static VOID CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void OnTick();
    HWND TopDialog() const;

    struct NAMED_STEP {
        std::string name;
        STEP step;
    };
    std::vector<NAMED_STEP> m_Steps;
    size_t m_nNext = 0;
    DWORD m_nStepTimeoutMs;
    DWORD m_nStepStart = 0;
    DWORD m_nRunStart = 0;
    bool m_bInStep = false;
    bool m_bAborting = false;
    std::set<HWND> m_Before;
    DWORD m_dwProcessId = 0;  // 0: this thread's windows
};

// Reading and driving controls.
std::string WindowTextOf(HWND hWnd);
std::string ControlText(HWND hDialog, int nId);
int SelectedItem(HWND hDialog, int nId);
std::string SelectedText(HWND hDialog, int nId);
int ItemCount(HWND hDialog, int nId);
std::string ListItemText(HWND hDialog, int nId, int nItem);
// A cell of a list view in this process, read with the A calls.
std::string ListCell(HWND hList, int nRow, int nColumn);
void PostClick(HWND hDialog, int nId);
void SelectListItem(HWND hDialog, int nId, int nItem);
void SetBoxText(HWND hDialog, int nId, const std::string& text);
// A message box's text, or nothing when the window is no message box.
bool MessageBoxText(HWND hWnd, std::string& text);
// The id of the button that Enter presses (the one drawn as the default), or 0.
int DefaultButton(HWND hDialog);

// The main window's details view of the selected source, in UTF-8: the label
// and the value of a row of its counters, and the text of one of its controls
// (IDC_DETAILS_TITLE, IDC_RECEIPT_LABEL, IDC_RECEIPT_VIEW).
HWND DetailsPane(HWND hMain);
std::string DetailsLabel(HWND hMain, int nRow);
std::string DetailsValue(HWND hMain, int nRow);
std::string DetailsText(HWND hMain, int nId);
// Selects row nRow of a list view alone, as a click on it does (-1: none).
void SelectOnlyRow(HWND hList, int nRow);
