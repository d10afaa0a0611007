// The ovlsim program's command-line contract: one-line errors with a
// non-zero status, refusals that change nothing, init that will not
// overwrite, and the REGEDIT4 commands end to end.
#include <algorithm>
#include <filesystem>

#include "support/machine_fixture.h"

namespace {

using ovltest::ProgramOutput;
using ovltest::RunProgramCaptured;
using ovltest::TestProgram;

class OvlsimCli : public ::testing::Test {
protected:
    ProgramOutput Ovlsim(std::vector<std::string> args)
    {
        args.insert(args.begin(), {TestProgram("ovlsim"), "--machine", Machine()});
        return RunProgramCaptured(Machine(), args);
    }
    std::string Machine() const { return dir_.path() + "/m"; }
    static bool OneLineError(const ProgramOutput &run)
    {
        return run.status != 0 && run.err.rfind("ovlsim: ", 0) == 0 && run.err.find('\n') == run.err.size() - 1;
    }
    ovltest::TempDir dir_;
};

TEST_F(OvlsimCli, InitCreatesAMachineAndRefusesToReplaceItWithoutForce)
{
    ProgramOutput first = Ovlsim({"init"});
    ASSERT_EQ(0, first.status) << first.err;
    ProgramOutput export98 = Ovlsim({"reg", "export", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion"});
    ASSERT_EQ(0, export98.status) << export98.err;
    EXPECT_EQ(0u, export98.out.find("REGEDIT4\n"));
    EXPECT_NE(std::string::npos, export98.out.find("\"Version\"=\"Windows 98\""));

    ProgramOutput again = Ovlsim({"init"});
    EXPECT_TRUE(OneLineError(again)) << again.err;
    EXPECT_NE(std::string::npos, again.err.find("--force"));
    ASSERT_EQ(0, Ovlsim({"init", "--os", "me", "--force"}).status);
    EXPECT_NE(std::string::npos,
              Ovlsim({"reg", "export", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"})
                  .out.find("\"Version\"=\"Windows Millennium Edition\""));
}

TEST_F(OvlsimCli, BadArgumentsAreRefusedWithOneLineAndChangeNothing)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ASSERT_EQ(0, Ovlsim({"plug", "Sorrelink 640", "X1"}).status);
    ASSERT_EQ(0, Ovlsim({"ports"}).status);  // the monitor names its port once
    std::string before = Ovlsim({"reg", "export"}).out;
    const std::string port = "USB/Sorrelink 640/X1";
    const std::vector<std::vector<std::string>> refused = {
        {"plug", "", "X1"},
        {"plug", "Sorrelink 640", ""},
        {"plug", "Sorrelink 640", "X 1"},
        {"plug", "Sorrelink 640", "X\\1"},
        {"plug", "Sorrelink-640", "X1"},
        {"plug", "Sorrelink\\640", "X1"},
        {"plug", "Sorrelink 640", "../../etc"},  // the wizard would take "etc" for its serial number
        {"plug", "Sorrelink/640", "X2"},
        {"plug", "Sorrelink 640", "X\n2"},       // a control character, shown without breaking the line
        {"plug", "Sorrelink\t640", "X2"},
        {"remove", "X1", "--model", "a\\b"},     // refused before the agent unregisters anything
        {"remove", "X/1", "--model", "Sorrelink 640"},
        {"print", port, "/etc/hostname", "--timeout", "nan"},
        {"print", port, "/etc/hostname", "--timeout", "inf"},
        {"print", port, "/etc/hostname", "--timeout", "-1"},
        {"printer", "X1", "--load-paper", "99999999999999999999"},
        {"usbcheck", "--script", ""},
        {"usbcheck", "--script", dir_.path()},
        {"plug", "Sorrelink 640", "X1", "--product-id", "12345"},
        {"plug", "Sorrelink 640", "X1", "--product-id", "01G4"},
        {"unplug", "NOPE"},
        {"printer", "NOPE"},
        {"remove", "NOPE"},
        {"reg", "export", "HKEY_NOWHERE\\X"},
        {"reg", "import", dir_.path() + "/missing.reg"},
        {"print", "USB/Nothing/Here", "/etc/hostname", "--timeout", "1"},
        {"init", "--os", "3.1"},
        {"frobnicate"},
    };
    for (const auto &args : refused) {
        ProgramOutput run = Ovlsim(args);
        EXPECT_TRUE(OneLineError(run)) << args[0] << ": status " << run.status << ", " << run.err;
    }
    EXPECT_EQ(before, Ovlsim({"reg", "export"}).out);
    EXPECT_EQ("", Ovlsim({"printer", "X1", "--received"}).out);
    EXPECT_NE(std::string::npos, Ovlsim({"printer", "X1"}).out.find("paper      unlimited"));
}

// A value that echoes in a message cannot break its line nor drive the
// terminal: its control characters are shown as \xNN.
TEST_F(OvlsimCli, MessagesEscapeTheControlCharactersOfWhatTheyEcho)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ASSERT_EQ(0, Ovlsim({"plug", "Sorrelink 640", "X1"}).status);
    const std::string hostile = "\t\n\r\x1b[2J";
    const std::string port = "USB/Sorrelink 640/X1";
    const std::vector<std::vector<std::string>> commands = {
        {"unplug", hostile},
        {"printer", hostile},
        {"remove", hostile},
        {"printer", "X1", "--load-paper", hostile},
        {"printer", "X1", "--device-id", hostile},
        {"print", hostile, "/etc/hostname"},
        {"print", port, hostile},
        {"print", port, "/etc/hostname", "--timeout", hostile},
        {"reg", "import", hostile},
        {"reg", "export", "HKEY_LOCAL_MACHINE\\" + hostile},
        {"usbcheck", "--script", hostile},
        {"init", "--os", hostile},
        {"ports", "--level", hostile},
        {"shell", hostile},
    };
    for (const auto &args : commands) {
        ProgramOutput run = Ovlsim(args);
        EXPECT_TRUE(OneLineError(run)) << args[0] << ": status " << run.status << ", " << run.err;
        std::string line = run.err.substr(0, run.err.size() - 1);
        EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
            << args[0] << ": " << run.err;
    }
    ProgramOutput unplug = Ovlsim({"unplug", hostile});
    EXPECT_NE(std::string::npos, unplug.err.find("'\\x09\\x0a\\x0d\\x1b[2J'")) << unplug.err;
}

// Values that would be taken quietly for something else are refused in one
// line, and change nothing.
TEST_F(OvlsimCli, DoubtfulValuesAreRefused)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ASSERT_EQ(0, Ovlsim({"plug", "Sorrelink 640", "X1"}).status);
    std::string before = Ovlsim({"reg", "export"}).out;
    std::string printer = Ovlsim({"printer", "X1"}).out;
    const std::vector<std::vector<std::string>> refused = {
        {"remove", "X1", "--model", "NOSUCH"},         // the agent would find nothing of it to purge
        {"remove", "X1", "--model", "Sorrelink 880"},  // X1 is a 640
        {"remove", "X9", "--model", "Sorrelink 880"},  // nothing of the model is installed
        {"printer", "X1", "--fail-control", ""},
        {"printer", "X1", "--fail-control", "4294967296"},
        {"printer", "X1", "--device-id", std::string(100000, 'A')},
        {"printer", "X1", "--device-id", std::string(65534, 'A')},
        {"printer", "X1", "--device-id", "MFG:Orvane;\x01"},
        {"printer", "X1", "--device-id", "MFG:Orvane;\xe9"},
    };
    for (const auto &args : refused) {
        ProgramOutput run = Ovlsim(args);
        EXPECT_TRUE(OneLineError(run)) << args[0] << " " << args[2] << ": status " << run.status << ", "
                                       << run.err.substr(0, 200);
    }
    for (const auto &args : {std::vector<std::string>{TestProgram("ovlsim"), "--machine", "", "ports"},
                             std::vector<std::string>{TestProgram("ovlsim"), "ports", "--machine", ""}}) {
        ProgramOutput run = RunProgramCaptured(Machine(), args);
        EXPECT_TRUE(OneLineError(run)) << run.err;
        EXPECT_NE(std::string::npos, run.err.find("--machine takes a directory")) << run.err;
    }
    EXPECT_EQ(before, Ovlsim({"reg", "export"}).out);
    EXPECT_EQ(printer, Ovlsim({"printer", "X1"}).out);

    // The longest device ID and the model as installed are taken.
    EXPECT_EQ(0, Ovlsim({"printer", "X1", "--device-id", std::string(65533, 'A')}).status);
    ProgramOutput removal = Ovlsim({"remove", "X1", "--model", "sorrelink 640"});
    EXPECT_EQ(0, removal.status) << removal.err;
}

// reg import reads regular files up to its stated size, before it reads a
// byte: a device, a folder or a huge file is refused in one line.
TEST_F(OvlsimCli, RegImportTakesRegularFilesOfBoundedSize)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    std::string huge = dir_.path() + "/huge.reg";
    ovltest::WriteHostFile(huge, "REGEDIT4\n");
    std::filesystem::resize_file(huge, (64u << 20) + 1);  // sparse: no disk taken
    for (const std::string &path : {std::string("/dev/null"), dir_.path(), huge}) {
        ProgramOutput run = Ovlsim({"reg", "import", path});
        EXPECT_TRUE(OneLineError(run)) << path << ": " << run.err;
        EXPECT_NE(std::string::npos, run.err.find(path == huge ? "at most 64 MiB" : "is not a regular file"))
            << run.err;
    }
}

// A NUL in a key name would cut the path there and the values would land on
// another key: the import is refused at its line, nothing applied.
TEST_F(OvlsimCli, RegImportRefusesAKeyNameWithANul)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    std::string reg = dir_.path() + "/nul.reg";
    ovltest::WriteHostFile(reg, std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A") + '\0' + "B]\n\"v\"=\"1\"\n");
    ProgramOutput run = Ovlsim({"reg", "import", reg});
    EXPECT_TRUE(OneLineError(run)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("nul.reg:3: a key name cannot hold a NUL character")) << run.err;
    EXPECT_NE(0, Ovlsim({"reg", "export", "HKLM\\Software\\A"}).status);
}

