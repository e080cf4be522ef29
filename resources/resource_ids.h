// Resource and control ids shared by the code and setup.rc.
#pragma once

#define IDR_PAYLOAD 144
// The payload's checksum record (payload/payload_checksum.h), of the same type.
#define IDR_PAYLOAD_CHECKSUM 145
#define IDI_SETUP 163
#define IDD_TARGET_FOLDER 167
#define IDD_WELCOME 168
#define IDD_CONFIRMATION 169
#define IDB_PAGE_BITMAP 179
#define IDD_PROGRESS 180

#define IDC_BACK 4
#define IDC_TARGET_EDIT 1000
#define IDC_BROWSE 1005
#define IDC_FREE_VALUE 1008
#define IDC_REQUIRED_VALUE 1009
#define IDC_FREE_LABEL 1010
#define IDC_TARGET_PATH 1011
#define IDC_PROGRESS_BAR 1012
#define IDC_PROGRESS_TEXT 1013
#define IDC_WELCOME_TEXT 1014
#define IDC_TARGET_TEXT 1015
#define IDC_CONFIRM_TEXT 1016
#define IDC_NONE -1

#ifndef RC_INVOKED
static const char PayloadResourceType[] = "TEMPLATE";
#endif
