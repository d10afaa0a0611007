// Jobs and data: the job state machine of a port handle, WritePort's
// answers from the printer's status byte, ReadPort, the pass-through of
// device controls, and the Windows Me merge at the start of every job.
#include <filesystem>
#include <fstream>

#include "portmon_fixture.h"

namespace {

using namespace portmontest;
using win9x::machine::Printer;

const char kPort[] = "USB/Sorrelink 640/X1";
char kPrinterName[] = "Sorrelink 640 on X1";

class PortIo : public MonitorTest {
  protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        instance_ = Plug("Sorrelink 640", "X1");
        Initialize();
        ASSERT_TRUE(OpenPort(const_cast<LPSTR>(kPort), &port_));
        handle_ = static_cast<PPORT_HANDLE>(port_);
    }

    BOOL Start(LPSTR printer = kPrinterName) { return StartDocPort(port_, printer, 7, 1, nullptr); }

    // WritePort with the count and last error seeded.
    struct Written {
        BOOL ok;
        DWORD count;
        DWORD error;
    };
    Written WriteSeeded(const std::string &data)
    {
        Written w{FALSE, kSeed, 0};
        SetLastError(kSeed);
        w.ok = Write(port_, data, &w.count);
        w.error = GetLastError();
        return w;
    }

    std::string Received() const { return win9x::machine::ReceivedBytes(instance_); }

    std::string instance_;
    HANDLE port_ = nullptr;
    PPORT_HANDLE handle_ = nullptr;
};

