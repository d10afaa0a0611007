// Files on drive C:: opening, reading and writing, copying, deleting and
// the attributes that the machine keeps for them.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "kernel32/files.h"
#include "support/machine_fixture.h"

using ovltest::ReadHostFile;
using ovltest::WriteHostFile;

namespace {

class Files : public ovltest::MachineTest {
protected:
    // Creates a file on drive C: through the API with the given content.
    void MakeFile(const char *path, const std::string &content)
    {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
        ASSERT_EQ(content.size(), written);
        ASSERT_TRUE(CloseHandle(file));
    }

    // The whole content of a file on drive C:, read through the API.
    std::string ReadWhole(const char *path)
    {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return "<missing>";
        std::string content;
        char chunk[7];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
            content.append(chunk, got);
        CloseHandle(file);
        return content;
    }

    // The names in a host folder, hidden ones included.
    std::vector<std::string> HostNames(const std::string &folder)
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Opens with the disposition; returns the last error (0xdeadbeef seeded)
    // and closes the handle again.
    DWORD OpenError(const char *path, DWORD access, DWORD disposition, bool *opened)
    {
        SetLastError(0xdeadbeef);
        HANDLE file = CreateFileA(path, access, 0, nullptr, disposition, 0, nullptr);
        DWORD error = GetLastError();
        *opened = file != INVALID_HANDLE_VALUE;
        if (*opened)
            CloseHandle(file);
        return error;
    }
};

TEST_F(Files, CreationDispositions)
{
    const char *path = "C:\\WINDOWS\\TEMP\\d.txt";
    bool opened = false;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenError(path, GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_FALSE(opened);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenError(path, GENERIC_WRITE, TRUNCATE_EXISTING, &opened));
    EXPECT_FALSE(opened);
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, OpenError("C:\\NOWHERE\\d.txt", GENERIC_WRITE, CREATE_ALWAYS, &opened));
    EXPECT_FALSE(opened);

