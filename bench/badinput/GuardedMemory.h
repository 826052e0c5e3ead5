#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <string>

// Memory placed so that its last byte is the last byte of a committed page and the page after it
// is reserved but never committed: a read or a write one byte past the end faults at once.
namespace badinput {

// A placed region of `size` bytes (0 is allowed: the pointer is then the guard page itself).
// Returns the first byte and the allocation base to release, or null when no memory is left.
void* PlaceAtPageEnd(size_t size, void** base);
void ReleasePlaced(void* base);

// One placed buffer for the life of the object.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t size) : m_size(size) { m_data = PlaceAtPageEnd(size, &m_base); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    ~GuardedBuffer() { ReleasePlaced(m_base); }

    void* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    template <typename T>
    T* As() const {
        return static_cast<T*>(m_data);
    }

private:
    size_t m_size;
    void* m_base = nullptr;
    void* m_data = nullptr;
};

// A copy of a text whose terminator is the last unit before the guard page.
class GuardedText {
public:
    explicit GuardedText(const std::wstring& text) : m_buffer((text.size() + 1) * sizeof(wchar_t)) {
        std::memcpy(m_buffer.Data(), text.c_str(), m_buffer.Size());
    }
    const WCHAR* Get() const { return m_buffer.As<WCHAR>(); }

private:
    GuardedBuffer m_buffer;
};

}  // namespace badinput
