// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_APP_TITLE 101
#define IDD_KASSIMO_DIALOG 102
#define IDR_MAINFRAME 128
#define IDI_TRAY 133

#define IDC_SOURCE_LIST 1000
#define IDC_NEW 1001
#define IDC_MODIFY 1002
#define IDC_DELETE 1003
#define IDC_START 1004
#define IDC_AUTORUN 1011

#define IDC_ABOUT_VERSION 1100
#define IDC_ABOUT_ICON 1101

#define IDM_ABOUTBOX 0x0010
#define IDM_TRAY_OPEN 32771
#define IDM_TRAY_EXIT 32772
