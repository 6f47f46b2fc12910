#pragma once
// Resource and control IDs of the upgrade tool (nibflash.rc).
#define IDR_APP_ICON 128
#define IDD_UPGRADE_DIALOG 102
#define IDC_START 1001
#define IDC_DBG 1002
#define IDC_DBG_BT 1003
#define IDC_PROGRESS 1004
#define IDC_STATUS 1005
