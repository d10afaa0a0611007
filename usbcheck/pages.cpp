/*
 * The nine wizard pages: their links, what each one shows, and the work that
 * the four result pages do while they are shown.
 */
#include <windows.h>

#include "usbcheck.h"

/* ---- Texts -------------------------------------------------------------- */

/* The options, top to bottom, with the page that Next opens for each. */
static const struct {
    LPCSTR text;
    int controlId;
    WizardPageIndex target;
} s_options[] = {
    {"I want to test the communications with my USB printer", IDC_OPTION_TEST, PAGE_TEST_SELECT},
    {"I want to delete an unused USB port", IDC_OPTION_DELETE, PAGE_DELETE_SELECT},
    {"After connecting my USB printer, I cancelled the PnP installation and now I can't trigger it again",
     IDC_OPTION_PURGE, PAGE_PURGE_INFO},
    {"I want to uninstall my OV Sorrelink USB communication files", IDC_OPTION_UNINSTALL, PAGE_UNINSTALL_SELECT},
};

/* Instructions of the select and info pages; leading line feeds place the
 * shorter texts lower in the page area. */
static const char s_testSelectText[] =
    "\n\n- Make sure that your printer is connected to the computer,\n\n"
    "- Select your printer's port from the list bellow,\n\n"
    "- And then press the \"Next\"button to start the test";
static const char s_deleteSelectText[] =
    "\n\n\n- Select the port that you want to delete\n\n- Press the \"Next\" button bellow";
static const char s_purgeInfoText[] =
    "\n\n\n\nTo fix this problem you have to purge the registry\nand plug in your USB printer again";
static const char s_uninstallSelectText[] =
    "This option will uninstall the USB communication drivers.\n"
    "Select your printer in the list bellow and then\n"
    "click \"Next\" to proceed.\n\n"
    "If you want to upgrade to a newer version\n"
    "of the USB files, after the uninstallation you have to\n"
    "plug the printer in again and browse for the new files\n"
    "instead of the ones in the installation CD.";

/* What the result pages say while working and afterwards. */
static const char s_testWorking[] = "\n\n\n\n\nExecuting test, please wait...";
static const char s_testSucceeded[] = "\n\n\n\n\nTest successful !";
static const char s_testFailed[] = "\n\n\n\n\nTest failed !";
static const char s_deleteWorking[] = "\n\n\n\n\nDeleting port test...";
static const char s_deleteSucceeded[] = "\n\n\n\n\nPort deletion succeeded !";
static const char s_deleteFailed[] = "\n\n\n\n\nPort deletion failed !";
static const char s_purgeWorking[] = "\n\n\n\n\nCleaning...";
static const char s_purgeSucceeded[] = "\n\n\n\n\nCleaning successful !";
static const char s_uninstallWorking[] = "\n\n\n\n\nUninstalling USB files...";
static const char s_uninstallSucceeded[] = "\n\n\n\n\nUninstallation successful !";
static const char s_uninstallFailed[] = "\n\n\n\n\nUninstallation failed !";

/* ---- Common steps ------------------------------------------------------- */

/* Shows a select page: buttons, instructions, then the list filled by the
 * page's own fill function. */
static void ShowSelectPage(const WizardPage *pPage, LPCSTR text, void (*fill)(HWND, int))
{
    UpdateNavButtons(pPage);
    ShowPageText(text);
    fill(g_hWizard, IDC_PAGE_LIST);
    ShowPageList();
}

/* Ends a result page: its result text, then Back enabled and Next disabled. */
static void ShowResult(const WizardPage *pPage, LPCSTR text)
{
    SetDlgItemTextA(g_hWizard, IDC_PAGE_TEXT, text);
    UpdateNavButtons(pPage);
}

/* ---- OptionsPage -------------------------------------------------------- */

void OptionsPage::Link()
{
    SetLinks(NULL, g_pPages[PAGE_TEST_SELECT]);
}

/* Shows the four options. Their check marks are kept while they are hidden,
 * so coming back shows the last choice. */
void OptionsPage::Show()
{
    UpdateNavButtons(this);
    for (size_t i = 0; i < sizeof(s_options) / sizeof(s_options[0]); i++) {
        SetDlgItemTextA(g_hWizard, s_options[i].controlId, s_options[i].text);
        ShowWindow(GetDlgItem(g_hWizard, s_options[i].controlId), SW_SHOWNORMAL);
    }
}

