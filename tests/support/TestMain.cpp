// The main of every test program: the thread joins the multithreaded apartment first (the
// simulated service's class objects are registered there, as the program's own thread joins
// it), and the malloc spy watches CoTaskMem from before the first test.
#include <objbase.h>

#include <gmock/gmock.h>

#include "sim/audio/MallocSpy.h"

int main(int argc, char** argv) {
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    sim::audio::InstallMallocSpy();
    testing::InitGoogleMock(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (SUCCEEDED(init)) {
        CoUninitialize();
    }
    return result;
}
