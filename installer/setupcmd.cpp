/*
 * The model's setup settings and the two texts built from them for the
 * printer's setup program: the parameter text, stored as "CmdLine" under
 * Software\Orvane\OVL\<model suffix>\<serial>, and the setup command line,
 * the setup program's path with " -ovregistry=" pointing to that key.
 */
#include <string.h>
#include <windows.h>

#include "agent.h"

/* The model without its leading run of characters from "Sorrelink " (a set
 * of characters, not a prefix): Sorrelink 640 gives 640. */
LPCSTR ModelSuffix(LPCSTR model)
{
    return model + strspn(model, MODEL_SUFFIX_SET);
}

/* Builds the model key path Software\Orvane\OVLIO\<model suffix> into dest
 * (260 bytes). A path that does not fit leaves dest empty, which the value
 * reads take as a missing model key. */
BOOL BuildModelKeyPath(LPSTR dest, LPCSTR model)
{
    dest[0] = '\0';
    if (AppendText(dest, AGENT_TEXT_SIZE, MODEL_KEYS_PATH) &&
        AppendText(dest, AGENT_TEXT_SIZE, ModelSuffix(model)))
        return TRUE;
    dest[0] = '\0';
    return FALSE;
}

/* Reads "SetupRootPath" into buffer, gives it a trailing backslash and puts
 * it in dest. 1008 for an empty setting or one that, with its backslash,
 * does not fit (a value too long for the buffer included); dest is changed
 * only on success. */
DWORD ReadSetupRootPath(LPSTR dest, LPSTR buffer)
{
    DWORD status = ReadModelValue(g_ModelKeyPath, VALUE_SETUP_ROOT_PATH, buffer);
    size_t length;
    if (status == ERROR_MORE_DATA)
        return ERROR_NO_TOKEN;
    if (status != ERROR_SUCCESS)
        return status;
    length = strlen(buffer);
    if (length == 0)
        return ERROR_NO_TOKEN;
    if (buffer[length - 1] != '\\' && !AppendText(buffer, AGENT_TEXT_SIZE, "\\"))
        return ERROR_NO_TOKEN;
    if (!CopyText(dest, AGENT_TEXT_SIZE, buffer))
        return ERROR_NO_TOKEN;
    return ERROR_SUCCESS;
}

/* Reads "SetupExecFile" into buffer and appends it to dest. 1008 for an
 * empty setting or one that does not fit, in its buffer or behind the root
 * path. */
DWORD AppendSetupExecFile(LPSTR dest, LPSTR buffer)
{
    DWORD status;
    buffer[0] = '\0';
    status = ReadModelValue(g_ModelKeyPath, VALUE_SETUP_EXEC_FILE, buffer);
    if (status == ERROR_MORE_DATA)
        return ERROR_NO_TOKEN;
    if (status != ERROR_SUCCESS)
        return status;
    if (buffer[0] == '\0')
        return ERROR_NO_TOKEN;
    if (!AppendText(dest, AGENT_TEXT_SIZE, buffer))
        return ERROR_NO_TOKEN;
    return ERROR_SUCCESS;
}

/* Appends " -v <name>=" and a text to the parameter text. */
static BOOL AppendSetting(LPSTR dest, LPCSTR name, LPCSTR text)
{
    return AppendText(dest, PARAMETER_TEXT_SIZE, " -v ") &&
           AppendText(dest, PARAMETER_TEXT_SIZE, name) &&
           AppendText(dest, PARAMETER_TEXT_SIZE, "=") && AppendText(dest, PARAMETER_TEXT_SIZE, text);
}

/* Appends " -v <name>=" and a number in decimal to the parameter text. */
static BOOL AppendCodeSetting(LPSTR dest, LPCSTR name, DWORD code)
{
    return AppendSetting(dest, name, "") && AppendNumber(dest, PARAMETER_TEXT_SIZE, code);
}

/* Builds the parameter text (256 bytes) up to the dialog code: the stored
 * SetupParameters, the bus type, the port text, the model, the serial and the
 * dialog code. The result is the port lookup's; a text that does not fit
 * (SetupParameters too long for their own buffer included) is left empty
 * and gives ERROR_INSUFFICIENT_BUFFER. */
