#pragma once
// IDs of the test resources (test_dialogs.rc).
#define IDD_TEST_DIALOG 200
#define IDC_T_START 1001
#define IDC_T_HIDDEN 1002
#define IDC_T_OTHER 1003