TEST_F(OvlsimCli, AnIncompleteMachineIsRefusedNeverCompleted)
{
    for (const char *part : {"machine.db", "registry.db", "drive_c"}) {
        SCOPED_TRACE(part);
        ASSERT_EQ(0, Ovlsim({"init", "--force"}).status);
        std::filesystem::remove_all(Machine() + "/" + part);
        for (std::vector<std::string> command : {std::vector<std::string>{"reg", "export"},
                                                 {"plug", "Sorrelink 640", "X1"}, {"restart"}, {"init"}}) {
            ProgramOutput run = Ovlsim(command);
            EXPECT_TRUE(OneLineError(run)) << command[0] << ": " << run.err;
            EXPECT_NE(std::string::npos, run.err.find("the machine in " + Machine() + " is incomplete (" + part +
                                                      " missing); `ovlsim init --force` makes a new one"))
                << run.err;
            EXPECT_FALSE(std::filesystem::exists(Machine() + "/" + part)) << command[0];
        }
    }
    ASSERT_EQ(0, Ovlsim({"init", "--force"}).status);
    EXPECT_EQ(0, Ovlsim({"plug", "Sorrelink 640", "X1"}).status);
}

TEST_F(OvlsimCli, AFileThatCannotBeInstalledIsReportedWithItsReason)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ASSERT_TRUE(std::filesystem::create_directory(Machine() + "/drive_c/Windows/System/ovlpom00.dll"));
    ProgramOutput run = Ovlsim({"plug", "Sorrelink 640", "X1"});
    EXPECT_TRUE(OneLineError(run)) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("ovlpom00.dll: Is a directory")) << run.err;
}

