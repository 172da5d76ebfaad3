#pragma once
// Windows side of the capture positions: the small file one source's position lives in.
// Include only from Windows-only code.
#include "capture/CapturePositions.h"

#include <windows.h>

#include <string>

class CPositionFile {
public:
    CPositionFile() = default;
    ~CPositionFile() { Close(); }
    CPositionFile(const CPositionFile&) = delete;
    CPositionFile& operator=(const CPositionFile&) = delete;

    // Opens the file, made when missing; known gets what it holds. False when
    // it holds no valid position (new, emptied, torn or damaged).
    bool Open(const std::string& strPath, CAPTURE_POSITION& known);
    // Writes the position over the last one. A torn write reads as no position.
    void Save(const CAPTURE_POSITION& position);
    // Leaves no position: the file's source is not in append mode.
    void Forget();
    void Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    bool m_bHolds = false;
    size_t m_nSavedLen = 0;  // length of the record the file holds
    std::string m_strPath;
};
