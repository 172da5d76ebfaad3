// The resources linked into Tillvox.exe, read from the built program as a
// data file: dialog templates as real windows, the title string, both icons
// at every size, the manifest and the version.
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// TILLVOX_BIN_DIR is a Linux path; Wine's Z: drive is the Linux root.
std::string ProgramPath()
{
    const char* dir = std::getenv("TILLVOX_BIN_DIR");
    if (!dir || !*dir) return std::string();
    std::string path = std::string("Z:") + dir + "/Tillvox.exe";
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

class CProgramModule {
public:
    explicit CProgramModule(const std::string& path)
        : m_hModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~CProgramModule()
    {
        if (m_hModule) FreeLibrary(m_hModule);
    }
    CProgramModule(const CProgramModule&) = delete;
    CProgramModule& operator=(const CProgramModule&) = delete;
    HMODULE Get() const { return m_hModule; }

private:
    HMODULE m_hModule;
};

std::string ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type)
{
    HRSRC found = FindResourceA(module, name, type);
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    const void* p = loaded ? LockResource(loaded) : nullptr;
    if (!p) return std::string();
    return std::string(static_cast<const char*>(p), SizeofResource(module, found));
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class CDialogWindow {
public:
    CDialogWindow(HMODULE module, int id)
        : m_hWnd(CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, QuietDialogProc, 0)) {}
    ~CDialogWindow()
    {
        if (m_hWnd) DestroyWindow(m_hWnd);
    }
    CDialogWindow(const CDialogWindow&) = delete;
    CDialogWindow& operator=(const CDialogWindow&) = delete;
    HWND Get() const { return m_hWnd; }

private:
    HWND m_hWnd;
};

std::string ClassOf(HWND hWnd)
{
    char name[64] = {};
    GetClassNameA(hWnd, name, sizeof name);
    return name;
}

std::string TextOf(HWND hWnd)
{
    char text[128] = {};
    GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

// The control's rectangle in the dialog's client area, and the same rectangle
// given in dialog units turned into pixels by the dialog's own font. The dialog
// manager converts the origin and the size each on its own, so the right edge
// is not simply the converted x + cx.
RECT PlacedRect(HWND dialog, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT UnitsRect(HWND dialog, int x, int y, int cx, int cy)
{
    RECT r = {x, y, cx, cy};
    MapDialogRect(dialog, &r);
    r.right += r.left;
    r.bottom += r.top;
    return r;
}

void ExpectSameRect(const RECT& expected, const RECT& actual, const char* what)
{
    EXPECT_EQ(expected.left, actual.left) << what;
    EXPECT_EQ(expected.top, actual.top) << what;
    EXPECT_EQ(expected.right, actual.right) << what;
    EXPECT_EQ(expected.bottom, actual.bottom) << what;
}

class ResourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
    }

    void SetUp() override
    {
        m_strPath = ProgramPath();
        ASSERT_FALSE(m_strPath.empty()) << "TILLVOX_BIN_DIR is not set";
        ASSERT_NE(GetFileAttributesA(m_strPath.c_str()), INVALID_FILE_ATTRIBUTES)
            << m_strPath << " is missing: build the Tillvox target first";
        m_pModule.reset(new CProgramModule(m_strPath));
        ASSERT_NE(m_pModule->Get(), nullptr) << "LoadLibraryExA failed: " << GetLastError();
    }

    HMODULE Module() const { return m_pModule->Get(); }

    std::string m_strPath;
    std::unique_ptr<CProgramModule> m_pModule;
};

}  // namespace

TEST_F(ResourcesTest, TitleStringIsTheProgramName)
{
    char text[64] = {};
    ASSERT_GT(LoadStringA(Module(), IDS_APP_TITLE, text, sizeof text), 0);
    EXPECT_STREQ("Tillvox", text);
}

