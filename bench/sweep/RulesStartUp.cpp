// Start-up and shutdown as the model follows them: the probe, the notification client's
// registration, the FX store's opening, the page, the script's steps, and the unregistration.
#include "bench/sweep/RulesModel.h"

namespace sweep {

void RulesModel::StartUp() {
    Enter(Part::StartUp, 0);
    if (!Probe(&m_endpointId)) {
        return;
    }
    // Without a client the page never refreshes on changes; start-up goes on all the same.
    if (Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, "the registration's enumerator"))) {
        m_client = Ok(Call("IMMDeviceEnumerator::RegisterEndpointNotificationCallback", false,
                           "the notification client's registration"));
    }
    if (!OpenFxStore(m_endpointId)) {
        Shutdown();
        return;
    }
    m_plan.sheetShown = true;
    const sim::machine::EndpointState* endpoint = Endpoint(m_endpointId);
    for (const auto& entry : endpoint->properties) {
        m_stores[0].emplace_back(entry.key, entry.value);
    }
    for (const auto& entry : endpoint->fx) {
        m_stores[1].emplace_back(entry.key, entry.value);
    }
    StartPage();
    const std::vector<ScriptStep>& script = Script();
    for (size_t i = 0; i < script.size(); ++i) {
        Enter(Part::Step, i);
        Do(script[i]);
        Refresh();
    }
}

// Enumerator, device, version, accessor, store; every failure on the way ends start-up.
bool RulesModel::OpenFxStore(const std::wstring& endpointId) {
    const std::string who = "the FX store's opening";
    if (!Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, who + ": its enumerator"))) {
        EndStartUp("the FX store cannot be opened without an enumerator");
        return false;
    }
    if (!Ok(Call("IMMDeviceEnumerator::GetDevice", true, who + ": the endpoint's device")) ||
        !Endpoint(endpointId)) {
        EndStartUp("the FX store cannot be opened without the endpoint's device");
        return false;
    }
    bool vista = false;
    if (!WindowsGeneration(who, &vista)) {
        EndStartUp("the FX store is opened only on Windows 6.0 and 6.1");
        return false;
    }
    if (!Ok(Call("IMMDevice::QueryInterface(FxStoreAccess)", false, who + ": the accessor"))) {
        EndStartUp("the FX store cannot be opened without its accessor");
        return false;
    }
    Answer opened = Call("FxStoreAccess::OpenFxStore", true, who);
    if (opened == Answer::Failure) {
        EndStartUp("a failed opening of the FX store ends start-up");
        return false;
    }
    if (opened == Answer::Unusable && Takes(Departure::StoreWithoutHandleFails)) {
        EndStartUp(TextOf(Departure::StoreWithoutHandleFails).followed);
        return false;
    }
    m_store = opened == Answer::Ordinary;
    return true;
}

// The version on each call; a failed query is asked again with the plain structure, and Windows
// 8's answer (the unusable one) is no version the program works on.
bool RulesModel::WindowsGeneration(const std::string& who, bool* vista) {
    DWORD major = m_machine.windowsMajor, minor = m_machine.windowsMinor;
    Answer asked = Call("GetVersionExW", true, who + ": the Windows version");
    if (asked == Answer::Failure) {
        asked = Call("GetVersionExW", true, who + ": the Windows version, plain structure");
    }
    if (asked == Answer::Failure) {
        return false;
    }
    if (asked == Answer::Unusable) {
        major = 6;
        minor = 2;
    }
    *vista = minor == 0;
    return major == 6 && minor <= 1;
}

void RulesModel::Shutdown() {
    if (Takes(Departure::UnregisteredThroughItsEnumerator)) {
        if (m_client) {
            Call("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback", false,
                 "the client's unregistration");
        }
    } else if (Ok(Call("CoCreateInstance(MMDeviceEnumerator)", false, "shutdown's enumerator"))) {
        Call("IMMDeviceEnumerator::UnregisterEndpointNotificationCallback", false,
             "the client's unregistration");
    }
}

}  // namespace sweep
