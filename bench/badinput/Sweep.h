#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// What every kind of the bad-input sweep shares: the options, the random source and the tally of
// inputs that ran and passed.
namespace badinput {

struct SweepOptions {
    uint64_t seed;
    size_t count;  // inputs per kind
};

class Random {
public:
    explicit Random(uint64_t seed) : m_engine(seed) {}
    // A whole number in [low, high].
    uint64_t Between(uint64_t low, uint64_t high) {
        return std::uniform_int_distribution<uint64_t>(low, high)(m_engine);
    }
    bool OneIn(uint64_t n) { return Between(1, n) == 1; }
    uint32_t Word() { return static_cast<uint32_t>(m_engine()); }
    uint8_t Byte() { return static_cast<uint8_t>(m_engine()); }
    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& b : bytes) {
            b = Byte();
        }
        return bytes;
    }
    // Picks one of the items.
    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[Between(0, items.size() - 1)];
    }

private:
    std::mt19937_64 m_engine;
};

// The inputs of one kind: how many ran, how many gave the defined outcome, and the first few
// that did not, printed as they happen.
class Tally {
public:
    explicit Tally(std::string name) : m_name(std::move(name)) {}

    void Pass() {
        ++m_ran;
        ++m_passed;
    }
    void Fail(const std::string& why);
    // Passes or fails the input by its list of mismatches.
    void Judge(const std::vector<std::string>& mismatches);

    // What the kind left behind once all its inputs ran, of one sort of thing it looked for
    // (`looked`, in the plural: "CoTaskMem blocks", "handles"), with a description where the
    // count alone does not say it; counted in the second figure, even when it is 0.
    void LeftBehind(const char* looked, size_t count, const std::string& what = "");

    // Prints the figures: inputs passed against the count asked for, and what was left behind,
    // with what was looked for. A kind that looked for nothing has its second figure "not
    // measured". True when every input ran and passed and nothing was left.
    bool Report(size_t target) const;
    size_t Ran() const { return m_ran; }
    size_t Failed() const { return m_ran - m_passed; }

private:
    std::string m_name;
    size_t m_ran = 0;
    size_t m_passed = 0;
    size_t m_leftBehind = 0;
    std::vector<std::string> m_looked;
};

// What the process holds that any kind may leave behind where no stand-in sees it: the CoTaskMem
// blocks alive and the handles open, taken when made and compared by LeftBehindSince. The
// threads' runtime makes an event for a lock of its own the first time two threads meet on it,
// and keeps it: a kind that starts and stops the audio service's threads may see that event
// appear by chance, so it looks for blocks only.
class ProcessHoldings {
public:
    enum class Looks { ForBlocksAndHandles, ForBlocksOnly };
    explicit ProcessHoldings(Looks looks = Looks::ForBlocksAndHandles);
    // Counts into the tally what is held now beyond what was held when this was made.
    void LeftBehindSince(Tally& tally) const;

private:
    size_t m_blocks;
    long m_handles;  // bench::kHandlesNotCounted when handles are not looked for
};

// Points HKEY_CURRENT_USER of this process at a fresh key of its own while it lives, so that the
// switch values written here never meet the tests that run beside the sweep, and removes that
// key again.
class ScopedPrivateCurrentUser {
public:
    ScopedPrivateCurrentUser();
    ScopedPrivateCurrentUser(const ScopedPrivateCurrentUser&) = delete;
    ScopedPrivateCurrentUser& operator=(const ScopedPrivateCurrentUser&) = delete;
    ~ScopedPrivateCurrentUser();
    bool Ok() const { return m_key != nullptr; }

private:
    std::wstring m_path;
    void* m_key = nullptr;  // an HKEY
};

// What runs now, for the report of a fault.
void SetCurrentInput(const char* kind, size_t index);

// Printable forms for mismatch lines.
std::string Hex(uint64_t value);
std::string Narrow(const std::wstring& text, size_t limit = 48);

}  // namespace badinput
