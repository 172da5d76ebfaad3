#pragma once
#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { InitializeCriticalSection(&m_Section); }
    ~CCriticalSection() { DeleteCriticalSection(&m_Section); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&m_Section); }
    void Leave() { LeaveCriticalSection(&m_Section); }

private:
    CRITICAL_SECTION m_Section;
};

// Holds a critical section for the life of the object.
class CCriticalSectionLock {
public:
    explicit CCriticalSectionLock(CCriticalSection& section) : m_Section(section) { m_Section.Enter(); }
    ~CCriticalSectionLock() { m_Section.Leave(); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CCriticalSection& m_Section;
};
