#pragma once

#include <windows.h>
#include <setupapi.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim::driver {

// The driver's private interface class, {5b2e0c71-3a94-4f16-b8d3-0e7c91a4f258}.
inline constexpr GUID kInterfaceClass = {
    0x5b2e0c71, 0x3a94, 0x4f16, {0xb8, 0xd3, 0x0e, 0x7c, 0x91, 0xa4, 0xf2, 0x58}};

// The driver's I/O control codes, as the driver defines them. Tests name a control by these.
namespace control {
inline constexpr DWORD Policy = 0x001D6004;
inline constexpr DWORD JackStatus = 0x001D6038;
inline constexpr DWORD EffectSupport = 0x001D6070;
inline constexpr DWORD Retasking = 0x001D608C;
inline constexpr DWORD ChipRetasking = 0x001D60C8;
}  // namespace control

// The steps of discovery and querying that a test can make fail.
enum class Step {
    CreateSpareSet,       // SetupDiCreateDeviceInfoList
    GetClassDevs,         // SetupDiGetClassDevsW
    EnumInterfaces,       // SetupDiEnumDeviceInterfaces
    SizeQuery,            // SetupDiGetDeviceInterfaceDetailW without an output block
    DetailCall,           // SetupDiGetDeviceInterfaceDetailW with the block
    DeleteInterfaceData,  // SetupDiDeleteDeviceInterfaceData
    Open,                 // CreateFileW on a device path
    Control,              // DeviceIoControl (any control, or one code with FailControl)
    Close,                // CloseHandle; the handle is closed all the same
    DestroySet,           // SetupDiDestroyDeviceInfoList; the set is gone all the same
};

// How the size query answers when it does not fail.
enum class SizeAnswer {
    InsufficientBuffer,  // FALSE with ERROR_INSUFFICIENT_BUFFER and the size, as Windows does
    Success,             // TRUE with the size
    ZeroSize,            // FALSE with ERROR_INSUFFICIENT_BUFFER and a size of 0
    TinySize,            // FALSE with ERROR_INSUFFICIENT_BUFFER and 2 bytes, too few for a block
    // FALSE with ERROR_INSUFFICIENT_BUFFER and a size that leaves out the path's terminator; the
    // detail call then fills the block with the path and no terminator.
    NoTerminator,
};

// A stand-in for the codec driver and the device-setup calls that find it, put in place of
// Win32's through the platform seam while the object lives. It holds the present interfaces of
// the private class with their device paths, the driver's answer to each control, failures on
// demand, and an account of every call, open handle and device-information set.
class ScopedCodecDriver {
public:
    ScopedCodecDriver();
    ScopedCodecDriver(const ScopedCodecDriver&) = delete;
    ScopedCodecDriver& operator=(const ScopedCodecDriver&) = delete;
    ~ScopedCodecDriver();

    // Present interfaces, in enumeration order; a path may be any text.
    void AddInterface(const std::wstring& devicePath);
    void ClearInterfaces();

    // The driver's answers. Each control writes its bytes (as many as fit the output) and reports
    // `reported` bytes returned, by default as many as it wrote.
    void SetAnswer(DWORD code, const std::vector<BYTE>& bytes,
                   std::optional<DWORD> reported = std::nullopt);
    void SetPolicyState(DWORD policyState);  // a whole 128-byte answer
    void SetJackStatus(WORD jack);
    void SetEffectSupport(DWORD mask);
    void SetRetasking(DWORD port1Mode, DWORD port2Mode);
    void SetChipRetasking(DWORD port1Mode, DWORD port2Mode);

    // The nth call of the step from now on (counting from 1), or every call when nth is 0, fails
    // with the error. FailControl fails only that control.
    void Fail(Step step, DWORD error = ERROR_GEN_FAILURE, int nth = 0);
    void FailControl(DWORD code, DWORD error = ERROR_GEN_FAILURE, int nth = 0);
    void SetSizeAnswer(SizeAnswer answer);

    // The account.
    int OpenHandles() const;
    int LiveDeviceInfoSets() const;
    // Every call, in order: "CreateFileW", "DeviceIoControl 0x001D6004", ...
    const std::vector<std::string>& Calls() const;
    int Count(const std::string& call) const;
    // The last CreateFileW's arguments.
    struct OpenArguments {
        std::wstring path;
        DWORD access, shareMode, creation, flags;
        bool security, templateFile;
    };
    const OpenArguments& LastOpen() const;
    // The flags of the last SetupDiGetClassDevsW.
    DWORD LastClassDevsFlags() const;
    // The output size the last call of a control offered; 0 if it was never sent.
    DWORD LastOutputSize(DWORD code) const;
    // "" when no handle is open, no set is alive and no call was out of place; else what is.
    std::string Leftovers() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

}  // namespace sim::driver
