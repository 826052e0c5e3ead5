#include "sim/driver/CodecDriver.h"

#include <algorithm>
#include <mutex>
#include <cstring>

#include "sim/driver/CodecDriverState.h"

namespace sim::driver {
namespace {

std::vector<BYTE> Bytes(const void* data, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(p, p + size);
}

}  // namespace

ScopedCodecDriver::ScopedCodecDriver() : m_state(std::make_unique<State>()) {
    // A codec that never switches the speakers to headphones and has the effects installed.
    SetPolicyState(0);
    SetJackStatus(0);
    SetEffectSupport(0x8);
    SetRetasking(1, 1);
    SetChipRetasking(3, 3);
    InstallStandInCalls(m_state.get());
}

ScopedCodecDriver::~ScopedCodecDriver() {
    RemoveStandInCalls();
}

void ScopedCodecDriver::AddInterface(const std::wstring& devicePath) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->interfaces.push_back(devicePath);
}

void ScopedCodecDriver::ClearInterfaces() {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->interfaces.clear();
}

void ScopedCodecDriver::SetAnswer(DWORD code, const std::vector<BYTE>& bytes,
                                  std::optional<DWORD> reported) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->answers[code] = Answer{bytes, reported.value_or(static_cast<DWORD>(bytes.size()))};
}

void ScopedCodecDriver::SetPolicyState(DWORD policyState) {
    std::vector<BYTE> answer(128, 0);
    std::memcpy(answer.data() + 16, &policyState, sizeof policyState);
    SetAnswer(control::Policy, answer);
}

void ScopedCodecDriver::SetJackStatus(WORD jack) {
    SetAnswer(control::JackStatus, Bytes(&jack, 2));
}

void ScopedCodecDriver::SetEffectSupport(DWORD mask) {
    SetAnswer(control::EffectSupport, Bytes(&mask, 4));
}

void ScopedCodecDriver::SetRetasking(DWORD port1Mode, DWORD port2Mode) {
    DWORD ports[2] = {port1Mode, port2Mode};
    SetAnswer(control::Retasking, Bytes(ports, sizeof ports));
}

void ScopedCodecDriver::SetChipRetasking(DWORD port1Mode, DWORD port2Mode) {
    DWORD ports[2] = {port1Mode, port2Mode};
    SetAnswer(control::ChipRetasking, Bytes(ports, sizeof ports));
}

void ScopedCodecDriver::Fail(Step step, DWORD error, int nth) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->failures.push_back({step, std::nullopt, error, nth, 0});
}

void ScopedCodecDriver::FailControl(DWORD code, DWORD error, int nth) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->failures.push_back({Step::Control, code, error, nth, 0});
}

void ScopedCodecDriver::SetSizeAnswer(SizeAnswer answer) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->sizeAnswer = answer;
}

int ScopedCodecDriver::OpenHandles() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(m_state->handles.size());
}

int ScopedCodecDriver::LiveDeviceInfoSets() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(m_state->sets.size());
}

const std::vector<std::string>& ScopedCodecDriver::Calls() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->calls;
}

int ScopedCodecDriver::Count(const std::string& call) const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return static_cast<int>(std::count(m_state->calls.begin(), m_state->calls.end(), call));
}

const ScopedCodecDriver::OpenArguments& ScopedCodecDriver::LastOpen() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->lastOpen;
}

DWORD ScopedCodecDriver::LastClassDevsFlags() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->lastClassDevsFlags;
}

DWORD ScopedCodecDriver::LastOutputSize(DWORD code) const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    auto found = m_state->outputSizes.find(code);
    return found == m_state->outputSizes.end() ? 0 : found->second;
}

std::string ScopedCodecDriver::Leftovers() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    if (!m_state->handles.empty()) {
        add(std::to_string(m_state->handles.size()) + " device handle(s) open");
    }
    if (!m_state->sets.empty()) {
        add(std::to_string(m_state->sets.size()) + " device-information set(s) alive");
    }
    for (const std::string& call : m_state->unexpected) {
        add(call);
    }
    return text;
}

}  // namespace sim::driver
