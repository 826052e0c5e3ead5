#pragma once

#include <windows.h>

#include <cstdio>
#include <ostream>

// An HRESULT that gtest prints in hex: EXPECT_EQ(Hr(E_FAIL), Hr(result)).
struct Hr {
    HRESULT value;
    explicit Hr(HRESULT hr) : value(hr) {}
    bool operator==(const Hr& other) const { return value == other.value; }
};

inline std::ostream& operator<<(std::ostream& out, const Hr& hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr.value));
    return out << text;
}
