// The profile functions on real INI files of drive C:. A file named without
// a folder lies in the Windows directory. Every change is one atomic step
// for all processes of the machine: under the machine's profile lock (a
// lock file in its locks/ folder) the file is read, changed and written to
// a new file that is renamed over the old one, so a reader sees the file
// before or after a change, never a part of one, and two writers never
// lose each other's change. Files are written with CR LF line ends.
//
// Buffer rules, as on Windows: a value that does not fit is cut at size-1
// characters and size-1 is returned; a list (a section's entries, section
// or key names) that does not fit is cut, ends in two zero bytes and
// size-2 is returned.
//
// Texts that would break the file's lines are refused with
// ERROR_INVALID_PARAMETER rather than written: a line end in any name or
// value, a '=' in a key or one starting with '[' or ';' (it would read back
// as a header or comment), a ']' in a section name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "kernel32/files.h"
#include "kernel32/ini_file.h"
#include "machine/api.h"
#include "machine/beneath.h"

namespace win9x::layer {

namespace {

// Where the profile file lies: a bare name in the Windows directory, and a
// null name is WIN.INI there, as on Windows.
std::optional<MappedPath> ProfilePath(const char *fileName, DWORD *error)
{
    if (!fileName)
        fileName = "win.ini";
    if (*fileName && !std::strpbrk(fileName, "\\/:"))
        return MapFilePath((std::string(kWindowsDirectory) + "\\" + fileName).c_str(), error);
    return MapFilePath(fileName, error);
}

// Reads the whole host file; a missing file reads as empty with *found
// false. Returns false with *error for a file that cannot be read.
bool ReadHostText(const Machine &m, const MappedPath &path, std::string *text, bool *found, DWORD *error)
{
    *found = false;
    int fd = beneath::Open(m.dir, InMachine(path), O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        *error = ErrorFromErrno(errno, nullptr);
        return false;
    }
    char chunk[16384];
    ssize_t n = 0;
    while ((n = read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0)
            text->append(chunk, static_cast<size_t>(n));
    }
    // A folder of that name reads with EISDIR.
    *error = n < 0 ? ErrorFromErrno(errno, nullptr) : ERROR_SUCCESS;
    close(fd);
    *found = n == 0;
    return n == 0;
}

// Reads the profile file for a query; a missing file reads as empty.
bool LoadProfile(const char *fileName, IniFile *ini, DWORD *error)
{
    auto path = ProfilePath(fileName, error);
    if (!path)
        return false;
    auto m = CurrentMachine();
    if (!m) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    std::string text;
    bool found = false;
    if (!ReadHostText(*m, *path, &text, &found, error))
        return false;
    *ini = IniFile::Parse(text);
    return true;
}

// Applies `change` to the profile file as one step of the machine; the
// file is rewritten only when the change says it changed something.
template <class Change>
DWORD UpdateProfile(const char *fileName, Change change)
{
    DWORD error = ERROR_SUCCESS;
    auto path = ProfilePath(fileName, &error);
    if (!path)
        return error;
    if (!path->exists && !path->parentExists)
        return ERROR_PATH_NOT_FOUND;
    auto m = CurrentMachine();
    if (!m)
        return ERROR_PATH_NOT_FOUND;
    MachineLock lock(*m, "profile.lock");
    if (!lock.held())
        return ERROR_GEN_FAILURE;
    std::string text;
    bool found = false;
    if (!ReadHostText(*m, *path, &text, &found, &error))
        return error;
    if (found) {
        auto attributes = StoredAttributes(*m, path->relative);
        if (!attributes)
            return ERROR_GEN_FAILURE;
        if (*attributes & FILE_ATTRIBUTE_READONLY)
            return ERROR_ACCESS_DENIED;
    }
    IniFile ini = IniFile::Parse(text);
    if (!change(ini))
        return ERROR_SUCCESS;
    struct stat info;
    unsigned mode = found && beneath::Status(m->dir, InMachine(*path), &info) == 0 ? info.st_mode & 07777 : 0644;
    std::string updated = ini.Serialize();
    if (int hostError = ReplaceMachineFile(*m, *path, updated.data(), updated.size(), mode))
        return ErrorFromErrno(hostError, &*path);
    // A new file starts with no attribute entry (dropping a stale one).
    if (!found && !ForgetAttributes(*m, path->relative))
        return ERROR_GEN_FAILURE;
    return ERROR_SUCCESS;
}

bool HasLineEnd(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsSafeSection(std::string_view section)
{
    return !HasLineEnd(section) && section.find(']') == std::string_view::npos;
}

bool IsSafeKey(std::string_view key)
{
    size_t first = key.find_first_not_of(" \t");
    bool looksSpecial = first != std::string_view::npos && (key[first] == '[' || key[first] == ';');
    return !HasLineEnd(key) && key.find('=') == std::string_view::npos && !looksSpecial;
}

// A line of a section written whole: a header or a line end would change
// the file's structure.
bool IsSafeSectionLine(std::string_view line)
{
    size_t first = line.find_first_not_of(" \t");
    return !HasLineEnd(line) && !(first != std::string_view::npos && line[first] == '[');
}

// Copies a list of texts into a caller's buffer as zero-terminated texts
// followed by one more zero byte; see the buffer rules above. Empty texts
// are left out, since they would end the list.
DWORD PutList(const std::vector<std::string> &items, char *buffer, DWORD size)
{
    if (size == 0)
        return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::string flat;
    for (const auto &item : items) {
        if (!item.empty())
            flat.append(item).push_back('\0');
    }
    if (flat.size() + 1 <= size) {
        std::memcpy(buffer, flat.data(), flat.size());
        buffer[flat.size()] = '\0';
        if (flat.empty())
            buffer[1] = '\0';
        return static_cast<DWORD>(flat.size());
    }
    std::memcpy(buffer, flat.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

// Copies a value into a caller's buffer, cut at size-1 characters.
DWORD PutValue(std::string_view value, char *buffer, DWORD size)
{
    size_t count = std::min<size_t>(value.size(), size - 1);
    if (count > 0)
        std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}

// The default value of GetPrivateProfileStringA, without trailing blanks
// as Windows hands it back.
std::string_view DefaultValue(const char *text)
{
    std::string_view value = text ? text : "";
    size_t last = value.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : value.substr(0, last + 1);
}

// Splits a section image (texts each ended by a zero byte, the list by an
// empty one) into its lines.
std::vector<std::string> SplitSectionImage(const char *image)
{
    std::vector<std::string> lines;
    while (*image) {
        lines.emplace_back(image);
        image += lines.back().size() + 1;
    }
    return lines;
}

}  // namespace

}  // namespace win9x::layer

using namespace win9x::layer;

extern "C" {

DWORD WINAPI GetPrivateProfileSectionA(LPCSTR lpAppName, LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName)
{
    if (DWORD injected = InjectedFailure("GetPrivateProfileSectionA"))
        return Fail(injected, DWORD(0));
    if (!lpAppName || !lpReturnedString)
        return Fail(ERROR_INVALID_PARAMETER, DWORD(0));
    IniFile ini;
    DWORD error = ERROR_SUCCESS;
    if (!LoadProfile(lpFileName, &ini, &error)) {
        PutList({}, lpReturnedString, nSize);
        return Fail(error, DWORD(0));
    }
    auto entries = ini.SectionEntries(lpAppName);
    return PutList(entries ? *entries : std::vector<std::string>(), lpReturnedString, nSize);
}

BOOL WINAPI WritePrivateProfileSectionA(LPCSTR lpAppName, LPCSTR lpString, LPCSTR lpFileName)
{
    if (DWORD injected = InjectedFailure("WritePrivateProfileSectionA"))
        return Fail(injected, FALSE);
    if (!lpAppName)
        return lpString ? Fail(ERROR_INVALID_PARAMETER, FALSE) : TRUE;  // nothing is cached to flush
    if (!IsSafeSection(lpAppName))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::vector<std::string> lines;
    if (lpString) {
        lines = SplitSectionImage(lpString);
        for (const auto &line : lines) {
            if (!IsSafeSectionLine(line))
                return Fail(ERROR_INVALID_PARAMETER, FALSE);
        }
    }
    DWORD error = UpdateProfile(lpFileName, [&](IniFile &ini) {
        // A null image deletes the section.
        return lpString ? ini.ReplaceSection(lpAppName, lines) : ini.DeleteSection(lpAppName);
    });
    return error ? Fail(error, FALSE) : TRUE;
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                                      DWORD nSize, LPCSTR lpFileName)
{
    if (DWORD injected = InjectedFailure("GetPrivateProfileStringA"))
        return Fail(injected, DWORD(0));
    if (!lpReturnedString)
        return Fail(ERROR_INVALID_PARAMETER, DWORD(0));
    if (nSize == 0)
        return 0;
    IniFile ini;
    DWORD error = ERROR_SUCCESS;
    bool loaded = LoadProfile(lpFileName, &ini, &error);
    // With a null section the section names, with a null key the section's
    // key names.
    if (!lpAppName)
        return loaded ? PutList(ini.SectionNames(), lpReturnedString, nSize)
                      : Fail(error, PutList({}, lpReturnedString, nSize));
    if (!lpKeyName)
        return loaded ? PutList(ini.KeyNames(lpAppName), lpReturnedString, nSize)
                      : Fail(error, PutList({}, lpReturnedString, nSize));
    auto value = loaded ? ini.Value(lpAppName, lpKeyName) : std::nullopt;
    DWORD count = PutValue(value ? std::string_view(*value) : DefaultValue(lpDefault), lpReturnedString, nSize);
    return loaded ? count : Fail(error, count);
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName)
{
    if (DWORD injected = InjectedFailure("WritePrivateProfileStringA"))
        return Fail(injected, FALSE);
    if (!lpAppName)
        return lpKeyName || lpString ? Fail(ERROR_INVALID_PARAMETER, FALSE) : TRUE;  // nothing is cached to flush
    if (!IsSafeSection(lpAppName) || (lpKeyName && !IsSafeKey(lpKeyName)) || (lpString && HasLineEnd(lpString)))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = UpdateProfile(lpFileName, [&](IniFile &ini) {
        // A null key deletes the section, a null value the key.
        if (!lpKeyName)
            return ini.DeleteSection(lpAppName);
        if (!lpString)
            return ini.DeleteKey(lpAppName, lpKeyName);
        return ini.SetValue(lpAppName, lpKeyName, lpString);
    });
    return error ? Fail(error, FALSE) : TRUE;
}

}  // extern "C"
