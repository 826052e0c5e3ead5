#include "bench/sweep/PageModel.h"

#include <mmdeviceapi.h>

#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;
using sim::audio::Value;
using sim::audio::WriteOrigin;

namespace {

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return a.pid == b.pid && IsEqualGUID(a.fmtid, b.fmtid);
}

}  // namespace

const Value* PageModel::Stored(Store store, const PROPERTYKEY& key) {
    for (auto& [storedKey, value] : StoreOf(store)) {
        if (SameKey(storedKey, key)) {
            return &value;
        }
    }
    return nullptr;
}

// A read through the FX store handle, or through a device's property store (enumerator,
// device, store, read). A null device is a failure; an unusable store or value holds nothing.
Reading PageModel::Read(Store store, const PROPERTYKEY& key) {
    std::string text = KeyText(key);
    if (std::optional<Link> link = Hit(Purpose::Read, text, ++m_reads[text])) {
        bool nothing = Unusable() && (*link == Link::OpenStore || *link == Link::GetValue);
        return {nothing ? Reading::Empty : Reading::Failed, Value()};
    }
    const Value* value = Stored(store, key);
    return value ? Reading{Reading::Found, *value} : Reading{Reading::Empty, Value()};
}

// A write through the configuration object (device id, version, object, write) or, for the
// marker, through the FX store handle. Returns whether the service took it.
bool PageModel::Write(Store store, const PROPERTYKEY& key, const Value& value, bool throughHandle) {
    bool format = SameKey(key, PKEY_AudioEngine_DeviceFormat);
    std::string text = format ? kFormatWrite : KeyText(key);
    WriteOrigin origin = throughHandle ? WriteOrigin::FxStoreHandle
                         : m_vista     ? WriteOrigin::ConfigVista
                                       : WriteOrigin::Config7;
    int slot = throughHandle ? 6 : format ? (m_vista ? 5 : 6) : (m_vista ? 11 : 12);
    bool accepted = true;
    if (std::optional<Link> link = Hit(Purpose::Write, text, ++m_writes[text])) {
        switch (*link) {
            case Link::Version:
                // A failed query is asked again with the plain structure; Windows 8's
                // answer is no version the program writes for.
                if (!Unusable()) {
                    break;
                }
                return false;
            case Link::DeviceId:
                // An empty id reaches the service, which knows no such endpoint.
                if (!Unusable()) {
                    return false;
                }
                accepted = false;
                break;
            case Link::Write: accepted = false; break;
            default: return false;
        }
    }
    m_plan.parts.back().push_back({store, key, value, origin, slot, accepted});
    if (accepted) {
        Put(store, key, value);
    }
    return accepted;
}

void PageModel::Put(Store store, const PROPERTYKEY& key, const Value& value) {
    for (auto& [storedKey, stored] : StoreOf(store)) {
        if (SameKey(storedKey, key)) {
            stored = value;
            MarkRefresh(key);
            return;
        }
    }
    StoreOf(store).emplace_back(key, value);
    MarkRefresh(key);
}

void PageModel::MarkRefresh(const PROPERTYKEY& key) {
    const GUID& set = key.fmtid;
    if (IsEqualGUID(set, keys::Headphone.fmtid) ||
        IsEqualGUID(set, keys::SoundSpaceExpander.fmtid) ||
        IsEqualGUID(set, keys::NaturalBass.fmtid)) {
        m_refresh |= kEffects;
    } else if (IsEqualGUID(set, PKEY_AudioEndpoint_FormFactor.fmtid)) {
        m_refresh |= kBypass;
    }
}

// A word written by the page's device id; nothing without the device.
void PageModel::WriteWord(const PROPERTYKEY& key, DWORD word) {
    if (m_device) {
        Write(Store::Fx, key, Value::UInt32(word));
    }
}

}  // namespace sweep
