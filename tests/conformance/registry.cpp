// The registry as the deliverables use it: values read into short, exact
// and roomy buffers, enumeration and its end, handles to deleted keys, and
// RegDeleteKeyA taking a whole subtree as Windows 98 does.
#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "check.h"

namespace conformance {

namespace {

constexpr const char *kRoot = "Software\\OvlConformance";

HKEY CreateKey(const char *path)
{
    HKEY key = nullptr;
    LONG r = RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key);
    ok(r == ERROR_SUCCESS, "RegCreateKeyA(%s): %ld", path, (long)r);
    return key;
}

// RegQueryValueExA of a 6-byte text ("hello" and its zero) into buffers of
// 5, 6 and 7 bytes.
void ValueSizes()
{
    HKEY key = CreateKey("Software\\OvlConformance\\Values");
    ok(RegSetValueExA(key, "Text", 0, REG_SZ, (const BYTE *)"hello", 6) == ERROR_SUCCESS, "RegSetValueExA");
    for (DWORD size = 5; size <= 7; ++size) {
        char buffer[16];
        memset(buffer, 0x55, sizeof buffer);
        DWORD got = size;
        DWORD type = kSeed;
        SetLastError(kSeed);
        LONG r = RegQueryValueExA(key, "Text", nullptr, &type, (BYTE *)buffer, &got);
        if (size < 6) {
            ok(r == ERROR_MORE_DATA, "short buffer: %ld", (long)r);
            ok(got == 6, "short buffer: size %lu", (unsigned long)got);
        } else {
            ok(r == ERROR_SUCCESS, "buffer of %lu: %ld", (unsigned long)size, (long)r);
            ok(got == 6, "buffer of %lu: size %lu", (unsigned long)size, (unsigned long)got);
            ok(strcmp(buffer, "hello") == 0, "buffer of %lu: %s", (unsigned long)size, buffer);
        }
        ok(type == REG_SZ, "type %lu", (unsigned long)type);
        ok(buffer[size] == 0x55, "nothing written past %lu bytes", (unsigned long)size);
        ok(GetLastError() == kSeed, "last error untouched: %lu", (unsigned long)GetLastError());
    }
    // Size alone, and a missing value.
    DWORD got = 0;
    ok(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, &got) == ERROR_SUCCESS && got == 6,
       "size query: %lu", (unsigned long)got);
    got = 4;
    ok(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &got) == ERROR_FILE_NOT_FOUND, "missing value");
    RegCloseKey(key);
}

