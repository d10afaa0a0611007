// Waiting for a printer's state: a change made by another process wakes a
// process that sleeps on it at once, not when its time-out ends.
#include <chrono>

#include "support/machine_fixture.h"

namespace {

class PrinterWait : public ovltest::MachineTest {};

TEST_F(PrinterWait, AnotherProcessChangingAPrinterWakesTheWaiter)
{
    ASSERT_TRUE(win9x::machine::AddPrinter("USB\\VID_7E51&PID_0114\\X1", "X1", ""));
    uint32_t seen = win9x::machine::PrinterChanges();
    EXPECT_FALSE(win9x::machine::WaitForPrinterChange(seen, 1));

    int pid = ovltest::StartProgram(
        MachineDir(), {ovltest::TestProgram("ovlsim"), "--machine", MachineDir(), "printer", "X1", "--offline"});
    ASSERT_GT(pid, 0);
    // Far longer than a wake takes: only a wake that never comes reaches it.
    constexpr unsigned kLimitMs = 60000;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(win9x::machine::WaitForPrinterChange(seen, kLimitMs));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLimitMs / 2));
    EXPECT_EQ(0, ovltest::WaitProgram(pid));
    EXPECT_FALSE(win9x::machine::FindPrinterBySerial("X1")->online);
}

}  // namespace
