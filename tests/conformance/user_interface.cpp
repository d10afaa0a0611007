// Texts in Windows' order, windows and their messages, and a dialog from
// the resource script worked with the messages its controls answer.
#include <stdio.h>
#include <string.h>

#include "check.h"
#include "resource.h"

namespace conformance {

namespace {

int Sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

void TextOrder()
{
    const struct {
        const char *a;
        const char *b;
        int insensitive;  // lstrcmpiA
        int sensitive;    // lstrcmpA
    } pairs[] = {
        {"X_0", "X1", -1, -1},    // punctuation before digits
        {"X1", "X-2", -1, -1},    // the hyphen counts only as a tie-break
        {"9", "a", -1, -1},       // digits before letters
        {"~", "0", -1, -1},
        {"+", "0", -1, -1},
        {"coop", "co-op", -1, -1},
        {"co'op", "coop", 1, 1},
        {"B", "a", 1, 1},         // letters first, not bytes
        {"abc", "ABC", 0, -1},    // lower case before upper case
        {"ABC", "abd", -1, -1},
        {"USB/Sorrelink 640/X1", "usb/sorrelink 640/x1", 0, 1},
        {"e", "\xe9", -1, -1},    // e, e acute, f
        {"\xe9", "f", -1, -1},
        {"", "a", -1, -1},
    };
    for (const auto &p : pairs) {
        ok(Sign(lstrcmpiA(p.a, p.b)) == p.insensitive, "lstrcmpiA(\"%s\", \"%s\") = %d", p.a, p.b,
           lstrcmpiA(p.a, p.b));
        ok(Sign(lstrcmpiA(p.b, p.a)) == -p.insensitive, "lstrcmpiA(\"%s\", \"%s\") = %d", p.b, p.a,
           lstrcmpiA(p.b, p.a));
        ok(Sign(lstrcmpA(p.a, p.b)) == p.sensitive, "lstrcmpA(\"%s\", \"%s\") = %d", p.a, p.b, lstrcmpA(p.a, p.b));
    }
}

// ---- Windows and messages ----------------------------------------------------

struct WindowLog {
    int created = 0;
    int destroyed = 0;
    int user = 0;
    LPARAM createParam = 0;
};
WindowLog g_log;

LRESULT CALLBACK LoggingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        ++g_log.created;
        const CREATESTRUCTA *create = (const CREATESTRUCTA *)lParam;
        g_log.createParam = (LPARAM)create->lpCreateParams;
        return create->lpCreateParams == (LPVOID)-1 ? -1 : 0;
    }
    case WM_DESTROY:
        ++g_log.destroyed;
        PostQuitMessage(5);
        return 0;
    case WM_USER + 1:
        g_log.user = (int)wParam;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void WindowsAndMessages()
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = LoggingProc;
    windowClass.lpszClassName = "OvlConformanceWindow";
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    ok(RegisterClassA(&windowClass) != 0, "RegisterClassA");
    SetLastError(kSeed);
    ok(RegisterClassA(&windowClass) == 0 && GetLastError() == ERROR_CLASS_ALREADY_EXISTS, "registered twice: %lu",
       (unsigned long)GetLastError());

    HWND window = CreateWindowExA(0, "OvlConformanceWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                  (LPVOID)0x1234);
    ok(window != nullptr, "CreateWindowExA");
    ok(g_log.created == 1 && g_log.createParam == 0x1234, "WM_CREATE came inside the call, with its parameter");
    ok(FindWindowA("OvlConformanceWindow", nullptr) == window, "FindWindowA finds it by its class");
    ok(!CreateWindowExA(0, "OvlConformanceWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, (LPVOID)-1),
       "WM_CREATE answering -1 fails the creation");
    SetLastError(kSeed);
    ok(!CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), "an unknown class");
    // Windows 98 answers ERROR_CANNOT_FIND_WND_CLASS (1407); Wine 8, on either
    // version setting, the NT code ERROR_CLASS_DOES_NOT_EXIST (1411).
    if (wine_differs("Wine answers ERROR_CLASS_DOES_NOT_EXIST (1411) for a window of an unknown class"))
        ok(GetLastError() == 1411, "... ERROR_CLASS_DOES_NOT_EXIST: %lu", (unsigned long)GetLastError());
    else
        ok(GetLastError() == ERROR_CANNOT_FIND_WND_CLASS, "... ERROR_CANNOT_FIND_WND_CLASS: %lu",
           (unsigned long)GetLastError());

    MSG message;
    memset(&message, 0, sizeof message);
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    ok(!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE), "nothing waiting");
    ok(PostMessageA(window, WM_USER + 1, 77, 0), "PostMessageA");
    ok(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE) && message.message == WM_USER + 1, "it waits");
    ok(GetMessageA(&message, nullptr, 0, 0) == TRUE && message.hwnd == window, "GetMessageA takes it");
    DispatchMessageA(&message);
    ok(g_log.user == 77, "DispatchMessageA hands it to the window");

    ok(DestroyWindow(window), "DestroyWindow");
    ok(g_log.destroyed >= 1, "WM_DESTROY");
    ok(GetMessageA(&message, nullptr, 0, 0) == FALSE && message.message == WM_QUIT && message.wParam == 5,
       "the quit message ends the loop with its code: %u", (unsigned)message.wParam);
    ok(!DestroyWindow(window), "a window destroyed twice");
}

// ---- The dialog --------------------------------------------------------------

struct DialogLog {
    bool visibleInInit = true;
    bool controlVisibleInInit = true;
    LPARAM initParam = 0;
    int clicked = 0;
};
DialogLog g_dialog;