TEST_F(PortIo, StartDocPortArguments)
{
    SetLastError(kSeed);
    EXPECT_FALSE(StartDocPort(nullptr, kPrinterName, 1, 1, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(kSeed);
    EXPECT_FALSE(StartDocPort(port_, nullptr, 1, 1, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(0u, handle_->Flags);
    EXPECT_EQ(0u, Opens(instance_));
}

// idle -> job open -> (busy refused) -> idle -> job open again; the second
// start leaves the first job's printer name and device alone.
TEST_F(PortIo, JobStateMachine)
{
    SetLastError(kSeed);
    ASSERT_TRUE(Start());
    EXPECT_EQ(kSeed, GetLastError());
    EXPECT_EQ(static_cast<DWORD>(PORT_HANDLE_BUSY), handle_->Flags);
    ASSERT_NE(nullptr, handle_->PrinterName);
    EXPECT_NE(kPrinterName, handle_->PrinterName);
    EXPECT_STREQ(kPrinterName, handle_->PrinterName);
    HANDLE device = handle_->Device;
    EXPECT_NE(INVALID_HANDLE_VALUE, device);
    EXPECT_NE(nullptr, device);
    EXPECT_EQ(1u, Opens(instance_));

    LPSTR printerName = handle_->PrinterName;
    char other[] = "another printer";
    SetLastError(kSeed);
    EXPECT_FALSE(Start(other));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), GetLastError());
    EXPECT_EQ(printerName, handle_->PrinterName);
    EXPECT_STREQ(kPrinterName, handle_->PrinterName);
    EXPECT_EQ(device, handle_->Device);
    EXPECT_EQ(static_cast<DWORD>(PORT_HANDLE_BUSY), handle_->Flags);
    EXPECT_TRUE(WriteSeeded("one").ok);

    SetLastError(kSeed);
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ(kSeed, GetLastError());
    EXPECT_EQ(0u, handle_->Flags);
    EXPECT_EQ(nullptr, handle_->Device);
    EXPECT_EQ(nullptr, handle_->PrinterName);
    EXPECT_EQ(0u, Opens(instance_));
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_TRUE(EndDocPort(nullptr));
    EXPECT_EQ(nullptr, handle_->Device);

    ASSERT_TRUE(Start(other));
    EXPECT_STREQ(other, handle_->PrinterName);
    EXPECT_TRUE(WriteSeeded("two").ok);
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ("onetwo", Received());
}

// A start that cannot open the device fails with CreateFileA's error,
// leaves the handle idle without a printer name, and a later start (once
// the cause is gone) succeeds.
TEST_F(PortIo, FailedStartsLeaveTheHandleUsable)
{
    struct Case {
        const char *what;
        std::function<void(Printer &)> breakIt, mendIt;
        DWORD error;
    };
    const Case cases[] = {
        {"detached", [](Printer &p) { p.attached = false; }, [](Printer &p) { p.attached = true; },
         ERROR_FILE_NOT_FOUND},
        {"opens fail", [](Printer &p) { p.failOpen = true; }, [](Printer &p) { p.failOpen = false; },
         ERROR_GEN_FAILURE},
    };
    for (const Case &c : cases) {
        ChangePrinter(instance_, c.breakIt);
        SetLastError(kSeed);
        EXPECT_FALSE(Start()) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
        EXPECT_EQ(0u, handle_->Flags) << c.what;
        EXPECT_EQ(nullptr, handle_->PrinterName) << c.what;
        Written w = WriteSeeded("lost");
        EXPECT_FALSE(w.ok) << c.what;
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), w.error) << c.what;
        ChangePrinter(instance_, c.mendIt);
        ASSERT_TRUE(Start()) << c.what;
        EXPECT_TRUE(EndDocPort(port_));
    }

    // Someone else holds the device: the monitor's exclusive open fails.
    HANDLE holder = CreateFileA(DevicePathOf("X1").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    SetLastError(kSeed);
    EXPECT_FALSE(Start());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_EQ(0u, handle_->Flags);
    CloseHandle(holder);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(WriteSeeded("kept").ok);
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ("kept", Received());
}

// A write that moves nothing is answered from the status byte: paper empty
// (0x20) is 28 whatever else; not selected (0x10 clear) or in error (0x08
// clear) is 21, as is a status that cannot be had; selected without error
// is success with 0 bytes and last error 0.
TEST_F(PortIo, WritePortStatusMapping)
{
    ASSERT_TRUE(Start());
    struct Case {
        const char *what;
        std::function<void(Printer &)> state;
        BOOL ok;
        DWORD error;
    };
    const Case cases[] = {
        {"paper out", [](Printer &p) { p.paper = 0; }, FALSE, ERROR_OUT_OF_PAPER},
        {"paper out, offline, error",
         [](Printer &p) {
             p.paper = 0;
             p.online = false;
             p.error = true;
         },
         FALSE, ERROR_OUT_OF_PAPER},
        {"offline", [](Printer &p) { p.online = false; }, FALSE, ERROR_NOT_READY},
        {"error", [](Printer &p) { p.error = true; }, FALSE, ERROR_NOT_READY},
        {"refusing while ready", [](Printer &p) { p.refuseWrites = true; }, TRUE, ERROR_SUCCESS},
        {"refusing, status fails",
         [](Printer &p) {
             p.refuseWrites = true;
             p.failControlIn = 1;
         },
         FALSE, ERROR_NOT_READY},
    };
    for (const Case &c : cases) {
        ChangePrinter(instance_, [&](Printer &p) {
            p.paper = -1;
            p.online = true;
            p.error = false;
            p.refuseWrites = false;
            p.failControlIn = 0;
            c.state(p);
        });
        Written w = WriteSeeded("data");
        EXPECT_EQ(c.ok, w.ok) << c.what;
        EXPECT_EQ(0u, w.count) << c.what;
        EXPECT_EQ(c.error, w.error) << c.what;
        EXPECT_EQ(static_cast<DWORD>(PORT_HANDLE_BUSY), handle_->Flags) << c.what;
    }
    EXPECT_EQ("", Received());
}

// A write that moves part of the data succeeds with that part and asks no
// status (an armed control fault is still pending afterwards); the rest
// goes once paper is loaded, so nothing is lost or doubled.
TEST_F(PortIo, PartialWrites)
{
    ASSERT_TRUE(Start());
    ChangePrinter(instance_, [](Printer &p) {
        p.paper = 10;
        p.failControlIn = 1;
    });
    const std::string data = "0123456789abcdefghijklmno";
    Written w = WriteSeeded(data);
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(10u, w.count);
    EXPECT_EQ(1u, win9x::machine::FindPrinter(instance_)->failControlIn);

    ChangePrinter(instance_, [](Printer &p) { p.failControlIn = 0; });
    w = WriteSeeded(data.substr(10));
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(0u, w.count);
    EXPECT_EQ(static_cast<DWORD>(ERROR_OUT_OF_PAPER), w.error);

    ChangePrinter(instance_, [](Printer &p) { p.paper = -1; });
    w = WriteSeeded(data.substr(10));
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(15u, w.count);
    EXPECT_EQ(kSeed, w.error);
    EXPECT_EQ(data, Received());
}

// A printer setting writes its own columns only: paper a job used after
// the command read the printer stays used, and a pending control fault and
// the attachment stay as they are.
TEST_F(PortIo, ASettingKeepsWhatAJobChangedMeanwhile)
{
    ASSERT_TRUE(Start());
    ChangePrinter(instance_, [](Printer &p) {
        p.paper = 1000;
        p.failControlIn = 5;
    });
    auto seenByTheCommand = win9x::machine::FindPrinter(instance_);
    ASSERT_TRUE(seenByTheCommand);
    ASSERT_TRUE(WriteSeeded(std::string(300, 'j')).ok);
    win9x::machine::PrinterChange online;
    online.online = true;
    ASSERT_TRUE(win9x::machine::ChangePrinter(instance_, online));
    auto after = win9x::machine::FindPrinter(instance_);
    EXPECT_EQ(700, after->paper);
    EXPECT_EQ(5u, after->failControlIn);
    EXPECT_TRUE(after->attached);
    EXPECT_EQ(seenByTheCommand->deviceId, after->deviceId);
    EXPECT_FALSE(win9x::machine::ChangePrinter("USB\\VID_7E51&PID_0114\\NOBODY", online));
}

// A job's process that died after its bytes reached the printer's file but
// before they were committed leaves a tail: never part of what the printer
// received, and cut when the device is next opened.
TEST_F(PortIo, TailOfAWriterThatDiedIsCut)
{
    ASSERT_TRUE(Start());
    EXPECT_TRUE(WriteSeeded("kept").ok);
    EXPECT_TRUE(EndDocPort(port_));
    const std::string file = MachineDir() + "/printer-1.received";
    ASSERT_EQ(4u, std::filesystem::file_size(file));
    std::ofstream(file, std::ios::app) << "never acknowledged";
    EXPECT_EQ("kept", Received());

    ASSERT_TRUE(Start());
    EXPECT_EQ(4u, std::filesystem::file_size(file));
    EXPECT_TRUE(WriteSeeded("+more").ok);
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ("kept+more", Received());
}

// Outside a job there is no device: the write and the status both fail, so
// the answer is 21. A missing count is refused; an empty write in a job
// succeeds with 0.
TEST_F(PortIo, WritePortOutsideAJobAndBadArguments)
{
    Written w = WriteSeeded("early");
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(0u, w.count);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), w.error);

    ASSERT_TRUE(Start());
    char data[] = "x";
    SetLastError(kSeed);
    EXPECT_FALSE(WritePort(port_, reinterpret_cast<LPBYTE>(data), 1, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    DWORD written = kSeed;
    EXPECT_FALSE(WritePort(nullptr, reinterpret_cast<LPBYTE>(data), 1, &written));
    w = WriteSeeded("");
    EXPECT_TRUE(w.ok);
    EXPECT_EQ(0u, w.count);
    EXPECT_TRUE(EndDocPort(port_));

    w = WriteSeeded("late");
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(0u, w.count);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), w.error);
    EXPECT_EQ("", Received());
}

