#pragma once

#include <string>
#include <vector>

// Where the program departs on purpose from its written rules, or makes a choice the rules leave
// to it, and the model follows it. Each is named here with the written rule beside it and the
// reason; a departure not named here is no departure but a fault, and the sweep fails the runs it
// shows in.
namespace sweep {

enum class Departure {
    UnreadableMarkerLoads,
    SelectorStaysOnAnUnreadWord,
    CommandsBuildOnAWord,
    WordsReadOnceListed,
    RefreshesGathered,
    UnregisteredThroughItsEnumerator,
    FailedDeleteStepsPast,
    StoreWithoutHandleFails,
    EmptyIdIsWritten,
};

struct DepartureText {
    Departure departure;
    const char* name;
    const char* writtenRule;
    const char* followed;
    const char* reason;
};

const std::vector<DepartureText>& Departures();
const DepartureText& TextOf(Departure departure);

}  // namespace sweep