// Subkeys enumerate to ERROR_NO_MORE_ITEMS; a name longer than the buffer
// is ERROR_MORE_DATA.
void Enumeration()
{
    HKEY parent = CreateKey("Software\\OvlConformance\\Enum");
    const char *names[] = {"Zulu", "Alpha", "Mike"};
    for (const char *name : names) {
        HKEY child = nullptr;
        ok(RegCreateKeyA(parent, name, &child) == ERROR_SUCCESS, "create %s", name);
        RegCloseKey(child);
    }
    char found[3][16] = {};
    DWORD index = 0;
    for (;; ++index) {
        char name[16];
        DWORD size = sizeof name;
        LONG r = RegEnumKeyExA(parent, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        ok(r == ERROR_SUCCESS && size == strlen(name), "index %lu: %ld, size %lu", (unsigned long)index, (long)r,
           (unsigned long)size);
        if (index < 3)
            strcpy(found[index], name);
    }
    ok(index == 3, "three subkeys, then the end: %lu", (unsigned long)index);
    if (wine_differs("NT keeps subkeys sorted by name, Windows 98 in creation order")) {
        ok(strcmp(found[0], "Alpha") == 0 && strcmp(found[1], "Mike") == 0 && strcmp(found[2], "Zulu") == 0,
           "sorted: %s %s %s", found[0], found[1], found[2]);
    } else {
        ok(strcmp(found[0], "Zulu") == 0 && strcmp(found[1], "Alpha") == 0 && strcmp(found[2], "Mike") == 0,
           "creation order: %s %s %s", found[0], found[1], found[2]);
    }
    RegCloseKey(parent);

    // "Zulu" alone: 4 bytes are short, 5 fit.
    HKEY single = CreateKey("Software\\OvlConformance\\Single\\Zulu");
    RegCloseKey(single);
    ok(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Single", 0, KEY_ALL_ACCESS, &single) ==
           ERROR_SUCCESS,
       "open Single");
    for (DWORD size = 4; size <= 6; ++size) {
        char name[16];
        memset(name, 0x55, sizeof name);
        DWORD got = size;
        LONG r = RegEnumKeyExA(single, 0, name, &got, nullptr, nullptr, nullptr, nullptr);
        if (size < 5) {
            ok(r == ERROR_MORE_DATA, "name longer than the buffer: %ld", (long)r);
            if (!wine_differs("NT leaves the buffer of a name that does not fit as it was"))
                ok(memcmp(name, "Zul", 4) == 0, "cut and ended: %.4s", name);
        } else {
            ok(r == ERROR_SUCCESS && got == 4 && strcmp(name, "Zulu") == 0, "%lu bytes: %ld, %lu",
               (unsigned long)size, (long)r, (unsigned long)got);
        }
        ok(name[size] == 0x55, "nothing past %lu bytes", (unsigned long)size);
    }
    RegCloseKey(single);
}

// A handle to a deleted key answers ERROR_KEY_DELETED; RegDeleteKeyA takes
// the subkeys with it.
void DeleteTree(HKEY parent, const char *name);

void Deletion()
{
    HKEY deep = CreateKey("Software\\OvlConformance\\Tree\\Branch\\Leaf");
    RegCloseKey(deep);
    HKEY branch = nullptr;
    ok(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Tree\\Branch", 0, KEY_ALL_ACCESS, &branch) ==
           ERROR_SUCCESS,
       "open Branch");
    LONG r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Tree");
    ok(r == ERROR_SUCCESS, "RegDeleteKeyA of a key with subkeys (program version win98): %ld", (long)r);
    HKEY gone = nullptr;
    ok(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Tree\\Branch\\Leaf", 0, KEY_READ, &gone) ==
           ERROR_FILE_NOT_FOUND,
       "the subtree is gone");
    DWORD size = 4;
    BYTE data[4];
    r = RegQueryValueExA(branch, "Any", nullptr, nullptr, data, &size);
    ok(r == ERROR_KEY_DELETED, "query on a deleted key's handle: %ld", (long)r);
    r = RegSetValueExA(branch, "Any", 0, REG_SZ, (const BYTE *)"x", 2);
    ok(r == ERROR_KEY_DELETED, "set on a deleted key's handle: %ld", (long)r);
    char name[16];
    DWORD nameSize = sizeof name;
    r = RegEnumKeyExA(branch, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
    ok(r == ERROR_KEY_DELETED, "enumerate a deleted key's handle: %ld", (long)r);
    ok(RegCloseKey(branch) == ERROR_SUCCESS, "close a deleted key's handle");
    ok(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Tree") == ERROR_FILE_NOT_FOUND,
       "deleting it again");

    // Several subkeys side by side go as well.
    for (const char *leaf : {"Software\\OvlConformance\\Wide\\A", "Software\\OvlConformance\\Wide\\B",
                             "Software\\OvlConformance\\Wide\\C"})
        RegCloseKey(CreateKey(leaf));
    r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Wide");
    if (wine_differs("Wine's Windows 98 RegDeleteKeyA gives up on a key with several subkeys"))
        ok(r == ERROR_ACCESS_DENIED, "several subkeys: %ld", (long)r);
    else
        ok(r == ERROR_SUCCESS, "several subkeys: %ld", (long)r);
    DeleteTree(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Wide");

    // Why: Wine sets the length of its subkey name buffer once, from the
    // first name, and never again, so the next name fits only when it is
    // shorter. Names that grow shorter all go; X1 then X2 stops after X1,
    // with the key and X2 left (as the purge of two printers X1 and X2 does).
    const struct {
        const char *first;
        const char *second;
        bool wineStops;
    } pairs[] = {{"X10", "X9", false}, {"X1", "X2", true}};
    for (const auto &pair : pairs) {
        char first[64];
        char second[64];
        snprintf(first, sizeof first, "Software\\OvlConformance\\Pair\\%s", pair.first);
        snprintf(second, sizeof second, "Software\\OvlConformance\\Pair\\%s", pair.second);
        RegCloseKey(CreateKey(first));
        RegCloseKey(CreateKey(second));
        r = RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Pair");
        HKEY left = nullptr;
        LONG secondLeft = RegOpenKeyExA(HKEY_LOCAL_MACHINE, second, 0, KEY_READ, &left);
        if (secondLeft == ERROR_SUCCESS)
            RegCloseKey(left);
        LONG firstLeft = RegOpenKeyExA(HKEY_LOCAL_MACHINE, first, 0, KEY_READ, &left);
        if (firstLeft == ERROR_SUCCESS)
            RegCloseKey(left);
        if (pair.wineStops && wine_differs("Wine's Windows 98 RegDeleteKeyA stops at a subkey name not shorter "
                                           "than the first")) {
            ok(r == ERROR_ACCESS_DENIED && firstLeft == ERROR_FILE_NOT_FOUND && secondLeft == ERROR_SUCCESS,
               "subkeys %s, %s: %ld, the first gone (%ld), the second left (%ld)", pair.first, pair.second, (long)r,
               (long)firstLeft, (long)secondLeft);
        } else {
            ok(r == ERROR_SUCCESS && firstLeft == ERROR_FILE_NOT_FOUND && secondLeft == ERROR_FILE_NOT_FOUND,
               "subkeys %s, %s: %ld, both gone (%ld, %ld)", pair.first, pair.second, (long)r, (long)firstLeft,
               (long)secondLeft);
        }
        DeleteTree(HKEY_LOCAL_MACHINE, "Software\\OvlConformance\\Pair");
    }
}

// Deletes a key and everything below it, leaves first, whatever
// RegDeleteKeyA does with subkeys.
void DeleteTree(HKEY parent, const char *name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char child[MAX_PATH];
    DWORD size = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        DeleteTree(key, child);
        size = sizeof child;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, name);
}

}  // namespace

void RegistryChecks()
{
    DeleteTree(HKEY_LOCAL_MACHINE, kRoot);  // left by an earlier run
    ValueSizes();
    Enumeration();
    Deletion();
    DeleteTree(HKEY_LOCAL_MACHINE, kRoot);
    HKEY gone = nullptr;
    ok(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_READ, &gone) == ERROR_FILE_NOT_FOUND, "cleaned up");
}

}  // namespace conformance
