#pragma once
// Resource, control and command IDs of the launcher (handover.rc).
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_HANDOVER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_UPGRADE 1000

// System-menu command of the about entry; the low four bits belong to the system.
#define IDM_ABOUTBOX 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
