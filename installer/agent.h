/*
 * ovlcin00, the device installation agent: the run state, the texts held by
 * the run, the open-key stack and every operation of the agent. The agent
 * runs one action (install 2, remove 64) for one printer inside the creation
 * of a hidden window and always ends with exit code 0.
 */
#ifndef OVLCIN00_AGENT_H
#define OVLCIN00_AGENT_H

#include <stddef.h>
#include <windows.h>

#include "ovlcommon.h"

/* Text buffers: 259 characters and a terminating zero. */
#define AGENT_TEXT_SIZE 260
#define AGENT_TEXT_MAX (AGENT_TEXT_SIZE - 1)
/* The parameter text handed to the printer's setup program. */
#define PARAMETER_TEXT_SIZE 256
/* Depth of the open-key stack. */
#define KEY_STACK_SIZE 20
/* Indexes in a row whose enumeration failed that end a walk over subkeys. */
#define SUBKEY_WALK_FAILURES 16

/* Actions of the command line. */
#define ACTION_INSTALL 2
#define ACTION_REMOVE 64

/* Dialog codes handed to the setup program. */
#define DIALOG_PLATFORM 1 /* the platform check failed */
#define DIALOG_MONITOR 2  /* registering the port monitor failed */

/* Purge modes of PurgeKey. */
enum PurgeMode {
    PurgeByName = 1,           /* delete the subkey of the given name */
    PurgeByDeviceInstance = 2, /* delete the subkey whose DeviceInstance matches */
    PurgeDriverKey = 4         /* remember its InfPath, then delete the subkey */
};

/* Registry paths below HKEY_LOCAL_MACHINE and their pieces. */
#define ORVANE_KEY_PATH "Software\\Orvane\\"
#define MODEL_KEY_ROOT "OVLIO"
#define CONFIG_KEY_ROOT "OVL"
#define MODEL_KEYS_PATH ORVANE_KEY_PATH MODEL_KEY_ROOT "\\"
#define CONFIG_KEYS_PATH ORVANE_KEY_PATH CONFIG_KEY_ROOT
#define SERVICES_KEY_PATH "System\\CurrentControlSet\\Services\\"
#define DRIVER_SERVICE_NAME "Ovlion00"
#define PRINTERS_KEY_PATH "System\\CurrentControlSet\\Control\\Print\\Printers\\"
#define DEVICE_CLASSES_KEY_PATH "System\\CurrentControlSet\\Control\\DeviceClasses\\"
#define RUNONCE_KEY_PATH "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"

/* Values the agent reads or writes. */
#define VALUE_SETUP_ROOT_PATH "SetupRootPath"
#define VALUE_SETUP_EXEC_FILE "SetupExecFile"
#define VALUE_SETUP_PARAMETERS "SetupParameters"
#define VALUE_EXEC_FILE "ExecFile"
#define VALUE_PRODUCT_ID "ProductID"
#define VALUE_CMD_LINE "CmdLine"
#define VALUE_RUNONCE "RunOnce"
#define VALUE_PORT "Port"
#define VALUE_DEVICE_INSTANCE "DeviceInstance"
#define VALUE_DRIVER "driver"
#define VALUE_INF_PATH "InfPath"

/* The setup command line's option naming the printer configuration key. */
#define SETUP_OPTION " -ovregistry="

/* Characters skipped at the front of a model to give its suffix. */
#define MODEL_SUFFIX_SET "Sorrelink "

/* Component files: "ovl", a three-letter role, "00" and an extension. */
#define OVL_FILE_NAME(role, extension) "ovl" role "00" extension
#define AGENT_FILE_NAME OVL_FILE_NAME("cin", ".exe")
#define SYSTEM_DIRECTORY "C:\\Windows\\System\\"
#define VMM32_DIRECTORY "C:\\Windows\\System\\VMM32\\"
/* The family's files that the last removal deletes at the next start: the
 * agent's own program file and the driver library. */
#define AGENT_FILE_PATH SYSTEM_DIRECTORY AGENT_FILE_NAME
#define IOU_FILE_PATH VMM32_DIRECTORY OVL_FILE_NAME("iou", ".dll")

/* The spooler registration of the port monitor. */
#define MONITOR_ENVIRONMENT "Windows 4.0"
#define MONITOR_DLL_NAME OVL_FILE_NAME("pom", ".dll")

/* The rename section of wininit.ini. */
#define WININIT_FILE "wininit.ini"
#define RENAME_SECTION "RENAME"
#define RENAME_DELETE_KEY "NUL"
#define SECTION_READ_CAPACITY 0x7FFF
#define SECTION_BUFFER_SIZE (32768 + AGENT_TEXT_SIZE)
/* Agents running at once take turns on the rename section under this lock. */
#define RENAME_MUTEX_NAME "Ovlcin00RenameSection"
#define RENAME_MUTEX_WAIT 30000
/* Installs and removals take turns on the machine's RunOnce value. */
#define RUNONCE_MUTEX_NAME "Ovlcin00RunOnce"
#define RUNONCE_MUTEX_WAIT 30000
/* Agents removing printers at once take turns on the purge under this lock. */
#define PURGE_MUTEX_NAME "Ovlcin00Purge"
#define PURGE_MUTEX_WAIT 30000

