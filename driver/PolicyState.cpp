#include "driver/PolicyState.h"

#include <cstring>

#include "driver/DriverControls.h"
#include "driver/DriverQuery.h"
#include "driver/FrontPanelJacks.h"
#include "driver/FrontPanelSwitch.h"
#include "driver/HDAudDevice.h"
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
