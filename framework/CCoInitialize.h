#pragma once

#include <objbase.h>

// A CoInitializeEx bracket: the matching CoUninitialize is made only when the initialisation
// succeeded (S_OK or S_FALSE). On a thread already in the other apartment model the call answers
// RPC_E_CHANGED_MODE and the thread keeps the COM it had.
class CCoInitialize {
public:
    explicit CCoInitialize(DWORD model) : m_hr(CoInitializeEx(nullptr, model)) {}
    CCoInitialize(const CCoInitialize&) = delete;
    CCoInitialize& operator=(const CCoInitialize&) = delete;
    ~CCoInitialize() {
        if (m_hr == S_OK || m_hr == S_FALSE) {
            CoUninitialize();
        }
    }

    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};
