/*
 * Resource IDs of the troubleshooting wizard: its dialog, the controls of
 * the dialog, the string table and the bitmap. Shared by the program and by
 * the resource script, so it holds plain definitions only.
 */
#ifndef USBCHECK_RESOURCE_H
#define USBCHECK_RESOURCE_H

/* The wizard dialog. */
#define IDD_WIZARD 151

/* Caption of the start-up failure message. */
#define IDS_ERROR_CAPTION 6678

/* Picture in the bottom-left corner of the wizard. */
#define IDB_LOGO 133

/* Controls of the wizard dialog. */
#define IDC_STATIC -1
#define IDC_PAGE_LIST 1029
#define IDC_SCRATCH_LIST 1030
#define IDC_OPTION_TEST 1047
#define IDC_OPTION_PURGE 1048
#define IDC_BACK 1078
#define IDC_NEXT 1079
#define IDC_OPTION_UNINSTALL 1080
#define IDC_FRAME 1081
#define IDC_PAGE_TEXT 1084
#define IDC_OPTION_DELETE 1088

#endif
