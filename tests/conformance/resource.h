// The conformance suite's dialog.
#define IDD_CHECKS 100
#define IDC_RADIO1 1001
#define IDC_RADIO2 1002
#define IDC_RADIO3 1003
#define IDC_OTHER 1004
#define IDC_LIST 1005
#define IDC_PUSH 1006
#define IDC_TEXT 1007
