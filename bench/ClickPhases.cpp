#include "bench/ClickPhases.h"

#include <cstdio>
#include <cstring>

#include "sim/audio/Operations.h"
#include "sim/machine/Instrument.h"
#include "sim/platform/LockWaits.h"

namespace bench {

ClickPhases::ClickPhases(sim::audio::AudioService& service, HWND box)
    : m_service(service), m_box(box), m_pageThread(::GetWindowThreadProcessId(box, nullptr)) {
    s_self = this;
    m_hook = ::SetWindowsHookExW(WH_GETMESSAGE, &ClickPhases::OnMessage, nullptr, m_pageThread);
    // The stamps stop at the click's write: the page thread goes on to read what it wrote.
    m_service.SetCallObserver([this](const char* operation) {
        if (::GetCurrentThreadId() != m_pageThread || m_buttonUpAt.load() == 0 || m_wrote.load()) {
            return;
        }
        m_calls.fetch_add(1);
        if (std::strcmp(operation, sim::audio::op::WriteEndpointProperty) == 0) {
            m_atWrite.Set(ThisThreadTimes());
            m_writeCalledAt.store(UnixNanoseconds());
            m_wrote.store(true);
        }
    });
}

ClickPhases::~ClickPhases() {
    m_service.SetCallObserver(nullptr);
    if (m_hook) {
        ::UnhookWindowsHookEx(m_hook);
    }
    s_self = nullptr;
}

void ClickPhases::Begin() {
    m_atClick.Set(m_lastMessage.Get());
    m_buttonUpAt.store(0);
    m_writeCalledAt.store(0);
    m_calls.store(0);
    m_wrote.store(false);
}

ThreadTimes ClickPhases::InInput() const {
    if (m_atClick.Get().onCpu == 0) {
        return {-1, -1, -1};
    }
    return Between(m_atClick, m_atButtonUp);
}
ThreadTimes ClickPhases::InWork() const { return Between(m_atButtonUp, m_atWrite); }

LRESULT CALLBACK ClickPhases::OnMessage(int code, WPARAM removed, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    ClickPhases* self = s_self;
    if (code == HC_ACTION && removed == PM_REMOVE && self) {
        ThreadTimes now = ThisThreadTimes();
        self->m_lastMessage.Set(now);
        if (msg->hwnd == self->m_box && msg->message == WM_LBUTTONUP &&
            self->m_buttonUpAt.load() == 0) {
            self->m_atButtonUp.Set(now);
            self->m_buttonUpAt.store(UnixNanoseconds());
        }
    }
    return ::CallNextHookEx(nullptr, code, removed, lParam);
}

// The kernel's counts come from its scheduler statistics for the thread, which Wine's drive Z:
// shows as they are: "time on a CPU, time waiting to run, slices".
ThreadTimes ThisThreadTimes() {
    ThreadTimes times;
    times.waitingForLocks = sim::lock_waits::Of(::GetCurrentThreadId());
    if (FILE* file = std::fopen("Z:\\proc\\thread-self\\schedstat", "r")) {
        long long onCpu = 0, waiting = 0;
        if (std::fscanf(file, "%lld %lld", &onCpu, &waiting) == 2) {
            times.onCpu = onCpu;
            times.waitingForCpu = waiting;
        }
        std::fclose(file);
    }
    return times;
}

void ClickPhases::Stamp::Set(const ThreadTimes& times) {
    onCpu.store(times.onCpu);
    waitingForCpu.store(times.waitingForCpu);
    waitingForLocks.store(times.waitingForLocks);
}

ThreadTimes ClickPhases::Stamp::Get() const {
    return {onCpu.load(), waitingForCpu.load(), waitingForLocks.load()};
}

ThreadTimes ClickPhases::Between(const Stamp& from, const Stamp& to) {
    ThreadTimes a = from.Get(), b = to.Get();
    return {b.onCpu - a.onCpu, b.waitingForCpu - a.waitingForCpu,
            b.waitingForLocks - a.waitingForLocks};
}

}  // namespace bench
