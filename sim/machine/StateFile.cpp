#include "sim/machine/StateFile.h"

#include <vector>

namespace sim::machine {
namespace {

// One lock per file, shared by every process that opens it.
std::wstring LockName(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    unsigned long long hash = 1469598103934665603ULL;
    for (const wchar_t* c = full; *c; ++c) {
        hash = (hash ^ towlower(*c)) * 1099511628211ULL;
    }
    return L"Local\\HalvoSimState-" + std::to_wstring(hash);
}

class CLockHold {
public:
    explicit CLockHold(HANDLE lock) : m_lock(lock) { WaitForSingleObject(m_lock, INFINITE); }
    ~CLockHold() { ReleaseMutex(m_lock); }

private:
    HANDLE m_lock;
};

std::wstring Folder(const std::wstring& path) {
    wchar_t full[MAX_PATH] = {};
    wchar_t* name = nullptr;
    GetFullPathNameW(path.c_str(), MAX_PATH, full, &name);
    if (name) {
        *name = L'\0';
    }
    return full;
}

}  // namespace

StateFile::StateFile(std::wstring path)
    : m_path(std::move(path)), m_lock(CreateMutexW(nullptr, FALSE, LockName(m_path).c_str())) {}

StateFile::~StateFile() {
    if (m_lock) {
        CloseHandle(m_lock);
    }
}

bool StateFile::Read(MachineState* state, std::string* error) {
    HANDLE file = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            *state = DefaultMachine();
            return Write(*state, error);
        }
        *error = "cannot open the state file";
        return false;
    }
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(file);
    return FromJson(text, state, error);
}

bool StateFile::Write(const MachineState& state, std::string* error) {
    std::string text = ToJson(state);
    std::wstring temporary = m_path + L".new" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot write beside the state file";
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok || !MoveFileExW(temporary.c_str(), m_path.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        *error = "cannot replace the state file";
        return false;
    }
    return true;
}

bool StateFile::Load(MachineState* state, std::string* error) {
    CLockHold hold(m_lock);
    return Read(state, error);
}

bool StateFile::Update(const std::function<bool(MachineState&)>& change, std::string* error) {
    CLockHold hold(m_lock);
    MachineState state;
    if (!Read(&state, error)) {
        return false;
    }
    if (!change(state)) {
        *error = error->empty() ? "the change does not apply" : *error;
        return false;
    }
    return Write(state, error);
}

bool StateFile::Save(const MachineState& state, std::string* error) {
    CLockHold hold(m_lock);
    return Write(state, error);
}

StateWatcher::StateWatcher(const std::wstring& path, std::function<void()> changed)
    : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    std::wstring folder = Folder(path);
    m_thread = std::thread([this, folder, changed = std::move(changed)] {
        HANDLE change = FindFirstChangeNotificationW(
            folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_FILE_NAME);
        if (change == INVALID_HANDLE_VALUE) {
            return;
        }
        HANDLE waits[2] = {m_stop, change};
        while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            changed();
            if (!FindNextChangeNotification(change)) {
                break;
            }
        }
        FindCloseChangeNotification(change);
    });
}

StateWatcher::~StateWatcher() {
    SetEvent(m_stop);
    if (m_thread.joinable()) {
        m_thread.join();
    }
    CloseHandle(m_stop);
}

}  // namespace sim::machine
