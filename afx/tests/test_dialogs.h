#pragma once
// IDs of the test resources (test_dialogs.rc).
#define IDD_TEST_DIALOG 200
#define IDD_PLAIN_DIALOG 201
#define IDD_MISSING_DIALOG 299
#define IDR_TEST_ICON 128
#define IDS_GREETING 300
#define IDS_UNICODE 301
#define IDC_T_START 1001
#define IDC_T_HIDDEN 1002
#define IDC_T_OTHER 1003
#define IDC_T_PROGRESS 1004
#define IDC_T_STATUS 1005
#define IDC_T_FIRST 1101
#define IDC_T_SECOND 1102
