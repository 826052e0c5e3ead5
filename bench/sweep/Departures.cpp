#include "bench/sweep/Departures.h"

#include <algorithm>

namespace sweep {

const std::vector<DepartureText>& Departures() {
    static const std::vector<DepartureText> texts = {
        {Departure::UnreadableMarkerLoads, "an unreadable first-run marker loads the words",
         "a marker read that fails is a first run: the marker and the defaults are written",
         "the stored words are loaded; only a store with no marker, or one of another type, is "
         "met for the first time",
         "a passing read error must not put the defaults over a person's settings"},
        {Departure::SelectorStaysOnAnUnreadWord,
         "selector 1 stays beside a headphone word that cannot be read",
         "a headphone word that cannot be read counts as 0, off: selector 1 goes back to 2",
         "only a headphone word read as off (one that is not there included) sends it back; a "
         "failed read, or a value that holds no number, leaves it",
         "a read that failed says nothing of the effect, and writing on it changes a person's "
         "setting"},
        {Departure::CommandsBuildOnAWord, "a command builds on a word, never on nothing",
         "a command reads the word it changes, untested: a failed read, or a value that is no "
         "number, decodes as 0",
         "it builds on the stored word when that is an integer, else on the page's last reading "
         "when that was a word, else on the word's first-run default",
         "a word built on nothing wipes the word's other fields"},
        {Departure::WordsReadOnceListed, "the words are read again once the callback is listed",
         "the page loads its words, then lists its callback, and reads nothing more",
         "once listed it reads the three words it shows and the bypass value again, taking only "
         "words the store holds",
         "a change made between the load and the listing reached no one; a word the store does "
         "not hold must not hide a first run's defaults"},
        {Departure::RefreshesGathered, "changes are read together, once a step",
         "each notification posts a refresh, and each refresh reads its kind when it comes",
         "changes told while a refresh is on its way, or within the 10 ms rest after one, are "
         "read together: bypass, then the effects, then the jack",
         "a burst of outside changes would flood the page's queue and starve its input"},
        {Departure::UnregisteredThroughItsEnumerator,
         "the client is unregistered through the enumerator it was registered with",
         "shutdown makes a new enumerator and unregisters the client through it",
         "the registration's enumerator is kept for that, and a client whose registration "
         "failed is not unregistered",
         "an enumerator that cannot be made at the end would leave the client registered"},
        {Departure::FailedDeleteStepsPast,
         "a failed interface delete steps the enumeration past it",
         "the enumeration asks for member 0 each time, every examined interface being deleted; "
         "how it ends when a delete fails is left open",
         "after a failed delete it asks for the next member",
         "member 0 would be the same interface again, for ever"},
        {Departure::StoreWithoutHandleFails, "an FX store opened without a handle is a failure",
         "the accessor's OpenFxStore result is the open result",
         "success without a store ends start-up as a failure does",
         "the page would have no store to read its words from"},
        {Departure::EmptyIdIsWritten, "an empty device id is written with",
         "a writer that gets no id from the device writes nothing",
         "an id that is empty is still an id: the write goes to the service, which refuses it",
         "only the service knows which ids exist"},
    };
    return texts;
}

const DepartureText& TextOf(Departure departure) {
    const auto& texts = Departures();
    return *std::find_if(texts.begin(), texts.end(),
                         [&](const DepartureText& text) { return text.departure == departure; });
}

}  // namespace sweep
