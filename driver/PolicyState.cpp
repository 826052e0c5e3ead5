#include "driver/PolicyState.h"

#include <cstring>

#include "driver/DriverControls.h"
#include "driver/DriverQuery.h"
#include "driver/FrontPanelSwitch.h"
#include "platform/Platform.h"

namespace {

// The policy field, or E_FAIL when the query failed.
HRESULT QueryPolicyState(const HDAudDeviceInfo& device, DWORD* policyState) {
    BYTE answer[HDAUD_POLICY_ANSWER_SIZE];
    DWORD returned = 0;
    if (!QueryHDAudDevice(&device, IOCTL_HDAUD_GET_POLICY, answer, sizeof answer, &returned,
                          L"GetHDAudPolicyState", L"IOCTL_HDAUD_GET_POLICY")) {
        return E_FAIL;
    }
    std::memcpy(policyState, answer + HDAUD_POLICY_STATE_OFFSET, sizeof *policyState);
    return S_OK;
}

// Raises the flag for each port whose mode is not the control's "not a headphone" value and
// whose jack holds a plug.
void RaiseForHeadphonePorts(const HDAudRetaskingAnswer& answer, DWORD notHeadphone, WORD jack,
                            BOOL* headphoneActive) {
    if (answer.port1Mode != notHeadphone && (jack & HDAUD_JACK_FRONT_PORT1)) {
        *headphoneActive = TRUE;
    }
    if (answer.port2Mode != notHeadphone && (jack & HDAUD_JACK_FRONT_PORT2)) {
        *headphoneActive = TRUE;
    }
}

// One retasking step: its control's port map, then the flag raised for each headphone port
// with a plug in its jack.
HRESULT AskRetasking(const HDAudDeviceInfo* device, DWORD code, const WCHAR* step,
                     const WCHAR* controlName, DWORD notHeadphone, WORD jack,
                     BOOL* headphoneActive) {
    HDAudRetaskingAnswer answer = {};
    DWORD returned = 0;
    if (!QueryHDAudDevice(device, code, &answer, sizeof answer, &returned, step, controlName)) {
        return E_FAIL;
    }
    RaiseForHeadphonePorts(answer, notHeadphone, jack, headphoneActive);
    return S_OK;
}

// The whole decision once the device is known.
HRESULT DecidePolicyState(const HDAudDeviceInfo& device, BOOL* headphoneActive) {
    DWORD policyState = 0;
    if (FAILED(QueryPolicyState(device, &policyState))) {
        return E_FAIL;
    }
    if (policyState == HDAUD_POLICY_SPEAKERS_ONLY) {
        return S_OK;
    }
    if (policyState != HDAUD_POLICY_FRONT_PANEL) {
        return E_FAIL;
    }
    WORD jack = GetHDAudioJackStatus(&device);
    HRESULT generic = GetHDFrontPanelRetasking(&device, jack, headphoneActive);
    HRESULT chip = GetRM4512S_FrontPanelRetasking(&device, jack, headphoneActive);
    if (FAILED(generic) && FAILED(chip)) {
        // With neither port map known, the first jack alone decides.
        *headphoneActive = (jack & HDAUD_JACK_FRONT_PORT1) ? TRUE : FALSE;
    }
    return S_OK;
}

}  // namespace

HRESULT GetHDAudPolicyState(BOOL* headphoneActive) {
    if (!headphoneActive) {
        return E_POINTER;
    }
    *headphoneActive = FALSE;
    if (!IsFrontPanelJackDetectEnabled()) {
        return S_OK;
    }

    HDEVINFO spareSet = platform::SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (spareSet == INVALID_HANDLE_VALUE) {
        return E_FAIL;
    }
    HDAudDeviceInfo device = {};
    HRESULT hr = FindHDAudDevice(&device, spareSet);
    if (SUCCEEDED(hr) && device.interfaceDetail) {
        hr = DecidePolicyState(device, headphoneActive);
    } else {
        hr = E_FAIL;
    }
    ReleaseHDAudDevice(&device);
    return hr;
}

WORD GetHDAudioJackStatus(const HDAudDeviceInfo* device) {
    WORD jack = 0;
    DWORD returned = 0;
    QueryHDAudDevice(device, IOCTL_HDAUD_GET_XAN_JACK_STATUS, &jack, sizeof jack, &returned,
                     L"GetHDAudioJackStatus", L"IOCTL_HDAUD_GET_XAN_JACK_STATUS");
    return jack;
}

HRESULT GetHDFrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack, BOOL* headphoneActive) {
    return AskRetasking(device, IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING, L"GetHDFrontPanelRetasking",
                        L"IOCTL_HDAUD_GET_FRONT_PANEL_RETASKING", HDAUD_RETASKING_NOT_HEADPHONE,
                        jack, headphoneActive);
}

HRESULT GetRM4512S_FrontPanelRetasking(const HDAudDeviceInfo* device, WORD jack,
                                       BOOL* headphoneActive) {
    return AskRetasking(device, IOCTL_HDAUD_GET_FP_RETASKING_RM4512S,
                        L"GetRM4512S_FrontPanelRetasking", L"IOCTL_HDAUD_GET_FP_RETASKING_RM4512S",
                        HDAUD_RM4512S_NOT_HEADPHONE, jack, headphoneActive);
}

DWORD GetHDAudEffectSupport(const HDAudDeviceInfo* device) {
    DWORD mask = 0;
    DWORD returned = 0;
    QueryHDAudDevice(device, IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS, &mask, sizeof mask,
                     &returned, L"GetInstalledSoundeffects",
                     L"IOCTL_HDAUD_GET_XAN_DRVSUPPORT3RDPRTEFTS");
    return mask;
}
