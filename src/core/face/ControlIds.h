// The ids of the status window's controls and menu commands, one table for
// both windows (the Qt window's widgets carry the control names as object
// names), and of the Windows program's other resources. The Windows
// resource script reads this file too: macros only.
#pragma once

#define IDD_OSTRANA 100
#define IDD_ABOUT 101
#define IDR_INFO_MENU 136
#define ID_MUTE 137
#define ID_INFORMATION 138
#define ID_ABOUT 139
#define ID_OPEN_LOG 150  // added to the menu at run time
#define IDC_ABOUT_NAME 1004
#define IDC_ABOUT_VERSION 1005
#define IDC_ABOUT_LEGAL1 1006
#define IDC_ABOUT_LEGAL2 1007
#define IDC_PORT_STATUS 1010
#define IDC_INFO 1011
#define IDC_CONNECTION_STATUS 1012
#define IDC_EDIT_PORT 1013
#define IDC_PORT 1014
#define IDC_MACHINE_NOTICE 1015  // empty unless the DNC component is missing
#define IDS_INFORMATION_PAGE 1040
