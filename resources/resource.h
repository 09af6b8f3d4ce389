// Resource and control IDs of the program, shared by the resource script and
// the code. Plain #defines so that the resource compiler reads them too.
#pragma once

// Dialog templates, icon and strings.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KROFILELIST_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_AVIPROGRESS 129

// System-menu command that opens the About box (the low four bits of system
// commands are reserved, so handlers compare with the mask 0xFFF0).
#define IDM_ABOUTBOX 0x0010

// Main dialog, per column Event / Normal / Park / Photo.
#define IDC_SAVE_EVENT 1000
#define IDC_EVENT_LIST 1001
#define IDC_NORMAL_LIST 1002
#define IDC_PARK_LIST 1003
#define IDC_PHOTO_LIST 1004
#define IDC_SAVE_NORMAL 1005
#define IDC_SAVE_PARK 1006
#define IDC_SAVE_PHOTO 1007
#define IDC_RELOAD 1008
#define IDC_EVENT_BOX 1009
#define IDC_NORMAL_BOX 1010
#define IDC_PARK_BOX 1011
#define IDC_PHOTO_BOX 1012
#define IDC_CHECK_ALL_EVENT 1015
#define IDC_CHECK_ALL_NORMAL 1016
#define IDC_CHECK_ALL_PARK 1017
#define IDC_BACKUP_EVENT 1018
#define IDC_BACKUP_NORMAL 1019
#define IDC_BACKUP_PARK 1020
#define IDC_BACKUP_PHOTO 1021
#define IDC_CHECK_ALL_PHOTO 1022
#define IDC_EVENT_SUMMARY 1023
#define IDC_NORMAL_SUMMARY 1024
#define IDC_PARK_SUMMARY 1026
#define IDC_PHOTO_SUMMARY 1028

// Progress dialog.
#define IDC_PROGRESS_FILES 1013
#define IDC_PROGRESS_STEP 1014
#define IDC_PROGRESS_TEXT 1025