TEST_F(ResourcesTest, BothDialogTemplatesExist)
{
    EXPECT_NE(FindResourceA(Module(), MAKEINTRESOURCEA(IDD_KASSIMO_DIALOG), MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_NE(FindResourceA(Module(), MAKEINTRESOURCEA(IDD_ABOUTBOX), MAKEINTRESOURCEA(5)), nullptr);
}

TEST_F(ResourcesTest, MainDialogIsAMinimisablePopupOfTheRightSize)
{
    CDialogWindow dlg(Module(), IDD_KASSIMO_DIALOG);
    ASSERT_NE(dlg.Get(), nullptr) << "CreateDialogParamA failed: " << GetLastError();
    const LONG style = GetWindowLongA(dlg.Get(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(WS_CAPTION, style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    RECT client;
    GetClientRect(dlg.Get(), &client);
    const RECT expected = UnitsRect(dlg.Get(), 0, 0, 415, 214);
    EXPECT_EQ(expected.right, client.right);
    EXPECT_EQ(expected.bottom, client.bottom);
}

TEST_F(ResourcesTest, MainDialogControlsHaveTheirClassesAndPlaces)
{
    CDialogWindow dlg(Module(), IDD_KASSIMO_DIALOG);
    ASSERT_NE(dlg.Get(), nullptr) << "CreateDialogParamA failed: " << GetLastError();

    struct CONTROL_CASE { int nId; const char* szClass; int x, y, cx, cy; };
    const CONTROL_CASE cases[] = {
        {IDC_SOURCE_LIST, "SysListView32", 14, 40, 394, 137},
        {IDC_NEW, "Button", 15, 18, 50, 14},
        {IDC_MODIFY, "Button", 65, 18, 50, 14},
        {IDC_DELETE, "Button", 115, 18, 50, 14},
        {IDC_START, "Button", 358, 18, 50, 14},
        {IDC_AUTORUN, "Button", 16, 184, 283, 10},
    };
    for (const CONTROL_CASE& c : cases) {
        const std::string what = "control " + std::to_string(c.nId);
        HWND control = GetDlgItem(dlg.Get(), c.nId);
        ASSERT_NE(control, nullptr) << what;
        EXPECT_EQ(c.szClass, ClassOf(control)) << what;
        ExpectSameRect(UnitsRect(dlg.Get(), c.x, c.y, c.cx, c.cy), PlacedRect(dlg.Get(), control), what.c_str());
    }

    // Exactly these controls: nothing left over from an older layout.
    std::set<int> ids;
    for (HWND child = GetWindow(dlg.Get(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ids.insert(GetDlgCtrlID(child));
    EXPECT_EQ((std::set<int>{IDC_SOURCE_LIST, IDC_NEW, IDC_MODIFY, IDC_DELETE, IDC_START, IDC_AUTORUN}), ids);
}

TEST_F(ResourcesTest, SourceListIsAReportWithSeveralRowsSelectable)
{
    CDialogWindow dlg(Module(), IDD_KASSIMO_DIALOG);
    ASSERT_NE(dlg.Get(), nullptr);
    HWND list = GetDlgItem(dlg.Get(), IDC_SOURCE_LIST);
    ASSERT_NE(list, nullptr);
    const LONG style = GetWindowLongA(list, GWL_STYLE);
    EXPECT_EQ(LVS_REPORT, style & LVS_TYPEMASK);
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
    EXPECT_FALSE(style & LVS_SINGLESEL);
    // The dialog manager may turn a plain border into a sunken client edge.
    const LONG exStyle = GetWindowLongA(list, GWL_EXSTYLE);
    EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE))
        << std::hex << "style " << style << " extended style " << exStyle;
}

TEST_F(ResourcesTest, ButtonsArePushButtonsAndAutoRunIsAnAutomaticCheckBox)
{
    CDialogWindow dlg(Module(), IDD_KASSIMO_DIALOG);
    ASSERT_NE(dlg.Get(), nullptr);
    for (int id : {IDC_NEW, IDC_MODIFY, IDC_DELETE, IDC_START}) {
        const LONG type = GetWindowLongA(GetDlgItem(dlg.Get(), id), GWL_STYLE) & BS_TYPEMASK;
        EXPECT_TRUE(type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) << "button " << id;
    }
    HWND autoRun = GetDlgItem(dlg.Get(), IDC_AUTORUN);
    EXPECT_EQ(BS_AUTOCHECKBOX, GetWindowLongA(autoRun, GWL_STYLE) & BS_TYPEMASK);

    // An automatic check box ticks itself when clicked.
    SendMessageA(autoRun, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, SendMessageA(autoRun, BM_GETCHECK, 0, 0));
}

TEST_F(ResourcesTest, AboutBoxShowsIconVersionLineAndOk)
{
    CDialogWindow dlg(Module(), IDD_ABOUTBOX);
    ASSERT_NE(dlg.Get(), nullptr) << "CreateDialogParamA failed: " << GetLastError();

    HWND version = GetDlgItem(dlg.Get(), IDC_ABOUT_VERSION);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ("Kassimo Version 1.0", TextOf(version));

    HWND ok = GetDlgItem(dlg.Get(), IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ("Button", ClassOf(ok));

    HWND icon = GetDlgItem(dlg.Get(), IDC_ABOUT_ICON);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(SS_ICON, GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK);
    EXPECT_NE(0, SendMessageA(icon, STM_GETICON, 0, 0)) << "the icon control holds no icon";
}

TEST_F(ResourcesTest, IconsLoadAtSmallAndLargeSizes)
{
    for (int id : {IDR_MAINFRAME, IDI_TRAY}) {
        for (int size : {16, 32}) {
            HICON icon = static_cast<HICON>(LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
            ASSERT_NE(icon, nullptr) << "icon " << id << " at " << size;
            ICONINFO info = {};
            ASSERT_TRUE(GetIconInfo(icon, &info));
            BITMAP bm = {};
            GetObjectA(info.hbmColor, sizeof bm, &bm);
            EXPECT_EQ(size, bm.bmWidth) << "icon " << id;
            EXPECT_EQ(size, bm.bmHeight) << "icon " << id;
            if (info.hbmColor) DeleteObject(info.hbmColor);
            if (info.hbmMask) DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
}

#pragma pack(push, 2)
struct GROUP_ICON_ENTRY {
    BYTE bWidth, bHeight, bColorCount, bReserved;
    WORD wPlanes, wBitCount;
    DWORD dwBytesInRes;
    WORD nId;
};
#pragma pack(pop)

// Drawn images, not scaled ones: every size is stored, in 32 bits with an alpha
// channel that has both clear and solid pixels.
TEST_F(ResourcesTest, IconsCarry16_32And48PixelImagesWithAlpha)
{
    for (int id : {IDR_MAINFRAME, IDI_TRAY}) {
        const std::string group = ResourceBytes(Module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(14));
        ASSERT_GE(group.size(), 6u) << "icon group " << id;
        WORD count = 0;
        std::memcpy(&count, group.data() + 4, sizeof count);
        ASSERT_EQ(group.size(), 6u + count * sizeof(GROUP_ICON_ENTRY));
        std::set<int> sizes;
        for (WORD i = 0; i < count; ++i) {
            GROUP_ICON_ENTRY e;
            std::memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
            const int size = e.bWidth ? e.bWidth : 256;
            sizes.insert(size);
            EXPECT_EQ(32, e.wBitCount) << "icon " << id << " at " << size;

            const std::string image = ResourceBytes(Module(), MAKEINTRESOURCEA(e.nId), MAKEINTRESOURCEA(3));
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER) + size * size * 4u);
            BITMAPINFOHEADER h;
            std::memcpy(&h, image.data(), sizeof h);
            EXPECT_EQ(32, h.biBitCount);
            EXPECT_EQ(size, h.biWidth);
            int clear = 0, solid = 0;
            for (int p = 0; p < size * size; ++p) {
                const unsigned char alpha = static_cast<unsigned char>(image[sizeof h + p * 4 + 3]);
                clear += alpha == 0;
                solid += alpha == 255;
            }
            EXPECT_GT(clear, 0) << "icon " << id << " at " << size << " has no transparent pixel";
            EXPECT_GT(solid, 0) << "icon " << id << " at " << size << " has no opaque pixel";
        }
        EXPECT_EQ((std::set<int>{16, 32, 48}), sizes) << "icon " << id;
    }
}

TEST_F(ResourcesTest, ManifestAsksForCommonControls6AsInvokerAndDpiAware)
{
    const std::string manifest = ResourceBytes(Module(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_FALSE(manifest.empty());
    for (const char* piece : {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                              "processorArchitecture=\"x86\"", "level=\"asInvoker\"", ">true/PM<"}) {
        EXPECT_NE(manifest.find(piece), std::string::npos) << piece;
    }
}

TEST_F(ResourcesTest, VersionIs8570AndNamesTheProduct)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(m_strPath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(m_strPath.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(5, 8), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(0, 7), fixed->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(5, 8), fixed->dwProductVersionMS);
    EXPECT_EQ(MAKELONG(0, 7), fixed->dwProductVersionLS);

    struct TEXT_CASE { const char* szKey; const char* szValue; };
    const TEXT_CASE texts[] = {
        {"FileVersion", "8.5.7.0"},   {"ProductVersion", "8.5.7.0"},       {"ProductName", "Tillvox"},
        {"CompanyName", "Orvane"},    {"OriginalFilename", "Tillvox.exe"},
    };
    for (const TEXT_CASE& t : texts) {
        char* value = nullptr;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + t.szKey;
        ASSERT_TRUE(VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << t.szKey;
        EXPECT_STREQ(t.szValue, value) << t.szKey;
    }
    char* description = nullptr;
    EXPECT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904b0\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
}
