// Resource ids of Halvo Setting.
#pragma once

#define IDM_ABOUTBOX 0x0010  // system-menu command

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_SOUND_ROOM 102
#define IDR_MAINFRAME 128
#define IDB_LOGO 130

#define IDC_BYPASS 1000
#define IDC_SOUND_SPACE_EXPANDER 1001
#define IDC_HEADPHONE 1002
#define IDC_NATURAL_BASS 1003
#define IDC_BASS_BOOST_VALUE 1004
#define IDC_BASS_BOOST 1005
#define IDC_LOGO 1006
