#pragma once
// Pictures of the virtual display for anyone to look at, taken with
// ImageMagick's import (which also draws menus and message boxes) into the
// build folder's screenshots/ folder.
#include <string>

class CScreenshot {
public:
    explicit CScreenshot(const std::string& name);  // the file is screenshots/<name>.png
    // Starts the picture on the first call; true once the file is complete.
    // A step of a dialog driver calls it until it is, so the windows stay responsive.
    bool Poll();
    bool Failed() const { return m_bFailed; }
    const std::string& UnixPath() const { return m_strUnixPath; }

private:
    std::string m_strUnixPath;
    std::string m_strWindowsPath;
    bool m_bStarted = false;
    bool m_bFailed = false;
    long long m_nLastSize = -1;
    unsigned m_nStarted = 0;
    unsigned m_nStableSince = 0;
};

// The folder (Unix path, ending in '/'); empty when the tests were not given the build's bin folder.
std::string ScreenshotFolder();