/* Moves to the page of the first checked option, top to bottom; with none
 * checked the options are shown again. */
void OptionsPage::Next()
{
    HideAllPageControls();
    for (size_t i = 0; i < sizeof(s_options) / sizeof(s_options[0]); i++) {
        if (SendDlgItemMessageA(g_hWizard, s_options[i].controlId, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            MoveToPage(g_pPages[s_options[i].target]);
            return;
        }
    }
    MoveToPage(this);
}

/* ---- Communication test ------------------------------------------------- */

void TestSelectPage::Link()
{
    SetLinks(g_pPages[PAGE_OPTIONS], g_pPages[PAGE_TEST_RUN]);
}

/* Lists the printers that are present now. */
void TestSelectPage::Show()
{
    ShowSelectPage(this, s_testSelectText, FillDeviceList);
}

void TestRunPage::Link()
{
    SetLinks(g_pPages[PAGE_TEST_SELECT], NULL);
}

/* Tests the printer chosen in the list, which is only hidden. */
void TestRunPage::Show()
{
    ShowPageText(s_testWorking);
    BOOL succeeded = RunCommunicationTest(g_hWizard);
    ShowResult(this, succeeded ? s_testSucceeded : s_testFailed);
}

/* ---- Port deletion ------------------------------------------------------ */

void DeleteSelectPage::Link()
{
    SetLinks(g_pPages[PAGE_OPTIONS], g_pPages[PAGE_DELETE_RUN]);
}

/* Lists the spooler's ports of the family. */
void DeleteSelectPage::Show()
{
    ShowSelectPage(this, s_deleteSelectText, FillPortList);
}

void DeleteRunPage::Link()
{
    SetLinks(g_pPages[PAGE_DELETE_SELECT], NULL);
}

/* Deletes the port chosen in the list (an empty list gives an empty name,
 * which the deletion refuses). */
void DeleteRunPage::Show()
{
    ShowPageText(s_deleteWorking);

    char portName[USBCHECK_TEXT_SIZE];
    portName[0] = '\0';
    GetDlgItemTextA(g_hWizard, IDC_PAGE_LIST, portName, sizeof(portName));
    portName[sizeof(portName) - 1] = '\0';

    BOOL succeeded = DeleteUsbPort(portName);
    ShowResult(this, succeeded ? s_deleteSucceeded : s_deleteFailed);
}

/* ---- Registry purge ----------------------------------------------------- */

void PurgeInfoPage::Link()
{
    SetLinks(g_pPages[PAGE_OPTIONS], g_pPages[PAGE_PURGE_RUN]);
}

/* Explains the purge; there is nothing to choose. */
void PurgeInfoPage::Show()
{
    UpdateNavButtons(this);
    ShowPageText(s_purgeInfoText);
}

/* Back from the purge leads to the options, not to the explanation. */
void PurgeRunPage::Link()
{
    SetLinks(g_pPages[PAGE_OPTIONS], NULL);
}

/* Purges the USB enumeration key; whatever the registry answers, the page
 * reports success. */
void PurgeRunPage::Show()
{
    ShowPageText(s_purgeWorking);
    PurgeUsbEnumKey();
    ShowResult(this, s_purgeSucceeded);
}

/* ---- Uninstallation ----------------------------------------------------- */

void UninstallSelectPage::Link()
{
    SetLinks(g_pPages[PAGE_OPTIONS], g_pPages[PAGE_UNINSTALL_RUN]);
}

/* Shows the model; the uninstallation does not depend on the choice. */
void UninstallSelectPage::Show()
{
    ShowSelectPage(this, s_uninstallSelectText, FillModelList);
}

/* Back from the uninstallation leads to the options. */
void UninstallRunPage::Link()
{
    SetLinks(g_pPages[PAGE_OPTIONS], NULL);
}

/* Uninstalls the USB communication files and keys of every port. */
void UninstallRunPage::Show()
{
    ShowPageText(s_uninstallWorking);
    BOOL succeeded = UninstallUsbFiles(g_hWizard);
    ShowResult(this, succeeded ? s_uninstallSucceeded : s_uninstallFailed);
}