DWORD BuildParameterText(LPSTR dest)
{
    char value[AGENT_TEXT_SIZE];
    DWORD result;
    DWORD status;
    BOOL fits = TRUE;

    dest[0] = '\0';
    status = ReadModelValue(g_ModelKeyPath, VALUE_SETUP_PARAMETERS, value);
    if (status == ERROR_SUCCESS)
        fits = AppendText(dest, PARAMETER_TEXT_SIZE, value);
    else if (status == ERROR_MORE_DATA)
        fits = FALSE;
    fits = fits && AppendSetting(dest, "bustype", "usb");
    result = ReadModelValue(g_ModelKeyPath, OVL_VALUE_PORT_NAME, value);
    if (result == ERROR_SUCCESS)
        fits = fits && AppendSetting(dest, "port", value);
    if (g_Model[0] != '\0')
        fits = fits && AppendSetting(dest, "model", g_Model);
    if (g_Serial[0] != '\0')
        fits = fits && AppendSetting(dest, "serial", g_Serial);
    fits = fits && AppendCodeSetting(dest, "dialog", g_DialogCode);
    if (!fits) {
        dest[0] = '\0';
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return result;
}

/* Stores the parameter text as "CmdLine" of the printer configuration key
 * Software\Orvane\OVL\<model suffix>\<serial>. Gives the result of the last
 * key creation attempted; the value write itself is not reported. */
DWORD SaveCmdLine(LPCSTR modelSuffix)
{
    HKEY configRoot;
    HKEY modelKey;
    HKEY printerKey;
    LONG status = RegCreateKeyA(HKEY_LOCAL_MACHINE, CONFIG_KEYS_PATH, &configRoot);
    if (status != ERROR_SUCCESS)
        return (DWORD)status;
    status = RegCreateKeyA(configRoot, modelSuffix, &modelKey);
    if (status == ERROR_SUCCESS) {
        status = RegCreateKeyA(modelKey, g_Serial, &printerKey);
        if (status == ERROR_SUCCESS) {
            RegSetValueExA(printerKey, VALUE_CMD_LINE, 0, REG_SZ, (const BYTE *)g_ParameterText,
                           (DWORD)strlen(g_ParameterText) + 1);
            RegCloseKey(printerKey);
        }
        RegCloseKey(modelKey);
    }
    RegCloseKey(configRoot);
    return (DWORD)status;
}

/* Completes the parameter text with the error code and the abort flag and
 * stores it. A text that does not fit is not stored: the error code becomes
 * ERROR_INSUFFICIENT_BUFFER instead. */
static void StoreParameterText(LPCSTR modelSuffix)
{
    DWORD status = BuildParameterText(g_ParameterText);
    if (status != ERROR_SUCCESS)
        g_ErrorCode = status;
    /* A built text always holds the bus type; an empty one did not fit. */
    if (g_ParameterText[0] == '\0' || !AppendCodeSetting(g_ParameterText, "error", g_ErrorCode) ||
        !AppendCodeSetting(g_ParameterText, "abort", g_AbortFlag)) {
        g_ParameterText[0] = '\0';
        g_ErrorCode = ERROR_INSUFFICIENT_BUFFER;
        return;
    }
    SaveCmdLine(modelSuffix);
}

/* Builds the setup command line from the model's setup settings and, unless
 * those are missing or empty (then the error code records 2 or 1008), builds
 * and stores the parameter text. A command line that does not fit is left
 * empty, and an empty one is never scheduled. */
void BuildSetupCommandLine(void)
{
    DWORD status;
    LPCSTR modelSuffix;

    g_SetupCommandLine[0] = '\0';
    status = ReadSetupRootPath(g_SetupCommandLine, g_SetupRootPath);
    if (status == ERROR_SUCCESS)
        status = AppendSetupExecFile(g_SetupCommandLine, g_SetupFileName);
    modelSuffix = ModelSuffix(g_Model);

    if (status == ERROR_NO_TOKEN || status == ERROR_FILE_NOT_FOUND)
        g_ErrorCode = status;
    else
        StoreParameterText(modelSuffix);

    if (!AppendText(g_SetupCommandLine, AGENT_TEXT_SIZE, SETUP_OPTION) ||
        !AppendText(g_SetupCommandLine, AGENT_TEXT_SIZE, modelSuffix) ||
        !AppendText(g_SetupCommandLine, AGENT_TEXT_SIZE, "\\") ||
        !AppendText(g_SetupCommandLine, AGENT_TEXT_SIZE, g_Serial))
        g_SetupCommandLine[0] = '\0';
}
