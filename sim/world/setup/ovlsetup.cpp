// The printer's setup program on the emulated machine (it stands for the
// real one, which is outside the suite). The shell starts it from RunOnce
// with "-ovregistry=<model suffix>\<serial>"; it reads the parameter text
// that the agent stored as "CmdLine" under Software\Orvane\OVL\<that path>,
// notes what it received in C:\ORVANE\SETUP\SETUP.LOG, and, unless the agent
// asked it to abort, adds the printer to the spooler with the port it was
// given, as a setup program's Add Printer step would.
#include <windows.h>

#include <stdio.h>
#include <string.h>

static const char kOption[] = "-ovregistry=";
static const char kLogFile[] = "C:\\ORVANE\\SETUP\\SETUP.LOG";
static const char kPrinters[] = "System\\CurrentControlSet\\Control\\Print\\Printers\\";

// Appends one line to the setup log.
static void Log(const char *line)
{
    HANDLE file = CreateFileA(kLogFile, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char buffer[4096];
    DWORD size = 0;
    // Skip to the end: read what is there.
    while (ReadFile(file, buffer, sizeof buffer, &size, NULL) && size > 0) {
    }
    DWORD written = 0;
    WriteFile(file, line, (DWORD)strlen(line), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

// The value of "-v <name>=" in the parameter text, up to the next " -v ".
static void ReadSetting(const char *text, const char *name, char *out, size_t size)
{
    char key[64];
    snprintf(key, sizeof key, "-v %s=", name);
    out[0] = '\0';
    const char *start = strstr(text, key);
    if (!start)
        return;
    start += strlen(key);
    const char *end = strstr(start, " -v ");
    size_t length = end ? (size_t)(end - start) : strlen(start);
    if (length >= size)
        return;
    memcpy(out, start, length);
    out[length] = '\0';
}

static BOOL SetText(HKEY key, const char *name, const char *text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1) == ERROR_SUCCESS;
}

// Adds the printer "<model> (<serial>)" printing to the port.
static BOOL AddPrinter(const char *model, const char *serial, const char *port)
{
    char path[1024];
    snprintf(path, sizeof path, "%s%s (%s)", kPrinters, model, serial);
    HKEY key = NULL;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS)
        return FALSE;
    BOOL ok = SetText(key, "Port", port) && SetText(key, "Printer Driver", model) &&
              SetText(key, "Print Processor", "WinPrint");
    RegCloseKey(key);
    return ok;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd)
{
    (void)hInstance;
    (void)hPrevInstance;
    (void)nShowCmd;
    char line[1024];
    const char *option = strstr(lpCmdLine, kOption);
    if (!option) {
        snprintf(line, sizeof line, "setup started without %s: \"%s\"; nothing done", kOption, lpCmdLine);
        Log(line);
        return 1;
    }
    char subkey[300];
    snprintf(subkey, sizeof subkey, "Software\\Orvane\\OVL\\%s", option + strlen(kOption));
    char *blank = strchr(subkey, ' ');
    if (blank)
        *blank = '\0';
    char cmdLine[512] = "";
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = sizeof cmdLine - 1;
        RegQueryValueExA(key, "CmdLine", NULL, NULL, (BYTE *)cmdLine, &size);
        RegCloseKey(key);
    }
    snprintf(line, sizeof line, "setup %s: CmdLine=\"%s\"", option, cmdLine);
    Log(line);
    char port[300], model[300], serial[300], abort[16];
    ReadSetting(cmdLine, "port", port, sizeof port);
    ReadSetting(cmdLine, "model", model, sizeof model);
    ReadSetting(cmdLine, "serial", serial, sizeof serial);
    ReadSetting(cmdLine, "abort", abort, sizeof abort);
    if (strcmp(abort, "1") == 0 || !port[0] || !model[0] || !serial[0]) {
        Log("setup: the installation was not complete; no printer added");
        return 1;
    }
    if (!AddPrinter(model, serial, port)) {
        Log("setup: could not add the printer");
        return 1;
    }
    snprintf(line, sizeof line, "setup: added the printer \"%s (%s)\" on port %s", model, serial, port);
    Log(line);
    return 0;
}
