#pragma once

// What an input reports for its source's row; the window turns it into a language text.
enum class INPUT_STATUS {
    FolderMissing,  // the watched file's folder is missing or went away
    FolderBack,     // it is there again and watched
};

class CInputEvents {
public:
    // Called on the input's own threads.
    virtual void OnInputStatus(int nSource, INPUT_STATUS eStatus) = 0;

protected:
    ~CInputEvents() = default;
};
