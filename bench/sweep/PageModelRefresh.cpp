#include "bench/sweep/PageModel.h"

#include <mmdeviceapi.h>

#include "sim/machine/EffectKeys.h"

namespace keys = sim::keys;

namespace sweep {

using sim::audio::Store;

// The page reads what changed once the step is over: the bypass value, then the three words
// it shows.
void PageModel::Refresh() {
    int due = m_refresh;
    m_refresh = 0;
    if (!m_client || !due) {
        return;
    }
    if (due & kBypass) {
        RefreshBypass();
    }
    if (due & kEffects) {
        RefreshEffects();
    }
}

void PageModel::RefreshBypass() {
    Read(Store::Fx, PKEY_AudioEndpoint_Disable_SysFx);
    UpdateControls();
}

// A word whose read fails keeps its record; with `storedOnly`, so does one the store does not hold.
void PageModel::RefreshEffects(bool storedOnly) {
    auto taken = [storedOnly](const Reading& reading) {
        return reading.outcome != Reading::Failed && (!storedOnly || reading.HoldsWord());
    };
    Reading headphone = Read(Store::Fx, keys::Headphone);
    if (taken(headphone)) {
        rules::Unpack(headphone.Payload(), &m_headphone);
        m_headphoneHeld = headphone.HoldsInteger();
    }
    Reading expander = Read(Store::Fx, keys::SoundSpaceExpander);
    if (taken(expander)) {
        rules::Unpack(expander.Payload(), &m_expander);
    }
    Reading naturalBass = Read(Store::Fx, keys::NaturalBass);
    if (taken(naturalBass)) {
        rules::Unpack(naturalBass.Payload(), &m_naturalBass);
        m_naturalBassHeld = naturalBass.HoldsInteger();
    }
    UpdateControls();
}

}  // namespace sweep
