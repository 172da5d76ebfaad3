#pragma once
#include <utility>

// Owns one reference to a COM interface and releases it exactly once.
template <class T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() { Reset(); }
    CComRef(CComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComRef& operator=(CComRef&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For a call that hands out a new reference; drops the one held.
    T** Out()
    {
        Reset();
        return &m_p;
    }
    void Reset()
    {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};
