// Profile functions and files: a section cut to its buffer and its count,
// duplicate keys kept, CopyFileA's fail-if-exists, and the files that
// cannot be deleted (read-only, held open).
#include <stdio.h>
#include <string.h>

#include "check.h"

namespace conformance {

namespace {

constexpr const char *kIni = "C:\\WINDOWS\\TEMP\\CONFORM.INI";

// Writes a whole file with CreateFileA.
bool WriteFileText(const char *path, const char *text)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, text, (DWORD)strlen(text), &written, nullptr);
    CloseHandle(file);
    return wrote && written == strlen(text);
}

void Sections()
{
    DeleteFileA(kIni);
    // A section written whole keeps its keys, duplicates and order included.
    const char section[] = "b=2\0a=1\0b=3\0";
    ok(WritePrivateProfileSectionA("Rename", section, kIni), "WritePrivateProfileSectionA");
    char buffer[64];
    memset(buffer, 0x55, sizeof buffer);
    DWORD count = GetPrivateProfileSectionA("Rename", buffer, sizeof buffer, kIni);
    ok(count == 12 && memcmp(buffer, section, 13) == 0, "the section back whole: %lu", (unsigned long)count);
    // The whole section needs 13 bytes (12 and the closing zero).
    for (DWORD size = 12; size <= 14; ++size) {
        memset(buffer, 0x55, sizeof buffer);
        count = GetPrivateProfileSectionA("Rename", buffer, size, kIni);
        bool cut = size < 13;
        if (size == 13 && wine_differs("Wine wants a byte more than the section and its closing zero"))
            cut = true;
        if (cut) {
            ok(count == size - 2, "cut section: count %lu for %lu bytes", (unsigned long)count, (unsigned long)size);
            ok(buffer[size - 1] == 0 && buffer[size - 2] == 0, "cut section ends in two zeros");
        } else {
            ok(count == 12, "count %lu for %lu bytes", (unsigned long)count, (unsigned long)size);
        }
        ok((unsigned char)buffer[size] == 0x55, "nothing past %lu bytes", (unsigned long)size);
    }
    // GetPrivateProfileStringA: "3" needs 2 bytes.
    memset(buffer, 0x55, sizeof buffer);
    count = GetPrivateProfileStringA("Rename", "a", "", buffer, 2, kIni);
    ok(count == 1 && strcmp(buffer, "1") == 0, "a value that fits: %lu", (unsigned long)count);
    count = GetPrivateProfileStringA("Rename", "missing", "dflt", buffer, 3, kIni);
    ok(count == 2 && strcmp(buffer, "df") == 0, "a default cut to its buffer: %lu '%s'", (unsigned long)count,
       buffer);
    ok(DeleteFileA(kIni), "remove the profile");
}

void Copies()
{
    const char *source = "C:\\WINDOWS\\TEMP\\CF_SRC.TXT";
    const char *target = "C:\\WINDOWS\\TEMP\\CF_DST.TXT";
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(target);
    ok(WriteFileText(source, "source"), "write the source");
    ok(WriteFileText(target, "target"), "write the target");
    SetLastError(kSeed);
    ok(!CopyFileA(source, target, TRUE), "fail-if-exists refuses an existing target");
    ok(GetLastError() == ERROR_FILE_EXISTS, "... with ERROR_FILE_EXISTS: %lu", (unsigned long)GetLastError());
    ok(CopyFileA(source, target, FALSE), "and replaces it when asked");
    SetLastError(kSeed);
    ok(!CopyFileA("C:\\WINDOWS\\TEMP\\CF_NONE.TXT", target, FALSE), "a missing source");
    ok(GetLastError() == ERROR_FILE_NOT_FOUND, "... ERROR_FILE_NOT_FOUND: %lu", (unsigned long)GetLastError());

    // A read-only file refuses deletion until its attribute is cleared.
    ok(SetFileAttributesA(target, FILE_ATTRIBUTE_READONLY), "make it read-only");
    DWORD expected = FILE_ATTRIBUTE_READONLY;
    if (wine_differs("Wine marks every file for backup (FILE_ATTRIBUTE_ARCHIVE)"))
        expected |= FILE_ATTRIBUTE_ARCHIVE;
    ok(GetFileAttributesA(target) == expected, "attributes %lx", (unsigned long)GetFileAttributesA(target));
    SetLastError(kSeed);
    ok(!DeleteFileA(target), "a read-only file is not deleted");
    ok(GetLastError() == ERROR_ACCESS_DENIED, "... ERROR_ACCESS_DENIED: %lu", (unsigned long)GetLastError());
    ok(SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL) && DeleteFileA(target), "deleted once writable");
    SetLastError(kSeed);
    ok(!DeleteFileA(target), "deleting it again");
    ok(GetLastError() == ERROR_FILE_NOT_FOUND, "... ERROR_FILE_NOT_FOUND: %lu", (unsigned long)GetLastError());

    // Held open without delete sharing, by this process: not deleted.
    HANDLE held = CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ok(held != INVALID_HANDLE_VALUE, "open the source");
    SetLastError(kSeed);
    ok(!DeleteFileA(source), "a file held open is not deleted");
    if (wine_differs("NT refuses to delete a file held open with a sharing violation"))
        ok(GetLastError() == ERROR_SHARING_VIOLATION, "... ERROR_SHARING_VIOLATION: %lu",
           (unsigned long)GetLastError());
    else
        ok(GetLastError() == ERROR_ACCESS_DENIED, "... ERROR_ACCESS_DENIED: %lu", (unsigned long)GetLastError());
    CloseHandle(held);
    ok(DeleteFileA(source), "deleted once closed");
}

}  // namespace

void ProfileChecks()
{
    Sections();
}

void FileChecks()
{
    Copies();
}

}  // namespace conformance
