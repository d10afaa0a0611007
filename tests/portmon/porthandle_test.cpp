// Port handles: one shared handle per port name with a count of its
// openers, released with the last ClosePort (which ends a job still open,
// so the device is never left open), and what OpenPort refuses.
#include "portmon_fixture.h"

namespace {

using namespace portmontest;

const char kPort[] = "USB/Sorrelink 640/X1";

class PortHandles : public MonitorTest {
  protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        instance_ = Plug("Sorrelink 640", "X1");
        Initialize();
    }

    static HANDLE Open(const char *name)
    {
        HANDLE handle = SeedHandle();
        SetLastError(kSeed);
        BOOL ok = OpenPort(const_cast<LPSTR>(name), &handle);
        const char *shown = name ? name : "(null)";
        EXPECT_EQ(ok != FALSE, handle != nullptr) << shown;
        EXPECT_EQ(kSeed, GetLastError()) << shown;
        return handle;
    }

    std::string instance_;
};

// Every OpenPort of one name, in any case, gets the same handle and counts
// one more opener; a new name's handle goes to the head of the list.
TEST_F(PortHandles, OpenersShareOneHandle)
{
    HANDLE first = Open(kPort);
    ASSERT_NE(nullptr, first);
    auto *h = static_cast<PPORT_HANDLE>(first);
    EXPECT_STREQ(kPort, h->PortName);
    EXPECT_EQ(DevicePathOf("X1"), h->DevicePath);
    EXPECT_EQ(nullptr, h->PrinterName);
    EXPECT_EQ(0u, h->Flags);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h->Device);
    EXPECT_EQ(1u, h->OpenCount);

    EXPECT_EQ(first, Open("usb/SORRELINK 640/x1"));
    EXPECT_EQ(2u, h->OpenCount);
    EXPECT_STREQ(kPort, h->PortName);

    Plug("Sorrelink 880", "Y2");
    InitPortList();
    HANDLE second = Open("USB/Sorrelink 880/Y2");
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    EXPECT_EQ(second, PortHandleList);
    EXPECT_EQ(first, PortHandleList->Next);
    EXPECT_EQ(nullptr, h->Next);
}

// Unknown, disabled and null names store a null handle and set no last
// error of the monitor's own; a missing place for the handle is 87.
TEST_F(PortHandles, OpenRefusals)
{
    AddInterface("OFF", DeviceValues("P", "OFF", 0));
    InitPortList();
    EXPECT_EQ(nullptr, Open("USB/Sorrelink 640/X2"));
    EXPECT_EQ(nullptr, Open("USB/P/OFF"));
    EXPECT_EQ(nullptr, Open("USB/Sorrelink 640/X1/"));
    EXPECT_EQ(nullptr, Open(nullptr));
    EXPECT_EQ(nullptr, PortHandleList);

    SetLastError(kSeed);
    EXPECT_FALSE(OpenPort(const_cast<LPSTR>(kPort), nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, PortHandleList);
}

// ClosePort takes one opener away; the handle stays usable for the others
// and leaves the list with the last. Unknown handles change nothing.
TEST_F(PortHandles, ClosePortCountsOpeners)
{
    HANDLE handle = Open(kPort);
    ASSERT_EQ(handle, Open(kPort));
    EXPECT_TRUE(ClosePort(handle));
    ASSERT_EQ(handle, PortHandleList);
    EXPECT_EQ(1u, static_cast<PPORT_HANDLE>(handle)->OpenCount);
    ASSERT_TRUE(StartDocPort(handle, const_cast<LPSTR>("Sorrelink"), 1, 1, nullptr));
    EXPECT_TRUE(EndDocPort(handle));

    PORT_HANDLE stranger{};
    stranger.OpenCount = 1;
    EXPECT_TRUE(ClosePort(&stranger));
    EXPECT_TRUE(ClosePort(nullptr));
    EXPECT_EQ(handle, PortHandleList);
    EXPECT_EQ(1u, stranger.OpenCount);

    EXPECT_TRUE(ClosePort(handle));
    EXPECT_EQ(nullptr, PortHandleList);
    // A new OpenPort makes a new handle with one opener.
    HANDLE again = Open(kPort);
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(1u, static_cast<PPORT_HANDLE>(again)->OpenCount);
}

// Closing one of two openers during a job leaves the job running; the last
// close ends it and closes the device, so the port can be opened (the
// device is opened exclusively) and printed to again.
TEST_F(PortHandles, LastCloseEndsAnOpenJob)
{
    HANDLE other = Open(kPort);
    PPORT_HANDLE job = OpenAndStart(kPort);
    ASSERT_NE(nullptr, job);
    ASSERT_EQ(other, job);
    EXPECT_EQ(1u, Opens(instance_));

    EXPECT_TRUE(ClosePort(other));
    DWORD written = kSeed;
    EXPECT_TRUE(Write(job, "first job", &written));
    EXPECT_EQ(9u, written);
    EXPECT_EQ(1u, Opens(instance_));

    EXPECT_TRUE(ClosePort(job));
    EXPECT_EQ(nullptr, PortHandleList);
    EXPECT_EQ(0u, Opens(instance_));

    PPORT_HANDLE next = OpenAndStart(kPort);
    ASSERT_NE(nullptr, next);
    EXPECT_TRUE(Write(next, "+second", &written));
    EXPECT_TRUE(EndDocPort(next));
    EXPECT_TRUE(ClosePort(next));
    EXPECT_EQ("first job+second", win9x::machine::ReceivedBytes(instance_));
}

// A handle outlives its port in the port list: OpenPort of its name still
// shares it, but the next job cannot start (no device path any more).
TEST_F(PortHandles, HandleOutlivesItsPort)
{
    HANDLE handle = Open(kPort);
    ASSERT_NE(nullptr, handle);
    RemoveInterface("X1");
    win9x::machine::OverrideTickCount(kQuietTicks + 10001);
    EXPECT_FALSE(IsPortKnown(kPort));
    EXPECT_EQ(nullptr, PortList);

    EXPECT_EQ(handle, Open(kPort));
    EXPECT_EQ(2u, static_cast<PPORT_HANDLE>(handle)->OpenCount);
    SetLastError(kSeed);
    EXPECT_FALSE(StartDocPort(handle, const_cast<LPSTR>("Sorrelink"), 1, 1, nullptr));
    EXPECT_EQ(kSeed, GetLastError());
    auto *h = static_cast<PPORT_HANDLE>(handle);
    EXPECT_EQ(0u, h->Flags);
    EXPECT_EQ(nullptr, h->PrinterName);
    EXPECT_EQ(DevicePathOf("X1"), h->DevicePath);
}

} // namespace
