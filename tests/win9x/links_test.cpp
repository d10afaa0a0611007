// Symbolic links in a machine folder: Windows 9x's drives have none, so a
// call that meets one fails with access denied, and nothing outside the
// machine folder is ever read, written, moved or deleted through one.
#include <unistd.h>

#include <filesystem>

#include "kernel32/files.h"
#include "support/machine_fixture.h"

using ovltest::ReadHostFile;
using ovltest::WriteHostFile;

namespace {

namespace fs = std::filesystem;

class Links : public ovltest::MachineTest {
protected:
    void SetUp() override
    {
        MachineTest::SetUp();
        WriteHostFile(Victim(), kHostData);
    }
    // A host file outside the machine that no call may touch.
    std::string Victim() const { return host_.path() + "/victim"; }
    void Plant(const std::string &target, const std::string &inMachine)
    {
        ASSERT_EQ(0, symlink(target.c_str(), (MachineDir() + "/" + inMachine).c_str())) << inMachine;
    }
    // The host folder holds the victim alone, as it was.
    void ExpectHostUntouched()
    {
        EXPECT_EQ(kHostData, ReadHostFile(Victim()));
        size_t names = 0;
        for (const auto &entry : fs::directory_iterator(host_.path()))
            names += entry.path().filename() == "victim" ? 1 : 100;
        EXPECT_EQ(1u, names) << "a file came or went outside the machine";
    }
    static constexpr const char *kHostData = "[rename]\r\nNUL=host\r\n";
    ovltest::TempDir host_;
};

// Seeds the last error, runs `call` and checks that it failed with access
// denied; `failed` tells failure from the call's result.
template <class Call, class Failed>
void ExpectDenied(const char *what, Call call, Failed failed)
{
    SetLastError(0xdeadbeef);
    auto result = call();
    EXPECT_TRUE(failed(result)) << what;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << what;
}

bool IsFalse(BOOL result)
{
    return !result;
}

bool IsInvalidHandle(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(handle);
    return false;
}

TEST_F(Links, AFolderOnDriveCThatIsALinkLeadsNowhere)
{
    Plant(host_.path(), "drive_c/Windows/lnk");
    WriteHostFile(HostPath("C:\\WINDOWS\\mine.txt"), "mine");
    const char *inside = "C:\\WINDOWS\\LNK\\victim";
    for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, OPEN_ALWAYS, TRUNCATE_EXISTING}) {
        ExpectDenied("CreateFileA", [&] {
            return CreateFileA(inside, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
        }, IsInvalidHandle);
    }
    ExpectDenied("CreateFileA of a new file", [&] {
        return CreateFileA("C:\\WINDOWS\\lnk\\new", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    }, IsInvalidHandle);
    ExpectDenied("DeleteFileA", [&] { return DeleteFileA(inside); }, IsFalse);
    ExpectDenied("GetFileAttributesA", [&] { return GetFileAttributesA(inside); },
                 [](DWORD a) { return a == INVALID_FILE_ATTRIBUTES; });
    ExpectDenied("GetFileAttributesA of the link", [&] { return GetFileAttributesA("C:\\WINDOWS\\lnk"); },
                 [](DWORD a) { return a == INVALID_FILE_ATTRIBUTES; });
    ExpectDenied("SetFileAttributesA", [&] { return SetFileAttributesA(inside, FILE_ATTRIBUTE_HIDDEN); }, IsFalse);
    ExpectDenied("CopyFileA out", [&] { return CopyFileA(inside, "C:\\WINDOWS\\copy", FALSE); }, IsFalse);
    ExpectDenied("CopyFileA in", [&] { return CopyFileA("C:\\WINDOWS\\mine.txt", inside, FALSE); }, IsFalse);
    ExpectDenied("WritePrivateProfileStringA",
                 [&] { return WritePrivateProfileStringA("rename", "NUL", "x", inside); }, IsFalse);
    // The restart's file work goes the same way.
    using namespace win9x::layer;
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), DeleteFileForce(inside));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), MoveFileOver(inside, "C:\\WINDOWS\\moved"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), MoveFileOver("C:\\WINDOWS\\mine.txt", inside));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), CopyHostFile(Victim(), "C:\\WINDOWS\\lnk\\sub\\new"));
    ExpectHostUntouched();
    EXPECT_EQ("mine", ReadHostFile(HostPath("C:\\WINDOWS\\mine.txt")));
    EXPECT_FALSE(fs::exists(HostPath("C:\\WINDOWS\\copy")));
    EXPECT_FALSE(fs::exists(HostPath("C:\\WINDOWS\\moved")));
}