// ReadPort answers as ReadFile on the job's device: nothing to read in a
// job, a bad handle outside one.
TEST_F(PortIo, ReadPort)
{
    char buffer[16];
    DWORD read = kSeed;
    SetLastError(kSeed);
    EXPECT_FALSE(ReadPort(port_, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, read);

    ASSERT_TRUE(Start());
    read = kSeed;
    EXPECT_TRUE(ReadPort(port_, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &read));
    EXPECT_EQ(0u, read);
    EXPECT_TRUE(EndDocPort(port_));

    read = kSeed;
    SetLastError(kSeed);
    EXPECT_FALSE(ReadPort(port_, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

// Device controls pass through only while a job is open and only with a
// nonzero code; the value name is never looked at.
TEST_F(PortIo, GetPrinterDataFromPort)
{
    char in[256], out[256];
    DWORD returned = kSeed;
    auto query = [&](DWORD code, LPDWORD count) {
        std::memset(out, 0x5A, sizeof out);
        SetLastError(kSeed);
        char valueName[] = "Status";
        return GetPrinterDataFromPort(port_, code, valueName, in, sizeof in, out, sizeof out, count);
    };
    EXPECT_FALSE(query(OVL_IOCTL_GET_PORT_STATUS, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(kSeed, returned);

    ASSERT_TRUE(Start());
    returned = kSeed;
    EXPECT_TRUE(query(OVL_IOCTL_GET_PORT_STATUS, &returned));
    EXPECT_EQ(1u, returned);
    EXPECT_EQ(OVL_STATUS_SELECTED | OVL_STATUS_NO_ERROR, static_cast<unsigned char>(out[0]));
    ChangePrinter(instance_, [](Printer &p) { p.paper = 0; });
    EXPECT_TRUE(query(OVL_IOCTL_GET_PORT_STATUS, &returned));
    EXPECT_EQ(OVL_STATUS_PAPER_EMPTY | OVL_STATUS_SELECTED | OVL_STATUS_NO_ERROR, static_cast<unsigned char>(out[0]));

    const std::string id = win9x::machine::FindPrinter(instance_)->deviceId;
    EXPECT_TRUE(query(OVL_IOCTL_GET_DEVICE_ID, &returned));
    EXPECT_EQ(id.size() + 2, returned);
    EXPECT_EQ((id.size() + 2) >> 8, static_cast<unsigned char>(out[0]));
    EXPECT_EQ((id.size() + 2) & 0xFF, static_cast<unsigned char>(out[1]));
    EXPECT_EQ(id, std::string(out + 2, id.size()));

    EXPECT_FALSE(query(0x00222222, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    EXPECT_FALSE(query(0, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(query(OVL_IOCTL_GET_PORT_STATUS, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    EXPECT_TRUE(EndDocPort(port_));
    returned = kSeed;
    EXPECT_FALSE(query(OVL_IOCTL_GET_DEVICE_ID, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(kSeed, returned);
}

// A spooler that goes on using a handle after its last ClosePort gets
// ERROR_INVALID_HANDLE from every per-port entry, and nothing reaches the
// printer; the released record is never touched.
TEST_F(PortIo, CallsAfterTheLastClosePortFail)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(ClosePort(port_));
    ASSERT_EQ(nullptr, PortHandleList);
    EXPECT_EQ(0u, Opens(instance_));

    char buffer[16] = "data";
    char valueName[] = "Status";
    DWORD count = kSeed;
    const struct {
        const char *entry;
        std::function<BOOL()> call;
    } calls[] = {
        {"StartDocPort", [&] { return Start(); }},
        {"WritePort", [&] { return WritePort(port_, reinterpret_cast<LPBYTE>(buffer), 4, &count); }},
        {"ReadPort", [&] { return ReadPort(port_, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &count); }},
        {"GetPrinterDataFromPort",
         [&] {
             return GetPrinterDataFromPort(port_, OVL_IOCTL_GET_PORT_STATUS, valueName, buffer, 1, buffer, 1,
                                           &count);
         }},
        {"EndDocPort", [&] { return EndDocPort(port_); }},
    };
    for (const auto &c : calls) {
        SetLastError(kSeed);
        EXPECT_FALSE(c.call()) << c.entry;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError()) << c.entry;
    }
    EXPECT_TRUE(ClosePort(port_));
    EXPECT_EQ(0u, Opens(instance_));
    EXPECT_EQ("", Received());
}

// On Windows Me every start merges the interfaces into the list as it is:
// a disabled port gets one more node each time until the next rebuild. On
// Windows 98 the list stays as it was built.
TEST_F(PortIo, WindowsMeMergeListsADisabledPortAgain)
{
    AddInterface("OFF", DeviceValues("P", "OFF", 0));
    InitPortList();
    using Names = std::vector<std::string>;
    const Names built{kPort, "USB/P/OFF"};
    ASSERT_EQ(built, ListedNames());

    ASSERT_TRUE(Start());
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ(built, ListedNames());

    win9x::machine::OverrideVersion(win9x::machine::WindowsVersion::WinMe);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ((Names{kPort, "USB/P/OFF", "USB/P/OFF"}), ListedNames());
    ASSERT_TRUE(Start());
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ((Names{kPort, "USB/P/OFF", "USB/P/OFF", "USB/P/OFF"}), ListedNames());
    DWORD needed = 0, returned = kSeed;
    std::vector<unsigned char> buffer(4096);
    ASSERT_TRUE(EnumPorts(nullptr, 1, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned));
    EXPECT_EQ(4u, returned);

    win9x::machine::OverrideTickCount(kQuietTicks + 10001);
    EnumPorts(nullptr, 1, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &returned);
    EXPECT_EQ(built, ListedNames());
}

// The merge refreshes the device path of an enabled port in place, so a
// port whose interface moved is opened where it is now; without the merge
// (Windows 98) the old path is used until the next rebuild.
TEST_F(PortIo, WindowsMeMergeFollowsAMovedInterface)
{
    RemoveInterface("X1");
    std::string moved = Plug("Sorrelink 640", "X2");
    SetValues("X2", {Text(OVL_VALUE_PORT_NAME, kPort)});

    SetLastError(kSeed);
    EXPECT_FALSE(Start());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(DevicePathOf("X1"), handle_->DevicePath);

    win9x::machine::OverrideVersion(win9x::machine::WindowsVersion::WinMe);
    ASSERT_TRUE(Start());
    EXPECT_EQ(DevicePathOf("X2"), handle_->DevicePath);
    EXPECT_TRUE(WriteSeeded("moved").ok);
    EXPECT_TRUE(EndDocPort(port_));
    EXPECT_EQ("moved", win9x::machine::ReceivedBytes(moved));
    EXPECT_EQ("", Received());
}

} // namespace
