// Host-side control of an emulated Windows 98 machine: the one seam through
// which the machine tool and the tests create and steer machines. Product
// code never includes this header.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace win9x::machine {

// The environment variable through which a process finds its machine.
inline constexpr const char *kMachineVariable = "OVLSIM_MACHINE";

enum class WindowsVersion { Win95, Win98, WinMe, NT4 };

// "95", "98", "me", "nt4".
const char *VersionKeyword(WindowsVersion version);
std::optional<WindowsVersion> ParseVersionKeyword(std::string_view keyword);
// The "Version" text of HKLM\Software\Microsoft\Windows\CurrentVersion, or
// empty for Windows NT 4.0, which keeps no such value there.
const char *VersionText(WindowsVersion version);

// ---- Creating and opening machines --------------------------------------

// Creates a fresh machine in `dir`. An existing machine there is refused
// unless `force` is set, in which case it is replaced. On failure returns
// false with a one-line reason in `error`.
bool Create(const std::string &dir, WindowsVersion os, bool force, std::string *error);

// Makes the machine in `dir` this process's machine (closing any other).
bool Open(const std::string &dir, std::string *error);

// Opens the machine named by OVLSIM_MACHINE unless one is open already.
bool OpenFromEnvironment(std::string *error);

// Whether the directory holds a machine's databases and drive C: (its
// shared pages aside).
bool IsMachineDirectory(const std::string &dir);

// The open machine's directory (absolute), or empty when none is open.
std::string Directory();

void Close();

// The first damage of the machine's databases this process met (a file that
// SQLite finds corrupt, not a database, or cannot read), named by its file:
// "registry.db: database disk image is malformed"; empty when none.
std::string DamageSeen();

// Every problem found in the stored files of the machine in `dir`, one line
// each: the databases' shared pages and write-ahead logs (looked at before
// anything opens them), SQLite's integrity check of both databases, and each
// printer's file against the bytes committed as received. Leaves the machine
// open for this process when it can be opened, and then sets `opened`.
std::vector<std::string> CheckStoredFiles(const std::string &dir, bool *opened = nullptr);

// ---- Settings shared by every process of the machine ----------------------

WindowsVersion Version();
void SetVersion(WindowsVersion version);
bool ShellRunning();
void SetShellRunning(bool running);
// Starts the machine's clock again: GetTickCount counts from 0 from now on.
void Reboot();

// ---- Per-process overrides, for tests ---------------------------------------

void OverrideTickCount(std::optional<uint32_t> ticks);
void OverrideVersion(std::optional<WindowsVersion> version);
void OverrideWindowsDirectory(std::optional<std::string> path);

// ---- Fault injection (this process) -----------------------------------------

// The nth LocalAlloc/HeapAlloc from now (1 = the next one) fails; 0 disarms.
void FailNthAllocation(unsigned nth);
// The nth call from now of the named API (for example "RegSetValueExA") fails
// with `error`; 0 disarms. Several APIs may be armed at once.
void FailNthCall(const std::string &api, unsigned nth, DWORD error);
void ClearFaults();
// Whether an armed fault is still to come: the nth allocation, or the nth
// call of the named API. A sweep that fails the nth of each in turn stops
// when a run ends with its fault still pending.
bool AllocationFaultPending();
bool CallFaultPending(const std::string &api);

// ---- Drive C: --------------------------------------------------------------

// Host path of a Windows path on drive C: (existing components matched
// without regard to case), or empty when the path is not on drive C:.
std::string HostPath(const std::string &windowsPath);

// File work Windows does at its next start, outside any API: moving a file
// over another (whatever their attributes) and deleting a file whatever its
// attributes. ERROR_SUCCESS or the Windows error.
DWORD MoveFileOver(const std::string &source, const std::string &target);
DWORD DeleteFileForce(const std::string &path);

// Empty when the host library or program at `hostPath` holds everything its
// image headers describe, as LoadLibraryA requires; else what it lacks.
std::string ImageShortfall(const std::string &hostPath);

// Runs `body` with every registry call of this thread inside one transaction
// of the machine's registry; nothing of it is kept when `body` returns false.
bool RegistryTransaction(const std::function<bool()> &body);

// ---- Simulated USB printers ---------------------------------------------------
//
// The printers the USB driver sees, shared by every process of the machine.
// A printer is known by its device instance ID, USB\VID_7E51&PID_<id>\<serial>.

struct Printer {
    std::string instanceId;
    std::string serial;
    bool attached = false;
    bool online = true;
    bool error = false;
    int64_t paper = -1;  // bytes of paper left; -1 for unlimited
    std::string deviceId;  // IEEE 1284 device ID text
    bool refuseWrites = false;
    uint32_t failControlIn = 0;  // the nth control request from now fails; 0 for none
    bool failOpen = false;
    uint64_t received = 0;  // bytes received so far
    uint32_t opens = 0;  // open handles of live processes
};

// Adds the printer (detached) unless one with this instance ID exists.
bool AddPrinter(const std::string &instanceId, const std::string &serial, const std::string &deviceId);
std::optional<Printer> FindPrinterBySerial(const std::string &serial);
std::optional<Printer> FindPrinter(const std::string &instanceId);
std::vector<Printer> Printers();
// Writes every setting of the printer (found by its instance ID).
bool UpdatePrinter(const Printer &printer);
// The settings a change names; those left empty keep what the printer has.
struct PrinterChange {
    std::optional<bool> attached;
    std::optional<bool> online;
    std::optional<bool> error;
    std::optional<int64_t> paper;
    std::optional<std::string> deviceId;
    std::optional<bool> refuseWrites;
    std::optional<uint32_t> failControlIn;
    std::optional<bool> failOpen;
};
// Writes only the settings the change names, in one write, so that what
// another process changed meanwhile (paper a job used, a fault counting
// down) stays; false when no printer has the instance ID.
bool ChangePrinter(const std::string &instanceId, const PrinterChange &change);
// The bytes the printer has received, in order.
std::string ReceivedBytes(const std::string &instanceId);
bool ClearReceived(const std::string &instanceId);
// Empty when the printer's file holds every byte committed as received;
// else what is wrong with it ("printer-1.received holds 100 of its 3000
// bytes", or that it is missing).
std::string ReceivedFileDamage(const std::string &instanceId);

