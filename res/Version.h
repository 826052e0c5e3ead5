// The program's version, written once: the version resource and the manifest are built from it,
// and the release's file names are read back from the version resource of the built program.
// The installer is newer than another only by one of the first three numbers: Windows Installer
// compares no more (res/installer/HalvoSetting.wxs).
#pragma once

#define HALVO_VERSION_MAJOR 1
#define HALVO_VERSION_MINOR 0
#define HALVO_VERSION_PATCH 0
#define HALVO_VERSION_BUILD 1

// "1.0.0.1", spelled from the numbers above.
#define HALVO_VERSION_TEXT_(parts) #parts
#define HALVO_VERSION_TEXT_OF(parts) HALVO_VERSION_TEXT_(parts)
#define HALVO_VERSION_TEXT \
    HALVO_VERSION_TEXT_OF( \
        HALVO_VERSION_MAJOR.HALVO_VERSION_MINOR.HALVO_VERSION_PATCH.HALVO_VERSION_BUILD)
