/*
 * usbcheck98, the USB troubleshooting wizard of the Sorrelink printers.
 *
 * The program's whole user interface is one modal dialog whose pages are
 * walked with Back and Next. This header holds the program-wide state, the
 * wizard page classes and every operation of the program, so that all parts
 * of the program (and its tests) reach them by name.
 */
#ifndef USBCHECK_H
#define USBCHECK_H

#include <windows.h>

#include "ovlcommon.h"
#include "resource.h"

/* ---- Sizes -------------------------------------------------------------- */

/* Text buffers of the wizard: 259 characters and the terminating zero. */
#define USBCHECK_TEXT_SIZE 260

/* Caption buffer of the start-up failure message. */
#define ERROR_CAPTION_SIZE 1024

/* Product and SerialNumber values are read into buffers of this size. */
#define KEY_VALUE_TEXT_SIZE 256

/* A printer entry of the device list: the port name padded or cut to 128
 * columns, then at most 127 characters of device path (the path without its
 * first four characters), 255 characters at most in all. */
#define DEVICE_ENTRY_SIZE 256
#define DEVICE_NAME_COLUMNS 128
#define DEVICE_PATH_SKIP 4
#define DEVICE_PATH_TAIL_MAX 127

/* The communication test: 100 cycles of two device-ID requests, each with a
 * 384-byte block of which 256 bytes go each way. */
#define TEST_CYCLE_COUNT 100
#define DEVICE_ID_BLOCK_SIZE 384
#define DEVICE_ID_REQUEST_SIZE 256

/* Spooler ports of the family begin with "USB/Sorrelink"; the port deletion
 * takes only names that begin with "USB/Sorrelink " (with the space). */
#define FAMILY_PORT_PREFIX OVL_PORT_PREFIX "Sorrelink"
#define PORT_NAME_PREFIX OVL_PORT_PREFIX "Sorrelink "

/* The one model that the uninstallation removes. */
#define SORRELINK_MODEL_NAME "OV Sorrelink 640/880 Series"

/* The agent's removal action. */
#define AGENT_ACTION_REMOVE 64

/* ---- Wizard pages ------------------------------------------------------- */

/* One page of the wizard. Each page knows the page before it and the page
 * after it (either may be none); Show displays the page, Link sets the two
 * links once all pages exist, and Next is what the Next button does while
 * the page is displayed. */
class WizardPage
{
public:
    WizardPage();

    virtual void Show() = 0;
    virtual void Link() = 0;
    virtual void Next();

    WizardPage *m_pPrevious;
    WizardPage *m_pNext;

protected:
    void SetLinks(WizardPage *pPrevious, WizardPage *pNext);
};

/* The first page: the four options. Its Next goes where the option leads. */
class OptionsPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
    void Next() override;
};

/* Printer choice for the communication test. */
class TestSelectPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Runs the communication test and shows its result. */
class TestRunPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Port choice for the port deletion. */
class DeleteSelectPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Deletes the chosen port and shows the result. */
class DeleteRunPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Explains the registry purge. */
class PurgeInfoPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Purges the USB enumeration key. */
class PurgeRunPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Explains the uninstallation and shows the model. */
class UninstallSelectPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* Uninstalls the USB communication files and shows the result. */
class UninstallRunPage : public WizardPage
{
public:
    void Show() override;
    void Link() override;
};

/* The nine pages, in the order in which they are created and linked. */
enum WizardPageIndex
{
    PAGE_OPTIONS,
    PAGE_TEST_SELECT,
    PAGE_TEST_RUN,
    PAGE_DELETE_SELECT,
    PAGE_DELETE_RUN,
    PAGE_PURGE_INFO,
    PAGE_PURGE_RUN,
    PAGE_UNINSTALL_SELECT,
    PAGE_UNINSTALL_RUN,
    PAGE_COUNT
};

/* ---- Program-wide state ------------------------------------------------- */

extern HINSTANCE g_hInstance;          /* the program's instance */
extern HWND g_hWizard;                 /* the wizard dialog, once created */
extern WizardPage *g_pPages[PAGE_COUNT]; /* the nine pages, once created */
extern WizardPage *g_pCurrentPage;     /* the page displayed, or none */

/* ---- Program start and dialog (main.cpp) -------------------------------- */

INT_PTR CALLBACK WizardDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
void InitWizard(HWND hDlg);
void OnCommand(HWND hDlg, WORD id, WORD notification);
void RefillPageList(HWND hDlg);

/* ---- Navigation (wizard.cpp) -------------------------------------------- */

BOOL CreatePages(void);
void LinkPages(void);
void HideAllPageControls(void);
void UpdateNavButtons(const WizardPage *pPage);
void MoveToPage(WizardPage *pPage);
void GoBack(void);
void GoNext(void);
void ShowPageText(LPCSTR text);
void ShowPageList(void);

/* ---- Windows version (version.cpp) -------------------------------------- */

BOOL CheckWindowsVersion(HWND hDlg);

/* ---- Texts in fixed buffers (textbuf.cpp) ------------------------------- */

LONG ReadTextValue(HKEY hKey, LPCSTR valueName, char *text, DWORD size);
BOOL FormatText(char *text, size_t size, LPCSTR format, ...);

/* ---- Lists (lists.cpp) -------------------------------------------------- */

void FillDeviceList(HWND hDlg, int controlId);
void FillInstanceList(HWND hDlg, int controlId);
void FillPortList(HWND hDlg, int controlId);
void FillModelList(HWND hDlg, int controlId);
HANDLE OpenSelectedDevice(HWND hDlg, int controlId);
BOOL BuildDeviceEntry(LPCSTR product, LPCSTR serialNumber, LPCSTR devicePath, char *entry, DWORD size);

/* ---- Communication test (commtest.cpp) ---------------------------------- */

BOOL RunCommunicationTest(HWND hDlg);
BOOL TestCycle(HWND hDlg);
BOOL ProbeDeviceId(HWND hDlg);

/* ---- Repairs (repair.cpp) ----------------------------------------------- */

void PurgeUsbEnumKey(void);
BOOL DeleteUsbPort(LPCSTR portName);
BOOL UninstallUsbFiles(HWND hDlg);

#endif