TEST_F(OvlsimCli, AMalformedRegFileIsRefusedWholeWithItsLineNumber)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    std::string reg = dir_.path() + "/bad.reg";
    ovltest::WriteHostFile(reg, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Good]\n\"a\"=\"b\"\n"
                                "[HKEY_LOCAL_MACHINE\\Software\\Bad]\n\"n\"=dword:xyz\n");
    ProgramOutput run = Ovlsim({"reg", "import", reg});
    EXPECT_TRUE(OneLineError(run));
    EXPECT_NE(std::string::npos, run.err.find("bad.reg:6:")) << run.err;
    EXPECT_NE(0, Ovlsim({"reg", "export", "HKLM\\Software\\Good"}).status);

    // Well formed, but beyond what the registry holds: refused at its line.
    std::string tooLong = dir_.path() + "/long.reg";
    ovltest::WriteHostFile(tooLong, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Good]\n\"a\"=\"b\"\n\"" +
                                        std::string(20000, 'n') + "\"=\"x\"\n\"z\"=\"c\"\n");
    run = Ovlsim({"reg", "import", tooLong});
    EXPECT_TRUE(OneLineError(run));
    EXPECT_NE(std::string::npos, run.err.find("long.reg:5: cannot write value")) << run.err.substr(0, 200);
    EXPECT_NE(0, Ovlsim({"reg", "export", "HKLM\\Software\\Good"}).status);

    std::string good = dir_.path() + "/good.reg";
    ovltest::WriteHostFile(good, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Good]\r\n\"a\"=\"b\"\r\n");
    ASSERT_EQ(0, Ovlsim({"reg", "import", good}).status);
    EXPECT_NE(std::string::npos, Ovlsim({"reg", "export", "HKLM\\Software\\Good"}).out.find("\"a\"=\"b\""));
}

