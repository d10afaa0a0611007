/*
 * Program start of the USB troubleshooting wizard, its dialog procedure and
 * the handling of the dialog's commands.
 */
#include <windows.h>

#include "usbcheck.h"

HINSTANCE g_hInstance = NULL;

/* Program entry: runs the wizard dialog and reports a dialog that cannot be
 * created. The program always ends with 0. */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd)
{
    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)nShowCmd;

    g_hInstance = hInstance;
    if (DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_WIZARD), NULL, WizardDialogProc, 0) == -1) {
        char caption[ERROR_CAPTION_SIZE];
        caption[0] = '\0';
        if (LoadStringA(hInstance, IDS_ERROR_CAPTION, caption, (int)sizeof(caption)) <= 0)
            caption[0] = '\0';
        caption[sizeof(caption) - 1] = '\0';
        MessageBoxA(NULL, "Unable to create root dialog!", caption, MB_ICONERROR);
    }
    return 0;
}

/* Dialog procedure of the wizard. It answers FALSE to every message, so the
 * system keeps its default handling (and focus) throughout. */
INT_PTR CALLBACK WizardDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;

    switch (message) {
    case WM_INITDIALOG:
        InitWizard(hDlg);
        break;
    case WM_COMMAND:
        OnCommand(hDlg, LOWORD(wParam), HIWORD(wParam));
        break;
    default:
        break;
    }
    return FALSE;
}

/* Sets the wizard up: checks the Windows version (which ends the dialog on
 * an unsupported system), creates and links the pages (a page that cannot
 * be allocated ends the dialog too), shows the options
 * page and selects its first option. */
void InitWizard(HWND hDlg)
{
    g_hWizard = hDlg;
    g_pCurrentPage = NULL;

    if (!CheckWindowsVersion(hDlg))
        return;

    if (!CreatePages()) {
        EndDialog(hDlg, 0);
        return;
    }
    LinkPages();

    g_pCurrentPage = g_pPages[PAGE_OPTIONS];
    g_pCurrentPage->Show();
    CheckDlgButton(hDlg, IDC_OPTION_TEST, BST_CHECKED);
}

/* Handles a command of the dialog: the close commands end it, Back and Next
 * walk the pages, and opening the page list refills it from its source. */
void OnCommand(HWND hDlg, WORD id, WORD notification)
{
    switch (id) {
    case IDOK:
    case IDCANCEL:
    case IDCLOSE:
        EndDialog(hDlg, 0);
        break;
    case IDC_PAGE_LIST:
        if (notification == CBN_DROPDOWN)
            RefillPageList(hDlg);
        break;
    case IDC_BACK:
        GoBack();
        break;
    case IDC_NEXT:
        GoNext();
        break;
    default:
        break;
    }
}

/* Fills the page list again from the source of the select page displayed,
 * so that an opened list shows what is there now; on other pages the list
 * is not in use and stays as it is. */
void RefillPageList(HWND hDlg)
{
    if (g_pCurrentPage == NULL)
        return;

    if (g_pCurrentPage == g_pPages[PAGE_TEST_SELECT])
        FillDeviceList(hDlg, IDC_PAGE_LIST);
    else if (g_pCurrentPage == g_pPages[PAGE_DELETE_SELECT])
        FillPortList(hDlg, IDC_PAGE_LIST);
    else if (g_pCurrentPage == g_pPages[PAGE_UNINSTALL_SELECT])
        FillModelList(hDlg, IDC_PAGE_LIST);
}