// A count that moves whenever a printer is added or its settings change,
// in any process of the machine; 0 without a machine.
uint32_t PrinterChanges();
// Sleeps until PrinterChanges() differs from `seen` or `timeoutMs` pass;
// true when it differs.
bool WaitForPrinterChange(uint32_t seen, unsigned timeoutMs);

// The status byte the printer reports: 0x20 paper empty, 0x10 selected,
// 0x08 no error.
uint8_t PrinterStatus(const Printer &printer);

// ---- Programs -----------------------------------------------------------------

struct ProgramRun {
    bool started = false;
    DWORD error = 0;     // why it did not start: ERROR_FILE_NOT_FOUND, ERROR_BAD_FORMAT, ...
    int exitCode = -1;   // when waited for: its exit status (-1 when killed)
};

// Starts a Windows command line on the machine as WinExec does: the program
// (a host program lying on drive C:, found in C:\WINDOWS\SYSTEM then
// C:\WINDOWS when named without a folder) receives the rest of the line as
// its argument text, and the machine through OVLSIM_MACHINE.
ProgramRun RunCommandLine(const std::string &commandLine, bool wait);

// True while a thread of some process of the machine waits for the named
// mutex `name`, which another process owns: a test tells a program that
// waits its turn from one that is merely slow.
bool NamedMutexHasWaiter(const std::string &name);

// ---- Modules ----------------------------------------------------------------

// Makes a built-in library ("SETUPAPI.DLL"), or one of its functions,
// missing for every process of the machine (missing = false restores it).
void SetModuleMissing(const std::string &module, bool missing);
void SetFunctionMissing(const std::string &module, const std::string &function, bool missing);

// ---- Dialogs and message boxes ----------------------------------------------
//
// A modal dialog waits for its user through a front end: the tests' own
// driver, the terminal front end, or a script. What the user can see and do
// is described here; the layer turns actions into the messages a dialog
// procedure receives.

struct ControlView {
    int id = 0;
    std::string className;  // "Button", "ComboBox", "Static"
    std::string text;
    DWORD style = 0;
    bool visible = false;
    bool enabled = false;
    UINT check = BST_UNCHECKED;
    std::vector<std::string> items;  // combo box entries, in list order
    int selection = -1;
    bool dropped = false;  // the combo box's list is open
    int bitmap = 0;        // SS_BITMAP: the bitmap resource
    RECT rect{};           // dialog units
};

struct DialogView {
    HWND handle = nullptr;
    int templateId = 0;
    std::string caption;
    DWORD style = 0;
    RECT rect{};  // dialog units
    std::vector<ControlView> controls;  // in template order
    const ControlView *Find(int id) const;
};

struct MessageBoxView {
    HWND owner = nullptr;
    std::string text;
    std::string caption;  // as shown: "Error" when the program gave none
    bool captionGiven = false;
    UINT style = 0;
};

// What a user can do while a modal dialog waits. Each returns false, with
// the reason, when the action cannot be done now.
class DialogActions {
public:
    virtual ~DialogActions() = default;
    virtual DialogView View() const = 0;
    // Clicks a push button or a radio button (a radio button is checked and
    // the others of its group cleared, then the dialog hears BN_CLICKED).
    virtual bool Click(int id, std::string *error) = 0;
    // Opens a drop-down list: the dialog hears CBN_DROPDOWN.
    virtual bool OpenList(int id, std::string *error) = 0;
    // Selects entry `index` of a combo box: the dialog hears CBN_SELCHANGE.
    virtual bool Pick(int id, int index, std::string *error) = 0;
    // Escape or the close box: the dialog hears IDCANCEL.
    virtual void Close() = 0;
    // Enter: the dialog hears IDOK, as from Windows' dialog manager in a
    // dialog without a default push button (the layer's dialogs have none).
    virtual void Enter() = 0;
};

class DialogDriver {
public:
    virtual ~DialogDriver() = default;
    // The dialog waits for its user: do one action, or return false when
    // there is nothing more to do (the dialog is then closed with Escape).
    virtual bool Act(DialogActions &actions) = 0;
    // A message box is shown (over `owner` when there is one): return the
    // button that answers it (IDOK for MB_OK).
    virtual int AnswerMessageBox(const MessageBoxView &box, const DialogView *owner) = 0;
    // The dialog changed (a text, a control shown, a list filled).
    virtual void Changed(const DialogView &view) { (void)view; }
};

// The driver of this process's dialogs; without one, the layer picks the
// terminal front end when standard input is a terminal, else a script read
// from standard input (or from the file named by OVLSIM_FRONTEND=script:FILE).
void SetDialogDriver(std::shared_ptr<DialogDriver> driver);

// The message boxes this process has shown, oldest first.
std::vector<MessageBoxView> MessageBoxes();
void ClearMessageBoxes();

// The cursor a program set last with SetCursor.
HCURSOR CurrentCursor();

}  // namespace win9x::machine