TEST_F(OvlsimCli, HelpIsThereForEveryCommand)
{
    for (const char *command : {"init", "reg", "plug", "unplug", "printer", "ports", "print", "remove", "restart",
                                "shell", "usbcheck", "demo"}) {
        ProgramOutput run = RunProgramCaptured(Machine(), {TestProgram("ovlsim"), command, "--help"});
        EXPECT_EQ(0, run.status) << command;
        EXPECT_NE(std::string::npos, run.out.find("Usage:")) << command;
    }
}

TEST_F(OvlsimCli, VersionIsTheProjectVersionWithoutACommand)
{
    ProgramOutput run = RunProgramCaptured(Machine(), {TestProgram("ovlsim"), "--version"});
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(OVL_PROJECT_VERSION "\n", run.out);
}

}  // namespace

namespace {

// A printer whose driver has not written its interface's values yet: its
// interface carries only its link, so the port monitor gives it the
// default port name, writing it into the interface's own key.
TEST_F(OvlsimCli, PrinterWithItsValuesPendingGetsTheDefaultPortName)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ProgramOutput plug = Ovlsim({"plug", "Sorrelink 640", "X1", "--values-pending"});
    ASSERT_EQ(0, plug.status) << plug.err;
    const std::string interface =
        "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\{7c2e5a10-3b4f-4d6a-9e21-"
        "5f8c0b1d2e3a}\\##?#USB#VID_7E51&PID_0114#X1#{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}";
    std::string before = Ovlsim({"reg", "export", interface}).out;
    EXPECT_NE(std::string::npos, before.find("\\#]\n\"SymbolicLink\"=\"\\\\\\\\?\\\\usb#vid_7e51&pid_0114#x1#"))
        << before;
    EXPECT_EQ(std::string::npos, before.find("Device Parameters")) << before;

    ProgramOutput ports = Ovlsim({"ports"});
    ASSERT_EQ(0, ports.status) << ports.err;
    EXPECT_NE(std::string::npos, ports.out.find("USB/Sorrelink/Unknown")) << ports.out;
    EXPECT_NE(std::string::npos,
              Ovlsim({"reg", "export", interface + "\\#\\Device Parameters"}).out.find(
                  "\"PortName\"=\"USB/Sorrelink/Unknown\""));
}