TEST_F(Links, AFileOnDriveCThatIsALinkIsNeitherOpenedNorRemoved)
{
    Plant(Victim(), "drive_c/Windows/win.ini");
    for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, OPEN_ALWAYS, TRUNCATE_EXISTING, CREATE_NEW}) {
        ExpectDenied("CreateFileA", [&] {
            return CreateFileA("C:\\WINDOWS\\WIN.INI", GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, 0,
                               nullptr);
        }, IsInvalidHandle);
    }
    ExpectDenied("DeleteFileA", [&] { return DeleteFileA("C:\\WINDOWS\\WIN.INI"); }, IsFalse);
    ExpectDenied("WriteProfileStringA", [&] { return WritePrivateProfileStringA("rename", "NUL", "x", "WIN.INI"); }, IsFalse);
    char text[64] = "seed";
    GetPrivateProfileStringA("rename", "NUL", "none", text, sizeof text, "WIN.INI");
    EXPECT_STREQ("none", text) << "a profile read went through the link";
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), win9x::layer::DeleteFileForce("C:\\WINDOWS\\WIN.INI"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
              win9x::layer::CopyHostFile(Victim(), "C:\\WINDOWS\\WIN.INI"));
    EXPECT_TRUE(fs::is_symlink(MachineDir() + "/drive_c/Windows/win.ini"));
    ExpectHostUntouched();
}

TEST_F(Links, LockFilesAndReceivedFilesThatAreLinksAreNotFollowed)
{
    // A named mutex's lock file is emptied when the mutex is new.
    Plant(Victim(), "locks/mutex-Plain.lock");
    SetLastError(0xdeadbeef);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "Plain");
    EXPECT_EQ(nullptr, mutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    Plant(Victim(), "locks/profile.lock");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(WritePrivateProfileStringA("windows", "x", "y", "SYSTEM.INI"));
    // The printer's received bytes are cut back to what was committed.
    ASSERT_TRUE(win9x::machine::AddPrinter("USB\\VID_7E51&PID_0114\\X1", "X1", ""));
    Plant(Victim(), "printer-1.received");
    EXPECT_FALSE(win9x::machine::ClearReceived("USB\\VID_7E51&PID_0114\\X1"));
    EXPECT_EQ("", win9x::machine::ReceivedBytes("USB\\VID_7E51&PID_0114\\X1"));
    ExpectHostUntouched();
}

TEST_F(Links, AMachineHoldingALinkIsNotOpenedAndSaysWhere)
{
    win9x::machine::Close();
    for (const char *place : {"drive_c/Windows/System/lnk", "locks/x.lock", "printer-1.received",
                              "registry.db-wal", "machine.db-shm", "registry.db-changes"}) {
        SCOPED_TRACE(place);
        std::string path = MachineDir() + "/" + place;
        std::error_code ec;
        fs::rename(path, path + ".aside", ec);  // a file the machine has is set aside meanwhile
        Plant(Victim(), place);
        std::string error;
        EXPECT_FALSE(win9x::machine::Open(MachineDir(), &error));
        EXPECT_EQ(path + ": is a symbolic link", error);
        ASSERT_TRUE(fs::remove(path));
        fs::rename(path + ".aside", path, ec);
    }
    // A database that is a link is named too, not taken as missing.
    fs::rename(MachineDir() + "/machine.db", host_.path() + "/machine.db");
    Plant(host_.path() + "/machine.db", "machine.db");
    std::string error;
    EXPECT_FALSE(win9x::machine::Open(MachineDir(), &error));
    EXPECT_EQ(MachineDir() + "/machine.db: is a symbolic link", error);
    fs::remove(host_.path() + "/machine.db");
    ExpectHostUntouched();
}

}  // namespace
