#pragma once

#include <unknwn.h>

#include <memory>

// Holds one COM reference and releases it when it goes out of scope. Release() drops it early
// where the order of releases matters.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    CComPtr(CComPtr&& other) noexcept : m_p(other.Detach()) {}
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != std::addressof(other)) {
            Release();
            m_p = other.Detach();
        }
        return *this;
    }
    ~CComPtr() { Release(); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out-parameters: drops the reference held so far, then lends the slot.
    T** operator&() {
        Release();
        return &m_p;
    }

    void Release() {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

    void Attach(T* p) {
        Release();
        m_p = p;
    }

    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

    template <class Q>
    HRESULT QueryInterface(REFIID iid, Q** out) const {
        *out = nullptr;
        if (!m_p) {
            return E_POINTER;
        }
        return m_p->QueryInterface(iid, reinterpret_cast<void**>(out));
    }

private:
    T* m_p = nullptr;
};