// A first plug that stops before the agent: the device is announced and
// its model installed, the agent's command line printed, nothing of the
// agent's own work done.
TEST_F(OvlsimCli, PlugWithoutAgentLeavesTheInstallToTheCaller)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ProgramOutput plug = Ovlsim({"plug", "Sorrelink 640", "X1", "--without-agent"});
    ASSERT_EQ(0, plug.status) << plug.err;
    EXPECT_NE(std::string::npos,
              plug.out.find("left to the caller: C:\\WINDOWS\\SYSTEM\\ovlcin00.exe -action=2 -model=Sorrelink 640 "
                            "-serial=X1\n"))
        << plug.out;
    EXPECT_EQ(0, Ovlsim({"reg", "export", "HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_7E51&PID_0114\\X1"}).status);
    EXPECT_NE(0, Ovlsim({"reg", "export", "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\"
                                          "Monitors\\X1"}).status);
    EXPECT_FALSE(std::filesystem::exists(Machine() + "/drive_c/Windows/wininit.ini"));
}

// The shared pages are made with the machine. One that is missing, cut or
// replaced is never made afresh by the next process (which would then count
// on a page of its own): the machine is incomplete.
TEST_F(OvlsimCli, AMachineWhoseSharedPageIsMissingOrDamagedIsIncomplete)
{
    namespace fs = std::filesystem;
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    for (const char *page : {"registry.db-changes", "machine.db-changes"})
        EXPECT_EQ(4096u, fs::file_size(Machine() + "/" + page)) << page;
    struct Damage {
        const char *what;
        void (*apply)(const std::string &path);
        const char *message;
    };
    const Damage damages[] = {
        {"removed", [](const std::string &path) { fs::remove(path); }, " missing)"},
        {"cut", [](const std::string &path) { fs::resize_file(path, 100); }, " not a file of 4096 bytes)"},
        {"a folder",
         [](const std::string &path) {
             fs::remove(path);
             fs::create_directory(path);
         },
         " not a file of 4096 bytes)"},
    };
    for (const char *page : {"registry.db-changes", "machine.db-changes"}) {
        for (const auto &damage : damages) {
            SCOPED_TRACE(std::string(page) + " " + damage.what);
            ASSERT_EQ(0, Ovlsim({"init", "--force"}).status);
            damage.apply(Machine() + "/" + page);
            ProgramOutput run = Ovlsim({"reg", "export"});
            EXPECT_TRUE(OneLineError(run)) << run.err;
            EXPECT_NE(std::string::npos, run.err.find("the machine in " + Machine() + " is incomplete (" + page +
                                                      damage.message + "; `ovlsim init --force` makes a new one"))
                << run.err;
            EXPECT_FALSE(fs::is_regular_file(Machine() + "/" + page) &&
                         fs::file_size(Machine() + "/" + page) == 4096u)
                << "the page was made again";
        }
    }
    ASSERT_EQ(0, Ovlsim({"init", "--force"}).status);
    EXPECT_EQ(0, Ovlsim({"reg", "export"}).status);
}

