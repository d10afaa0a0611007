/*
 * The wizard's page machinery: creating and linking the pages, hiding the
 * page controls, the state of the Back and Next buttons, and the moves from
 * page to page.
 */
#include <windows.h>

#include "usbcheck.h"

HWND g_hWizard = NULL;
WizardPage *g_pPages[PAGE_COUNT] = {};
WizardPage *g_pCurrentPage = NULL;

/* The controls that pages show, in the order in which they are hidden. The
 * frame, the picture and the two buttons stay visible, and the scratch list
 * of the uninstallation is never shown. */
static const int s_pageControls[] = {
    IDC_OPTION_TEST, IDC_OPTION_DELETE, IDC_OPTION_PURGE, IDC_OPTION_UNINSTALL, IDC_PAGE_TEXT, IDC_PAGE_LIST,
};

/* A new page has no links until Link runs. */
WizardPage::WizardPage() : m_pPrevious(NULL), m_pNext(NULL)
{
}

/* Sets the page before and the page after this one. */
void WizardPage::SetLinks(WizardPage *pPrevious, WizardPage *pNext)
{
    m_pPrevious = pPrevious;
    m_pNext = pNext;
}

/* What Next does on most pages: move on to the next page. */
void WizardPage::Next()
{
    MoveToPage(m_pNext);
}

/* A new page object of the given kind; NULL when it cannot be allocated
 * (the Windows build's new answers NULL then). */
static WizardPage *NewPage(int index)
{
    switch (index) {
    case PAGE_OPTIONS: return new OptionsPage;
    case PAGE_TEST_SELECT: return new TestSelectPage;
    case PAGE_TEST_RUN: return new TestRunPage;
    case PAGE_DELETE_SELECT: return new DeleteSelectPage;
    case PAGE_DELETE_RUN: return new DeleteRunPage;
    case PAGE_PURGE_INFO: return new PurgeInfoPage;
    case PAGE_PURGE_RUN: return new PurgeRunPage;
    case PAGE_UNINSTALL_SELECT: return new UninstallSelectPage;
    case PAGE_UNINSTALL_RUN: return new UninstallRunPage;
    default: return NULL;
    }
}

/* Creates the nine pages in their fixed order. They live as long as the
 * program; a dialog run again in the same program reuses them. FALSE when
 * a page could not be allocated: the wizard cannot run without all of them
 * (a later run creates only the missing ones). */
BOOL CreatePages(void)
{
    BOOL complete = TRUE;
    for (int i = 0; i < PAGE_COUNT; i++) {
        if (g_pPages[i] == NULL)
            g_pPages[i] = NewPage(i);
        if (g_pPages[i] == NULL)
            complete = FALSE;
    }
    return complete;
}

/* Links every page, in creation order, now that all the pages exist. */
void LinkPages(void)
{
    for (int i = 0; i < PAGE_COUNT; i++)
        g_pPages[i]->Link();
}

/* Hides every control that a page may show and disables Back and Next, so
 * that the page about to be shown starts from a clean area. */
void HideAllPageControls(void)
{
    for (size_t i = 0; i < sizeof(s_pageControls) / sizeof(s_pageControls[0]); i++)
        ShowWindow(GetDlgItem(g_hWizard, s_pageControls[i]), SW_HIDE);
    EnableWindow(GetDlgItem(g_hWizard, IDC_BACK), FALSE);
    EnableWindow(GetDlgItem(g_hWizard, IDC_NEXT), FALSE);
}

/* Enables Back when the page has a page before it and Next when it has a
 * page after it. */
void UpdateNavButtons(const WizardPage *pPage)
{
    EnableWindow(GetDlgItem(g_hWizard, IDC_BACK), pPage->m_pPrevious != NULL);
    EnableWindow(GetDlgItem(g_hWizard, IDC_NEXT), pPage->m_pNext != NULL);
}

/* Makes a page the one displayed: clears the page area, then lets the page
 * show itself (a result page does its work while showing). No page means
 * there is nowhere to go, and nothing changes. */
void MoveToPage(WizardPage *pPage)
{
    if (pPage == NULL)
        return;

    HideAllPageControls();
    g_pCurrentPage = pPage;
    pPage->Show();
}

/* The Back button: back to the page before the one displayed. */
void GoBack(void)
{
    if (g_pCurrentPage != NULL)
        MoveToPage(g_pCurrentPage->m_pPrevious);
}

/* The Next button: whatever the displayed page does for Next. */
void GoNext(void)
{
    if (g_pCurrentPage != NULL)
        g_pCurrentPage->Next();
}

/* Sets the page text and shows it. */
void ShowPageText(LPCSTR text)
{
    SetDlgItemTextA(g_hWizard, IDC_PAGE_TEXT, text);
    ShowWindow(GetDlgItem(g_hWizard, IDC_PAGE_TEXT), SW_SHOWNORMAL);
}

/* Shows the list of the select pages. */
void ShowPageList(void)
{
    ShowWindow(GetDlgItem(g_hWizard, IDC_PAGE_LIST), SW_SHOWNORMAL);
}
