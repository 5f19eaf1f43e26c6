// The resource ids of the Windows program, shared by ostrana.rc and the code.
#pragma once

#define IDD_OSTRANA 100
#define IDD_ABOUT 101
#define IDR_INFO_MENU 136
#define ID_MUTE 137
#define ID_INFORMATION 138
#define ID_ABOUT 139
#define IDC_ABOUT_NAME 1004
#define IDC_ABOUT_VERSION 1005
#define IDC_ABOUT_LEGAL1 1006
#define IDC_ABOUT_LEGAL2 1007
#define IDC_PORT_STATUS 1010
#define IDC_INFO 1011
#define IDC_CONNECTION_STATUS 1012
#define IDC_EDIT_PORT 1013
#define IDC_PORT 1014
#define IDS_INFORMATION_PAGE 1040
