/* The resource ids of the Windows program, shared by its resource script and its code. */
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_UPDATER 103
#define IDR_MAINFRAME 128
#define IDM_ABOUTBOX 0x10

#define IDC_MIDI_IN 1000
#define IDC_MIDI_OUT 1001
#define IDC_PROGRESS 1002
#define IDC_STATUS 1003
#define IDC_RESCAN 1004
#define IDC_PICTURE 1005
#define IDC_STEP 1006
#define IDC_ABOUT_TEXT 1003
#define IDC_ABOUT_SET 1007
