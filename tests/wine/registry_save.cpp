// Saves HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of a Wine prefix, each to a
// file in the wine server's own text format, so that the checks can tell
// what a step changed anywhere in the registry. The server writes the files
// itself, much faster than regedit walks the keys one call at a time.
//
// Usage: registry_save <machine file> <user file>
#include <windows.h>

#include <stdio.h>

namespace {

// RegSaveKeyA asks for the backup privilege.
bool EnableBackupPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(nullptr, "SeBackupPrivilege", &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}

bool Save(HKEY root, const char *rootName, const char *file)
{
    DeleteFileA(file);  // RegSaveKeyA refuses a file that exists
    LONG r = RegSaveKeyA(root, file, nullptr);
    if (r != ERROR_SUCCESS)
        fprintf(stderr, "registry_save: cannot save %s to %s (error %ld)\n", rootName, file, (long)r);
    return r == ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: registry_save <machine file> <user file>\n");
        return 2;
    }
    if (!EnableBackupPrivilege()) {
        fprintf(stderr, "registry_save: cannot enable the backup privilege (error %lu)\n",
                (unsigned long)GetLastError());
        return 1;
    }
    bool ok = Save(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", argv[1]);
    ok = Save(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", argv[2]) && ok;
    return ok ? 0 : 1;
}
