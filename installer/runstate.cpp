/*
 * The agent's run state: one per process, global, living only as long as the
 * run. Everything a run leaves behind is in the spooler, the registry and on
 * the disk.
 */
#include <string.h>
#include <windows.h>

#include "agent.h"

char g_CmdLineText[AGENT_TEXT_SIZE];
LONG g_Action;
char g_Model[AGENT_TEXT_SIZE];
char g_Serial[AGENT_TEXT_SIZE];
DWORD g_ErrorCode;
DWORD g_DialogCode;
DWORD g_AbortFlag;

char g_ModelKeyPath[AGENT_TEXT_SIZE];
char g_SetupRootPath[AGENT_TEXT_SIZE];
char g_SetupFileName[AGENT_TEXT_SIZE];
char g_SetupCommandLine[AGENT_TEXT_SIZE];
char g_ParameterText[PARAMETER_TEXT_SIZE];

HKEY g_KeyStack[KEY_STACK_SIZE];
int g_KeyStackCount;

char g_RememberedInfName[AGENT_TEXT_SIZE];

char g_SectionBuffer[SECTION_BUFFER_SIZE];

/* Puts every item back to its value at the start of a process. The open-key
 * stack is only forgotten: its keys belong to whoever walked last. */
void ResetRunState(void)
{
    memset(g_CmdLineText, 0, sizeof g_CmdLineText);
    g_Action = 0;
    memset(g_Model, 0, sizeof g_Model);
    memset(g_Serial, 0, sizeof g_Serial);
    g_ErrorCode = 0;
    g_DialogCode = 0;
    g_AbortFlag = 0;
    memset(g_ModelKeyPath, 0, sizeof g_ModelKeyPath);
    memset(g_SetupRootPath, 0, sizeof g_SetupRootPath);
    memset(g_SetupFileName, 0, sizeof g_SetupFileName);
    memset(g_SetupCommandLine, 0, sizeof g_SetupCommandLine);
    memset(g_ParameterText, 0, sizeof g_ParameterText);
    memset(g_KeyStack, 0, sizeof g_KeyStack);
    g_KeyStackCount = 0;
    memset(g_RememberedInfName, 0, sizeof g_RememberedInfName);
    memset(g_SectionBuffer, 0, sizeof g_SectionBuffer);
}