    EXPECT_EQ(0u, OpenError(path, GENERIC_WRITE, CREATE_NEW, &opened));
    EXPECT_TRUE(opened);
    EXPECT_EQ(ERROR_FILE_EXISTS, OpenError(path, GENERIC_WRITE, CREATE_NEW, &opened));
    EXPECT_FALSE(opened);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, OpenError(path, GENERIC_READ, OPEN_ALWAYS, &opened));
    EXPECT_TRUE(opened);
    EXPECT_EQ(0u, OpenError("C:\\WINDOWS\\TEMP\\e.txt", GENERIC_READ, OPEN_ALWAYS, &opened));
    EXPECT_TRUE(opened);
    EXPECT_EQ(0u, OpenError(path, GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_TRUE(opened);
    // Truncating needs write access.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, OpenError(path, GENERIC_READ, TRUNCATE_EXISTING, &opened));
    EXPECT_FALSE(opened);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, OpenError(path, GENERIC_READ, 0, &opened));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, OpenError(path, GENERIC_READ, 6, &opened));

    MakeFile(path, "old content");
    EXPECT_EQ(ERROR_ALREADY_EXISTS, OpenError(path, GENERIC_WRITE, CREATE_ALWAYS, &opened));
    EXPECT_EQ("", ReadWhole(path));
    MakeFile(path, "old content");
    EXPECT_EQ(0u, OpenError(path, GENERIC_WRITE, TRUNCATE_EXISTING, &opened));
    EXPECT_EQ("", ReadWhole(path));
    MakeFile(path, "kept");
    EXPECT_EQ(ERROR_ALREADY_EXISTS, OpenError(path, GENERIC_WRITE, OPEN_ALWAYS, &opened));
    EXPECT_EQ("kept", ReadWhole(path));

    // Folders cannot be opened as files.
    EXPECT_EQ(ERROR_ACCESS_DENIED, OpenError("C:\\WINDOWS\\SYSTEM", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_EQ(ERROR_FILE_EXISTS, OpenError("C:\\WINDOWS\\SYSTEM", GENERIC_READ, CREATE_NEW, &opened));
    // A file used as a folder, another drive, a bad name, no name.
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, OpenError("C:\\WINDOWS\\TEMP\\d.txt\\x", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, OpenError("C:\\WINDOWS\\TEMP\\d.txt\\", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, OpenError("D:\\d.txt", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_EQ(ERROR_INVALID_NAME, OpenError("C:\\WINDOWS\\a?b", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, OpenError("", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, OpenError(nullptr, GENERIC_READ, OPEN_EXISTING, &opened));
    // Device paths go to the devices; there is no such device.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, OpenError("\\\\.\\NoSuchDevice", GENERIC_READ, OPEN_EXISTING, &opened));
    EXPECT_FALSE(opened);
}

TEST_F(Files, PathsMatchWithoutRegardToCase)
{
    WriteHostFile(MachineDir() + "/drive_c/Windows/Win.ini", "[windows]\r\n");
    EXPECT_EQ("[windows]\r\n", ReadWhole("c:\\windows\\WIN.INI"));
    EXPECT_EQ("[windows]\r\n", ReadWhole("C:/Windows/system/../win.ini"));
    EXPECT_EQ("[windows]\r\n", ReadWhole("win.ini"));  // relative to C:\WINDOWS

    // A new file keeps the case it is given, in the folder of the disk's case.
    MakeFile("C:\\WINDOWS\\SYSTEM\\OvlTest.DAT", "data");
    EXPECT_EQ("data", ReadHostFile(MachineDir() + "/drive_c/Windows/System/OvlTest.DAT"));
    MakeFile("c:\\windows\\system\\ovltest.dat", "again");
    EXPECT_EQ("again", ReadHostFile(MachineDir() + "/drive_c/Windows/System/OvlTest.DAT"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA("C:\\WINDOWS\\SYSTEM\\OVLTEST.DAT"));
}

TEST_F(Files, ReadAndWrite)
{
    const char *path = "C:\\WINDOWS\\TEMP\\rw.bin";
    MakeFile(path, "0123456789");
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char buffer[16];
    DWORD got = 0xdeadbeef;
    ASSERT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
    EXPECT_EQ(4u, got);
    EXPECT_EQ("0123", std::string(buffer, 4));
    // The count pointer may be null; the file pointer still moves.
    EXPECT_TRUE(ReadFile(file, buffer, 2, nullptr, nullptr));
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ("6789", std::string(buffer, got));
    // At the end a read succeeds with nothing.
    got = 0xdeadbeef;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(0u, got);
    // A read-only handle cannot write.
    DWORD written = 0xdeadbeef;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0u, written);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(file, nullptr, 1, &got, nullptr));
    EXPECT_EQ(ERROR_NOACCESS, GetLastError());
    EXPECT_TRUE(CloseHandle(file));

    // A closed handle and a handle that never was.
    for (HANDLE bad : {file, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        got = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(ReadFile(bad, buffer, 1, &got, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
        EXPECT_EQ(0u, got);
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(WriteFile(bad, "x", 1, &written, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    }
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());

    // A write-only handle cannot read; writes go on from the file pointer.
    file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReadFile(file, buffer, 1, &got, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(WriteFile(file, "ab", 2, &written, nullptr));
    EXPECT_TRUE(WriteFile(file, "cd", 2, nullptr, nullptr));
    EXPECT_TRUE(WriteFile(file, nullptr, 0, &written, nullptr));
    EXPECT_EQ(0u, written);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ("abcd456789", ReadWhole(path));
}

TEST_F(Files, ReadOnlyIsKeptAndHonoured)
{
    const char *path = "C:\\WINDOWS\\SYSTEM\\ro.dll";
    MakeFile(path, "locked");
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
              GetFileAttributesA("c:\\windows\\system\\RO.DLL"));

    bool opened = false;
    EXPECT_EQ(ERROR_ACCESS_DENIED, OpenError(path, GENERIC_WRITE, OPEN_EXISTING, &opened));
    EXPECT_FALSE(opened);
    EXPECT_EQ(ERROR_ACCESS_DENIED, OpenError(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, &opened));
    EXPECT_EQ(ERROR_ACCESS_DENIED, OpenError(path, GENERIC_READ, CREATE_ALWAYS, &opened));
    EXPECT_EQ(ERROR_ACCESS_DENIED, OpenError(path, GENERIC_WRITE, TRUNCATE_EXISTING, &opened));
    EXPECT_EQ("locked", ReadWhole(path));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    MakeFile("C:\\WINDOWS\\SYSTEM\\new.dll", "new");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\SYSTEM\\new.dll", path, FALSE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("locked", ReadWhole(path));

    // Cleared again, the file can be changed and deleted, and the table
    // forgets it: a new file of that name is an ordinary one.
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_NORMAL), GetFileAttributesA(path));
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA(path));
    ASSERT_TRUE(SetFileAttributesA(path, GetFileAttributesA(path) & ~FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFileA(path));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    MakeFile(path, "fresh");
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(path));

    // A file created read-only is writable through the handle that made it.
    HANDLE file =
        CreateFileA("C:\\WINDOWS\\made.ro", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_TRUE(WriteFile(file, "x", 1, nullptr, nullptr));
    CloseHandle(file);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA("C:\\WINDOWS\\made.ro"));
}

TEST_F(Files, AttributesOfFoldersAndMissingPaths)
{
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\WINDOWS\\SYSTEM"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA("C:\\"));
    ASSERT_TRUE(SetFileAttributesA("C:\\WINDOWS\\INF", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA("c:\\windows\\inf"));

    // A host file without an entry is an archived file.
    WriteHostFile(MachineDir() + "/drive_c/Windows/plain.txt", "x");
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA("C:\\WINDOWS\\PLAIN.TXT"));

    struct {
        const char *path;
        DWORD error;
    } missing[] = {{"C:\\WINDOWS\\none.txt", ERROR_FILE_NOT_FOUND},
                   {"C:\\NONE\\none.txt", ERROR_PATH_NOT_FOUND},
                   {"C:\\WINDOWS\\PLAIN.TXT\\x", ERROR_PATH_NOT_FOUND},
                   {"", ERROR_PATH_NOT_FOUND},
                   {nullptr, ERROR_INVALID_PARAMETER}};
    for (const auto &m : missing) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m.path)) << (m.path ? m.path : "null");
        EXPECT_EQ(m.error, GetLastError()) << (m.path ? m.path : "null");
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(SetFileAttributesA(m.path, FILE_ATTRIBUTE_NORMAL));
        EXPECT_EQ(m.error, GetLastError());
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(DeleteFileA(m.path));
        EXPECT_EQ(m.error, GetLastError());
    }
    // DeleteFileA leaves folders alone.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\TEMP"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_TRUE(std::filesystem::is_directory(MachineDir() + "/drive_c/Windows/Temp"));
}

TEST_F(Files, CopyFile)
{
    const char *source = "C:\\WINDOWS\\SYSTEM\\src.exe";
    const char *target = "C:\\WINDOWS\\SYSTEM\\00001234.ex_";
    MakeFile(source, "program");
    ASSERT_EQ(0, chmod(HostPath(source).c_str(), 0755));
    ASSERT_TRUE(SetFileAttributesA(source, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM));

    SetLastError(0xdeadbeef);
    ASSERT_TRUE(CopyFileA(source, target, TRUE));
    EXPECT_EQ("program", ReadWhole(target));
    // The copy keeps the source's attributes and the host's mode bits.
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM), GetFileAttributesA(target));
    struct stat info;
    ASSERT_EQ(0, stat(HostPath(target).c_str(), &info));
    EXPECT_EQ(0755u, info.st_mode & 0777);

    // Fail-if-exists, and a read-only target, leave the target alone.
    ASSERT_TRUE(SetFileAttributesA(source, FILE_ATTRIBUTE_ARCHIVE));
    MakeFile(source, "version 2");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(source, target, TRUE));
    EXPECT_EQ(ERROR_FILE_EXISTS, GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CopyFileA(source, target, FALSE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ("program", ReadWhole(target));
    ASSERT_TRUE(SetFileAttributesA(target, FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(CopyFileA(source, "c:\\windows\\system\\00001234.EX_", FALSE));
    EXPECT_EQ("version 2", ReadWhole(target));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(target));

    struct {
        const char *from, *to;
        DWORD error;
    } refused[] = {{"C:\\WINDOWS\\SYSTEM\\none.exe", target, ERROR_FILE_NOT_FOUND},
                   {"C:\\NONE\\none.exe", target, ERROR_PATH_NOT_FOUND},
                   {source, "C:\\NONE\\copy.exe", ERROR_PATH_NOT_FOUND},
                   {"C:\\WINDOWS\\SYSTEM", target, ERROR_ACCESS_DENIED},
                   {source, "C:\\WINDOWS\\SYSTEM", ERROR_ACCESS_DENIED},
                   {source, "c:\\windows\\system\\SRC.EXE", ERROR_SHARING_VIOLATION},
                   {nullptr, target, ERROR_INVALID_PARAMETER},
                   {source, nullptr, ERROR_INVALID_PARAMETER}};
    for (const auto &r : refused) {
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CopyFileA(r.from, r.to, FALSE)) << (r.from ? r.from : "null");
        EXPECT_EQ(r.error, GetLastError()) << (r.from ? r.from : "null") << " -> " << (r.to ? r.to : "null");
    }
    EXPECT_EQ("version 2", ReadWhole(source));
    // No temporary file is left behind.
    EXPECT_EQ((std::vector<std::string>{"00001234.ex_", "VMM32", "src.exe"}),
              HostNames(MachineDir() + "/drive_c/Windows/System"));
}

TEST_F(Files, DeleteForgetsTheAttributes)
{
    const char *path = "C:\\WINDOWS\\gone.txt";
    MakeFile(path, "x");
    ASSERT_TRUE(SetFileAttributesA(path, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(DeleteFileA("c:\\windows\\GONE.TXT"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(path));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    // A file that appears again by other means does not inherit them.
    WriteHostFile(MachineDir() + "/drive_c/Windows/gone.txt", "y");
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(path));
}

// The file work of the machine tool.
TEST_F(Files, MachineToolFileWork)
{
    using namespace win9x::layer;
    const char *agent = "C:\\WINDOWS\\SYSTEM\\ovlcin00.exe";
    const char *copy = "C:\\WINDOWS\\SYSTEM\\00001234.ex_";
    std::string host = dir_.path() + "/host.bin";
    WriteHostFile(host, "from the host");

    // A host file onto drive C:, into folders that do not exist yet.
    EXPECT_EQ(DWORD(ERROR_SUCCESS), CopyHostFile(host, "C:\\PROGRA~1\\Orvane\\setup.exe"));
    EXPECT_EQ("from the host", ReadWhole("C:\\PROGRA~1\\ORVANE\\SETUP.EXE"));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), CopyHostFile(dir_.path() + "/none", agent));

    // The restart-time rename replaces a read-only target; the attributes
    // go with the file.
    EXPECT_EQ(DWORD(ERROR_SUCCESS), CopyHostFile(host, agent, FILE_ATTRIBUTE_READONLY));
    MakeFile(copy, "restore copy");
    ASSERT_TRUE(SetFileAttributesA(copy, FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), MoveFileOver("c:\\windows\\system\\00001234.EX_", agent));
    EXPECT_EQ("restore copy", ReadWhole(agent));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA(agent));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(copy));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), MoveFileOver(copy, agent));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), MoveFileOver(agent, "C:\\NONE\\x"));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), MoveFileOver(agent, "C:\\WINDOWS\\SYSTEM\\OVLCIN00.EXE"));
    EXPECT_EQ("restore copy", ReadWhole(agent));

    // A forced delete takes read-only files too.
    ASSERT_TRUE(SetFileAttributesA(agent, FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), DeleteFileForce(agent));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(agent));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), DeleteFileForce(agent));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), DeleteFileForce("C:\\WINDOWS"));
    WriteHostFile(MachineDir() + "/drive_c/Windows/System/ovlcin00.exe", "again");
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesA(agent));
}

}  // namespace