void RadioGroups(HWND dialog)
{
    ok(CheckDlgButton(dialog, IDC_RADIO1, BST_CHECKED), "CheckDlgButton");
    ok(CheckDlgButton(dialog, IDC_OTHER, BST_CHECKED), "CheckDlgButton, another group");
    SendDlgItemMessageA(dialog, IDC_RADIO2, BM_CLICK, 0, 0);
    ok(g_dialog.clicked == IDC_RADIO2, "the dialog heard BN_CLICKED: %d", g_dialog.clicked);
    ok(IsDlgButtonChecked(dialog, IDC_RADIO2) == BST_CHECKED, "the clicked one is checked");
    ok(IsDlgButtonChecked(dialog, IDC_RADIO1) == BST_UNCHECKED, "the others of its group are not");
    ok(IsDlgButtonChecked(dialog, IDC_OTHER) == BST_CHECKED, "another group keeps its own");
}

void Enabling(HWND dialog)
{
    HWND push = GetDlgItem(dialog, IDC_PUSH);
    ok(push != nullptr && IsWindowEnabled(push), "the button starts enabled");
    ok(!EnableWindow(push, FALSE), "EnableWindow answers FALSE: it was enabled");
    ok(!IsWindowEnabled(push), "now disabled");
    ok(EnableWindow(push, TRUE), "EnableWindow answers TRUE: it was disabled");
    ok(IsWindowEnabled(push), "enabled again");
    SetLastError(kSeed);
    ok(!GetDlgItem(dialog, 4242), "no such control");
}

void ComboBox(HWND dialog)
{
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETCOUNT, 0, 0) == 0, "empty");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETCURSEL, 0, 0) == CB_ERR, "no selection");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_ADDSTRING, 0, (LPARAM) "X1") == 0, "X1 at 0");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_ADDSTRING, 0, (LPARAM) "X-2") == 1, "X-2 after X1");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_ADDSTRING, 0, (LPARAM) "X_0") == 0, "X_0 before both");
    const char *order[] = {"X_0", "X1", "X-2"};
    for (int i = 0; i < 3; ++i) {
        char text[16];
        memset(text, 0x55, sizeof text);
        LRESULT length = SendDlgItemMessageA(dialog, IDC_LIST, CB_GETLBTEXT, i, (LPARAM)text);
        ok(length == (LRESULT)strlen(order[i]) && strcmp(text, order[i]) == 0, "entry %d: %s", i, text);
        ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETLBTEXTLEN, i, 0) == (LRESULT)strlen(order[i]), "length %d",
           i);
    }
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETLBTEXTLEN, 3, 0) == CB_ERR, "no entry 3");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_SETCURSEL, 5, 0) == CB_ERR, "selecting past the end");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_SETCURSEL, 2, 0) == 2, "select X-2");
    // The drop-down list's text is its selection: "X-2" needs 4 bytes.
    for (int size = 3; size <= 5; ++size) {
        char text[16];
        memset(text, 0x55, sizeof text);
        UINT length = GetDlgItemTextA(dialog, IDC_LIST, text, size);
        if (size < 4)
            ok(strcmp(text, "X-") == 0, "%d bytes: '%s'", size, text);
        else
            ok(length == 3 && strcmp(text, "X-2") == 0, "%d bytes: %u '%s'", size, length, text);
        ok((unsigned char)text[size] == 0x55, "nothing past %d bytes", size);
    }
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_DELETESTRING, 0, 0) == 2, "two left");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETCURSEL, 0, 0) == 1, "the selection moved with its entry");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_DELETESTRING, 7, 0) == CB_ERR, "no entry 7");
    SendDlgItemMessageA(dialog, IDC_LIST, CB_RESETCONTENT, 0, 0);
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETCOUNT, 0, 0) == 0, "emptied");
    ok(SendDlgItemMessageA(dialog, IDC_LIST, CB_GETCURSEL, 0, 0) == CB_ERR, "and nothing selected");
}

void Texts(HWND dialog)
{
    ok(SetDlgItemTextA(dialog, IDC_TEXT, "\n\nDone !"), "SetDlgItemTextA");
    char text[16];
    ok(GetDlgItemTextA(dialog, IDC_TEXT, text, sizeof text) == 8 && strcmp(text, "\n\nDone !") == 0, "read back");
}

INT_PTR CALLBACK ChecksDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        g_dialog.visibleInInit = IsWindowVisible(dialog) != FALSE;
        g_dialog.controlVisibleInInit = IsWindowVisible(GetDlgItem(dialog, IDC_PUSH)) != FALSE;
        g_dialog.initParam = lParam;
        RadioGroups(dialog);
        Enabling(dialog);
        ComboBox(dialog);
        Texts(dialog);
        EndDialog(dialog, 1234);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
        g_dialog.clicked = LOWORD(wParam);
    return FALSE;
}

}  // namespace

void TextOrderChecks()
{
    TextOrder();
}

void WindowChecks()
{
    WindowsAndMessages();
}

void DialogChecks()
{
    INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_CHECKS), nullptr, ChecksDialog, 42);
    ok(result == 1234, "DialogBoxParamA returns EndDialog's result: %ld", (long)result);
    ok(g_dialog.initParam == 42, "WM_INITDIALOG carries the parameter");
    ok(!g_dialog.visibleInInit, "the dialog is not visible before WM_INITDIALOG returns");
    ok(!g_dialog.controlVisibleInInit, "nor are its controls");
}

}  // namespace conformance
