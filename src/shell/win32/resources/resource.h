// Resource ids of the Windows program. Read by the resource compiler and by the
// C++ code; the menu command ids are the shell's command ids (checked where the
// main window is built).
#pragma once

#define IDR_MAIN_MENU 101
#define IDD_SIGN_IN 104
#define IDI_FLINGPOST 105
#define IDD_HTML_CODES 106
#define IDD_BBCODES 107

// Sign-in dialog.
#define IDC_USERNAME 1001
#define IDC_PASSWORD 1002
#define IDC_AUTO_LOGIN 1005

// Link-code viewers.
#define IDC_CODES 1001
#define IDC_CLOSE 1003
#define IDC_COPY 1004

// Menu commands.
#define ID_FILE_EXIT 40002
#define ID_FILE_LOGIN 40003
#define ID_HELP_ABOUT 40005
#define ID_OPTIONS_DISABLE_PROMPT 40006
#define ID_LINKCODES_VIEW_HTML 40007
#define ID_LINKCODES_VIEW_BBCODE 40008
#define ID_LINKCODES_CLEAR 40009
#define ID_THUMB_100 40011
#define ID_THUMB_200 40012
#define ID_THUMB_300 40013
#define ID_THUMB_400 40014

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