// A rename section larger than any first guess is carried out whole: an
// entry that a short read would cut ("...keep.dll" of "...keep.dll.old")
// is never acted on, and the entries after it are not dropped.
TEST_F(OvlsimCli, RestartCarriesOutARenameSectionOfAnySizeWhole)
{
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    std::string windows = Machine() + "/drive_c/Windows/";
    for (const char *name : {"keep.dll", "keep.dll.old", "after.txt"})
        ovltest::WriteHostFile(windows + name, name);
    const std::string cutHere = "NUL=C:\\WINDOWS\\keep.dll";
    std::string ini = "[rename]\r\n";
    size_t sectionBytes = 0;  // the section as the profile call lists it: each line and a NUL
    const size_t before = 65534 - cutHere.size();
    for (int i = 0; sectionBytes < before; ++i) {
        std::string line = ovltest::Numbered("NUL=C:\\WINDOWS\\TEMP\\missing", i);
        if (before - sectionBytes < line.size() + 1 + 32)
            line += std::string(before - sectionBytes - line.size() - 1, 'x');
        ini += line + "\r\n";
        sectionBytes += line.size() + 1;
    }
    ini += cutHere + ".old\r\nNUL=C:\\WINDOWS\\after.txt\r\n";
    ovltest::WriteHostFile(windows + "wininit.ini", ini);
    ProgramOutput run = Ovlsim({"restart"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("keep.dll", ovltest::ReadHostFile(windows + "keep.dll"));
    EXPECT_FALSE(std::filesystem::exists(windows + "keep.dll.old"));
    EXPECT_FALSE(std::filesystem::exists(windows + "after.txt"));
    EXPECT_TRUE(std::filesystem::exists(windows + "WININIT.BAK"));
}

TEST_F(OvlsimCli, ALinkInTheMachineIsNamedAndNothingOutsideIsTouched)
{
    namespace fs = std::filesystem;
    ASSERT_EQ(0, Ovlsim({"init"}).status);
    ASSERT_EQ(0, Ovlsim({"plug", "Sorrelink 640", "X1"}).status);
    std::string host = dir_.path() + "/host";
    fs::create_directory(host);
    const std::string data = "host data\n";
    ovltest::WriteHostFile(host + "/victim", data);
    ovltest::WriteHostFile(dir_.path() + "/job", "a job\n");
    ovltest::WriteHostFile(Machine() + "/drive_c/Windows/wininit.ini", "[rename]\r\nNUL=C:\\Windows\\lnk\\victim\r\n");
    struct Case {
        std::string place;
        std::string target;
        std::vector<std::string> command;
    };
    const std::vector<Case> cases = {
        {"drive_c/Windows/lnk", host, {"restart"}},
        {"locks/mutex-OvlsimHostFiles.lock", host + "/victim", {"plug", "Sorrelink 640", "X2"}},
        {"printer-1.received", host + "/victim", {"print", "USB/Sorrelink 640/X1", dir_.path() + "/job"}},
        {"printer-1.received", host + "/victim", {"printer", "X1", "--received"}},
        {"registry.db-shm", host + "/victim", {"reg", "export"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.place);
        std::string path = Machine() + "/" + c.place;
        std::error_code ec;
        fs::rename(path, path + ".aside", ec);
        fs::create_symlink(c.target, path);
        ProgramOutput run = Ovlsim(c.command);
        EXPECT_TRUE(OneLineError(run)) << run.err;
        EXPECT_EQ("ovlsim: " + path + ": is a symbolic link\n", run.err);
        EXPECT_EQ(data, ovltest::ReadHostFile(host + "/victim"));
        fs::remove(path);
        fs::rename(path + ".aside", path, ec);
    }
    // check names a link among the problems and reads nothing through it.
    fs::rename(Machine() + "/registry.db-wal", Machine() + "/registry.db-wal.aside");
    fs::create_symlink(host + "/victim", Machine() + "/registry.db-wal");
    ProgramOutput check = Ovlsim({"check"});
    EXPECT_NE(0, check.status);
    EXPECT_EQ(Machine() + "/registry.db-wal: is a symbolic link\n", check.out);
    EXPECT_EQ(data, ovltest::ReadHostFile(host + "/victim"));
    fs::remove(Machine() + "/registry.db-wal");
    fs::rename(Machine() + "/registry.db-wal.aside", Machine() + "/registry.db-wal");
    // init --force removes the links it finds, never what they point to.
    fs::create_symlink(host, Machine() + "/drive_c/Windows/lnk");
    fs::create_symlink(host + "/victim", Machine() + "/printer-1.received");
    fs::remove(Machine() + "/registry.db-wal");
    fs::create_symlink(host + "/victim", Machine() + "/registry.db-wal");
    ASSERT_EQ(0, Ovlsim({"init", "--force"}).status);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Machine() + "/drive_c/Windows/lnk")));
    EXPECT_FALSE(fs::is_symlink(Machine() + "/registry.db-wal"));
    EXPECT_EQ(data, ovltest::ReadHostFile(host + "/victim"));
    size_t names = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(host))
        ++names;
    EXPECT_EQ(1u, names);
    EXPECT_EQ(0, Ovlsim({"reg", "export"}).status);
}

}  // namespace