/* ---- Run state (runstate.cpp) ------------------------------------------ */

extern char g_CmdLineText[AGENT_TEXT_SIZE]; /* the argument text */
extern LONG g_Action;                       /* value of -action= */
extern char g_Model[AGENT_TEXT_SIZE];       /* value of -model= */
extern char g_Serial[AGENT_TEXT_SIZE];      /* value of -serial= */
extern DWORD g_ErrorCode;                   /* handed on as -v error= */
extern DWORD g_DialogCode;                  /* handed on as -v dialog= */
extern DWORD g_AbortFlag;                   /* handed on as -v abort= */

/* Texts held by the run. */
extern char g_ModelKeyPath[AGENT_TEXT_SIZE];
extern char g_SetupRootPath[AGENT_TEXT_SIZE];
extern char g_SetupFileName[AGENT_TEXT_SIZE];
extern char g_SetupCommandLine[AGENT_TEXT_SIZE];
extern char g_ParameterText[PARAMETER_TEXT_SIZE];

/* The open-key stack of the key path walks. */
extern HKEY g_KeyStack[KEY_STACK_SIZE];
extern int g_KeyStackCount;

/* The INF file name the purge took from the driver key. */
extern char g_RememberedInfName[AGENT_TEXT_SIZE];

/* The section image of the rename section. */
extern char g_SectionBuffer[SECTION_BUFFER_SIZE];

void ResetRunState(void);

/* ---- Bounded texts (text.cpp) ------------------------------------------ */

size_t TextLength(LPCSTR text, size_t size);
BOOL CopyText(LPSTR dest, size_t size, LPCSTR text);
BOOL AppendText(LPSTR dest, size_t size, LPCSTR text);
BOOL AppendNumber(LPSTR dest, size_t size, DWORD number);

/* ---- Start-up and the agent window (main.cpp) -------------------------- */

BOOL IsPlatformSupported(void);
BOOL PrepareRun(LPCSTR argumentText);
BOOL RegisterAgentClass(HINSTANCE instance);
HWND CreateAgentWindow(HINSTANCE instance);
LRESULT CALLBACK AgentWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int RunMessageLoop(void);

/* ---- Command line (cmdline.cpp) ---------------------------------------- */

LONG ParseDecimal(LPCSTR text);
BOOL TakeOptionValue(LPCSTR text, LPCSTR key, char stop, LPSTR dest, size_t size);
void ParseCommandLine(void);

/* ---- Actions (actions.cpp) --------------------------------------------- */

void DispatchAction(void);
void InstallAction(void);
void KeepFamilyFiles(void);
void RemoveAction(void);
int CheckSerialPort(void);

/* ---- Key paths and model values (keypath.cpp) -------------------------- */

void PushKey(HKEY key);
HKEY PopKey(void);
DWORD OpenKeyPath(LPCSTR keyPath, HKEY *current, LPSTR leaf);
DWORD CloseKeyPath(HKEY *current);
LONG NextSubkey(HKEY key, DWORD index, LPSTR name, DWORD capacity, DWORD *failures);
DWORD QueryTextValue(HKEY key, LPCSTR valueName, LPSTR dest, DWORD capacity);
DWORD SearchPortName(HKEY key, LPSTR dest);
DWORD ReadModelValue(LPCSTR keyPath, LPCSTR valueName, LPSTR dest);

/* ---- Setup settings and texts (setupcmd.cpp) --------------------------- */

LPCSTR ModelSuffix(LPCSTR model);
BOOL BuildModelKeyPath(LPSTR dest, LPCSTR model);
DWORD ReadSetupRootPath(LPSTR dest, LPSTR buffer);
DWORD AppendSetupExecFile(LPSTR dest, LPSTR buffer);
DWORD BuildParameterText(LPSTR dest);
DWORD SaveCmdLine(LPCSTR modelSuffix);
void BuildSetupCommandLine(void);

/* ---- Setup program launch (launch.cpp) --------------------------------- */

DWORD CopyNumberFromTicks(DWORD ticks);
DWORD ScheduleExecFileRestore(void);
void ScheduleSetupRunOnce(void);
void CancelSetupRunOnce(void);

/* ---- Named locks (namedlock.cpp) ---------------------------------------- */

HANDLE TakeNamedLock(LPCSTR name, DWORD wait);
void ReleaseNamedLock(HANDLE lock);

/* ---- Rename section of wininit.ini (wininit.cpp) ----------------------- */

DWORD AppendRenameEntry(LPCSTR key, LPCSTR value);
DWORD ScheduleDeleteOnRestart(LPCSTR path);
DWORD CancelDeletionsOnRestart(const LPCSTR *paths, size_t count);

/* ---- Uninstall purge (purge.cpp) --------------------------------------- */

BOOL IsSubkeyName(LPCSTR name);
BOOL IsPlainFileName(LPCSTR name);
LPCSTR DriverInstance(LPCSTR driverValue);
void ClearReadOnly(LPCSTR path);
LONG PurgeKey(LPCSTR keyPath, LPCSTR name, int mode);
void UninstallPurge(void);

#endif
