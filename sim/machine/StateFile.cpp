#include "sim/machine/StateFile.h"

#include <vector>

namespace sim::machine {
namespace {

std::wstring FullPath(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(size);
    return full;
}

std::wstring Folder(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

// Holds the file's lock for a scope; an abandoned lock (its holder ended) is held all the same.
class CLockHold {
public:
    explicit CLockHold(HANDLE lock) : m_lock(lock) {
        DWORD wait = m_lock ? WaitForSingleObject(m_lock, INFINITE) : WAIT_FAILED;
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~CLockHold() {
        if (m_held) {
            ReleaseMutex(m_lock);
        }
    }
    bool Held() const { return m_held; }

private:
    HANDLE m_lock;
    bool m_held;
};

}  // namespace

// One lock per file, shared by every process that opens it.
std::wstring StateFile::LockName(const std::wstring& path) {
    std::wstring full = FullPath(path);
    unsigned long long hash = 1469598103934665603ULL;
    for (wchar_t c : full) {
        hash = (hash ^ towlower(c)) * 1099511628211ULL;
    }
    return L"Local\\HalvoSimState-" + std::to_wstring(hash);
}

StateFile::StateFile(const std::wstring& path)
    : m_path(FullPath(path)), m_lock(CreateMutexW(nullptr, FALSE, LockName(m_path).c_str())) {}

StateFile::~StateFile() {
    if (m_lock) {
        CloseHandle(m_lock);
    }
}

std::string StateFile::Named(const std::string& problem) const {
    return problem + ": " + Utf8(m_path);
}

bool StateFile::Exists() const {
    DWORD attributes = GetFileAttributesW(m_path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool StateFile::Usable(std::string* error, bool forWriting) const {
    if (!m_lock) {
        *error = Named("cannot make the state file's lock");
        return false;
    }
    DWORD folder = GetFileAttributesW(Folder(m_path).c_str());
    if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = Named("no such folder for the state file");
        return false;
    }
    DWORD attributes = GetFileAttributesW(m_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = Named("the state file is a folder");
        return false;
    }
    if (!forWriting) {
        return true;
    }
    // Every write goes through a new file beside the old one.
    std::wstring probe = m_path + L".probe" + std::to_wstring(GetCurrentProcessId());
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = Named("cannot write beside the state file");
        return false;
    }
    CloseHandle(file);
    return true;
}

bool StateFile::Read(MachineState* state, bool makeMissing, std::string* error) {
    HANDLE file = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            if (makeMissing) {
                *state = DefaultMachine();
                return Write(*state, error);
            }
            *error = Named("no state file");
            return false;
        }
        *error = Named("cannot open the state file");
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
        *error = Named("cannot write beside the state file");
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (!ok || !MoveFileExW(temporary.c_str(), m_path.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        *error = Named("cannot replace the state file");
        return false;
    }
    return true;
}

bool StateFile::Load(MachineState* state, std::string* error) {
    CLockHold hold(m_lock);
    if (!hold.Held()) {
        *error = Named("cannot take the state file's lock");
        return false;
    }
    return Read(state, false, error);
}

bool StateFile::LoadOrMake(MachineState* state, std::string* error) {
    CLockHold hold(m_lock);
    if (!hold.Held()) {
        *error = Named("cannot take the state file's lock");
        return false;
    }
    return Read(state, true, error);
}

bool StateFile::Update(const std::function<bool(MachineState&)>& change, std::string* error) {
    CLockHold hold(m_lock);
    if (!hold.Held()) {
        *error = Named("cannot take the state file's lock");
        return false;
    }
    MachineState state;
    if (!Read(&state, false, error)) {
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
    if (!hold.Held()) {
        *error = Named("cannot take the state file's lock");
        return false;
    }
    return Write(state, error);
}

StateWatcher::StateWatcher(const std::wstring& path, std::function<void()> changed)
    : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    std::wstring folder = Folder(FullPath(path));
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
