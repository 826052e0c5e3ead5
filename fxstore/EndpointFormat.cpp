#include "fxstore/EndpointFormat.h"

#include <mmreg.h>

#include <algorithm>
#include <cstring>

#include "framework/CCoInitialize.h"
#include "fxstore/EndpointDevice.h"
#include "fxstore/FxPropertyStore.h"
#include "framework/PropVariantPayload.h"

namespace {

// KSDATAFORMAT_SUBTYPE_PCM, {00000001-0000-0010-8000-00AA00389B71}.
constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr DWORD kFrontLeftAndRight = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;

constexpr WORD kExtensibleTail = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);  // 22

HRESULT WriteSpeakerMask(IMMDevice* device, const PROPERTYKEY& key) {
    CPropVariant mask;
    mask.SetUInt32(kFrontLeftAndRight);
    return SetEndpointPropertyValue(device, key, mask.Get());
}

}  // namespace

int GetEndpointFormFactor(LPCWSTR endpointId) {
    int formFactor = UnknownFormFactor;
    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
    if (SUCCEEDED(OpenEndpointDevice(endpointId, enumerator, device))) {
        CPropVariant value;
        ULONG payload = 0;
        if (SUCCEEDED(ReadDeviceProperty(device.Get(), PKEY_AudioEndpoint_FormFactor, value)) &&
            GetPropVariantPayload32(*value.Get(), &payload)) {
            formFactor = static_cast<int>(payload);
        }
    }
    return formFactor;
}

HRESULT GetEndpointDeviceFormat(LPCWSTR endpointId, DWORD* sampleRate, WORD* validBits) {
    if (!sampleRate || !validBits) {
        return E_POINTER;
    }
    *sampleRate = 0;
    *validBits = 0;

    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
    HRESULT hr = OpenEndpointDevice(endpointId, enumerator, device);
    if (FAILED(hr)) {
        return hr;
    }
    CPropVariant value;
    hr = ReadDeviceProperty(device.Get(), PKEY_AudioEngine_DeviceFormat, value);
    if (FAILED(hr)) {
        return hr;
    }
    // Only a whole WAVEFORMATEXTENSIBLE counts; anything shorter reports 0 Hz and 0 bits, which
    // makes the caller force the format.
    const BLOB& blob = value->blob;
    if (value->vt == VT_BLOB && blob.pBlobData && blob.cbSize >= sizeof(WAVEFORMATEXTENSIBLE)) {
        std::memcpy(sampleRate, blob.pBlobData + offsetof(WAVEFORMATEX, nSamplesPerSec),
                    sizeof(DWORD));
        std::memcpy(validBits, blob.pBlobData + sizeof(WAVEFORMATEX), sizeof(WORD));
    }
    return hr;
}

BOOL ForceStereo48kFormat(LPCWSTR endpointId) {
    // Declared first so that the device and the enumerator are released before COM is left.
    CCoInitialize apartment(COINIT_APARTMENTTHREADED);

    CComPtr<IMMDeviceEnumerator> enumerator;
    CComPtr<IMMDevice> device;
    if (FAILED(OpenEndpointDevice(endpointId, enumerator, device))) {
        return FALSE;
    }

    WAVEFORMATEXTENSIBLE format = {};
    {
        CPropVariant value;
        if (FAILED(ReadDeviceProperty(device.Get(), PKEY_AudioEngine_DeviceFormat, value))) {
            return FALSE;
        }
        if (value->vt != VT_BLOB) {
            return TRUE;
        }
        if (value->blob.pBlobData) {
            std::memcpy(&format, value->blob.pBlobData,
                        std::min<size_t>(value->blob.cbSize, sizeof format));
        }
    }

    if (format.Format.wFormatTag == WAVE_FORMAT_DOLBY_AC3_SPDIF) {
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.SubFormat = kSubtypePcm;
        format.Format.cbSize = kExtensibleTail;
    }
    // The service reads cbSize bytes past the header, and only 22 of them are ours.
    format.Format.cbSize = std::min(format.Format.cbSize, kExtensibleTail);

    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = 48000;
    format.Format.nAvgBytesPerSec = 384000;
    format.Format.nBlockAlign = 8;
    format.Format.wBitsPerSample = 32;
    format.Samples.wValidBitsPerSample = 24;
    format.dwChannelMask = kFrontLeftAndRight;
    if (FAILED(SetEndpointDeviceFormat(device.Get(), &format.Format))) {
        return FALSE;
    }

    CPropVariant formFactor;
    if (FAILED(ReadDeviceProperty(device.Get(), PKEY_AudioEndpoint_FormFactor, formFactor))) {
        return FALSE;
    }
    ULONG payload = 0;
    GetPropVariantPayload32(*formFactor.Get(), &payload);
    if (payload != Speakers) {
        return TRUE;
    }
    WriteSpeakerMask(device.Get(), PKEY_AudioEndpoint_PhysicalSpeakers);
    return SUCCEEDED(WriteSpeakerMask(device.Get(), PKEY_AudioEndpoint_FullRangeSpeakers));
}
