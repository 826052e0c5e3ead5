#pragma once

#include <string>
#include <vector>

// Collects the lines the program sends with OutputDebugStringW while the object lives, from any
// thread, as the text arrives (in the ANSI code page under Wine, where the wide call is
// converted first).
class ScopedDebugCapture {
public:
    ScopedDebugCapture();
    ScopedDebugCapture(const ScopedDebugCapture&) = delete;
    ScopedDebugCapture& operator=(const ScopedDebugCapture&) = delete;
    ~ScopedDebugCapture();

    std::vector<std::string> Lines() const;

private:
    void* m_handler;
};
