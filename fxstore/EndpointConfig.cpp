#include "fxstore/EndpointConfig.h"

HRESULT CEndpointConfig::Create() {
    AudioServiceGeneration generation;
    if (FAILED(GetAudioServiceGeneration(&generation))) {
        return E_FAIL;
    }
    if (generation == AudioServiceGeneration::Vista) {
        return CoCreateInstance(CLSID_AudioEndpointConfigVista, nullptr, CLSCTX_ALL,
                                IID_IAudioEndpointConfigVista, reinterpret_cast<void**>(&m_vista));
    }
    return CoCreateInstance(CLSID_AudioEndpointConfig7, nullptr, CLSCTX_ALL,
                            IID_IAudioEndpointConfig7, reinterpret_cast<void**>(&m_windows7));
}

HRESULT CEndpointConfig::WriteEndpointProperty(LPCWSTR endpointId, int fxStore,
                                               const PROPERTYKEY& key, PROPVARIANT* value) {
    if (m_vista) {
        return m_vista->WriteEndpointProperty(endpointId, fxStore, key, value);
    }
    if (m_windows7) {
        return m_windows7->WriteEndpointProperty(endpointId, fxStore, key, value);
    }
    return E_UNEXPECTED;
}

HRESULT CEndpointConfig::WriteEndpointFormat(LPCWSTR endpointId, WAVEFORMATEX* deviceFormat) {
    if (m_vista) {
        return m_vista->WriteEndpointFormat(endpointId, deviceFormat, nullptr);
    }
    if (m_windows7) {
        return m_windows7->WriteEndpointFormat(endpointId, deviceFormat, nullptr);
    }
    return E_UNEXPECTED;
}
