#pragma once
#include <windows.h>

#include <utility>

// Owns one kernel handle and closes it exactly once.
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_h(std::exchange(other.m_h, nullptr)) {}
    CHandle& operator=(CHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_h = std::exchange(other.m_h, nullptr);
        }
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr)
    {
        Close();
        m_h = h;
    }
    void Close()
    {
        if (IsValid())
            CloseHandle(m_h);
        m_h = nullptr;
    }

private:
    HANDLE m_h = nullptr;
};

// An unnamed automatic-reset event, not signalled at first.
class CAutoEvent {
public:
    CAutoEvent() : m_h(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    HANDLE Get() const { return m_h.Get(); }
    void Signal() { SetEvent(m_h.Get()); }

private:
    CHandle m_h;
};
