#pragma once

// Resource and command identifiers shared by the resource script and the code.
#define IDS_APP_TITLE 103
#define IDD_ABOUTBOX 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDI_VOLTWREN 107
#define IDI_SMALL 108
#define IDC_VOLTWREN 109
#define IDI_ABOUT 128

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
