// The communication test: 200 device-ID requests to the printer chosen in
// the list, each with its own open and close, under the wait cursor; the
// first failure gives one message (its icon telling the first request of a
// cycle from the second) and "Test failed !".
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

class CommTest : public WizardTest {
protected:
    void SetUp() override
    {
        WizardTest::SetUp();
        arrow_ = LoadCursorA(nullptr, IDC_ARROW);
        SetCursor(arrow_);
        NewDriver();
    }

    // A fresh driver whose message boxes record the cursor shown with them.
    void NewDriver()
    {
        driver_ = std::make_shared<TestDialogDriver>();
        cursorsAtBoxes_.clear();
        driver_->AnswerWith([this](const MessageBoxView &) {
            cursorsAtBoxes_.push_back(win9x::machine::CurrentCursor());
            return IDOK;
        });
    }

    // Options page -> printers -> the test on the selected entry; returns
    // the result page's text.
    std::string RunTest()
    {
        driver_->Click(IDC_NEXT).Click(IDC_NEXT);
        EXPECT_EQ(0, RunWizardDialog());
        EXPECT_EQ("", driver_->error());
        if (driver_->views().size() != 3)
            return "(no result page)";
        EXPECT_EQ(Page::TestRun, PageShown(driver_->views()[2]));
        return ovltest::TextOf(driver_->views()[2], IDC_PAGE_TEXT);
    }

    // The one message of a failed test: message M, no caption of its own,
    // owned by the wizard, with the style given, shown under the wait
    // cursor over the page that says the test is running.
    void ExpectOneCommunicationMessage(UINT style)
    {
        ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
        const auto &box = driver_->boxes()[0];
        EXPECT_EQ(kNoCommunication, box.box.text);
        EXPECT_FALSE(box.box.captionGiven);
        EXPECT_EQ(style, box.box.style);
        ASSERT_TRUE(box.over.has_value());
        EXPECT_EQ(box.over->handle, box.box.owner);
        EXPECT_EQ(kTestWorking, ovltest::TextOf(*box.over, IDC_PAGE_TEXT));
        EXPECT_TRUE(ovltest::IsShown(*box.over, IDC_PAGE_TEXT));
        ASSERT_EQ(1u, cursorsAtBoxes_.size());
        EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), cursorsAtBoxes_[0]);
    }

    // Every open of the printer was closed, and the cursor is back.
    void ExpectReleased(const ovlsim::PrinterIdentity &printer)
    {
        EXPECT_EQ(0u, PrinterOf(printer).opens);
        EXPECT_EQ(arrow_, win9x::machine::CurrentCursor());
    }

    void FailNthControl(const ovlsim::PrinterIdentity &identity, uint32_t nth)
    {
        auto printer = PrinterOf(identity);
        printer.failControlIn = nth;
        UpdatePrinter(printer);
    }

    HCURSOR arrow_ = nullptr;
    std::vector<HCURSOR> cursorsAtBoxes_;
};

// A healthy printer passes after exactly 200 requests: armed to fail the
// 201st, it never fails, and one request is left to go.
TEST_F(CommTest, HealthyPrinterPassesAfterExactly200Requests)
{
    auto printer = AttachPrinter("Sorrelink 640", "A1");
    FailNthControl(printer, 201);

    EXPECT_EQ(kTestPassed, RunTest());

    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    EXPECT_EQ(1u, PrinterOf(printer).failControlIn);
    ExpectReleased(printer);
    bool sawWorking = false;
    for (const auto &change : driver_->changes())
        sawWorking |= ovltest::TextOf(change, IDC_PAGE_TEXT) == kTestWorking && ovltest::IsShown(change, IDC_PAGE_TEXT);
    EXPECT_TRUE(sawWorking);
}

TEST_F(CommTest, The200thRequestFailingFailsTheTestWithOneMessage)
{
    auto printer = AttachPrinter("Sorrelink 640", "A1");
    FailNthControl(printer, 200);

    EXPECT_EQ(kTestFailed, RunTest());

    ExpectOneCommunicationMessage(MB_ICONWARNING);
    EXPECT_EQ(0u, PrinterOf(printer).failControlIn);
    ExpectReleased(printer);
}

// The first request of a cycle reports a failing request without an icon,
// the second with the warning icon.
TEST_F(CommTest, IconTellsTheFirstRequestOfACycleFromTheSecond)
{
    auto printer = AttachPrinter("Sorrelink 640", "A1");
    const struct {
        uint32_t failing;
        UINT style;
    } cases[] = {{1, MB_OK}, {2, MB_ICONWARNING}, {3, MB_OK}, {4, MB_ICONWARNING}, {199, MB_OK}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failing);
        NewDriver();
        FailNthControl(printer, c.failing);

        EXPECT_EQ(kTestFailed, RunTest());

        ExpectOneCommunicationMessage(c.style);
        ExpectReleased(printer);
    }
}

// A device that does not open is reported with the warning icon, in either
// request of a cycle.
TEST_F(CommTest, DeviceThatDoesNotOpen)
{
    auto printer = AttachPrinter("Sorrelink 640", "A1");
    const struct {
        const char *what;
        std::function<void()> arrange;
    } cases[] = {
        {"the printer refuses every open",
         [&] {
             auto p = PrinterOf(printer);
             p.failOpen = true;
             UpdatePrinter(p);
         }},
        {"the first open fails", [] { win9x::machine::FailNthCall("CreateFileA", 1, ERROR_SHARING_VIOLATION); }},
        {"the second open fails", [] { win9x::machine::FailNthCall("CreateFileA", 2, ERROR_SHARING_VIOLATION); }},
        {"the 200th open fails", [] { win9x::machine::FailNthCall("CreateFileA", 200, ERROR_SHARING_VIOLATION); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        auto healthy = PrinterOf(printer);
        healthy.failOpen = false;
        UpdatePrinter(healthy);
        NewDriver();
        // Armed once the printer's page shows, so that only the test's own
        // opens count.
        driver_->Click(IDC_NEXT).Do(c.arrange).Click(IDC_NEXT);
        EXPECT_EQ(0, RunWizardDialog());
        ASSERT_EQ(4u, driver_->views().size());
        EXPECT_EQ(kTestFailed, ovltest::TextOf(driver_->views()[3], IDC_PAGE_TEXT));
        ExpectOneCommunicationMessage(MB_ICONWARNING);
        ExpectReleased(printer);
    }
}

TEST_F(CommTest, PrinterUnpluggedAfterItWasChosen)
{
    auto printer = AttachPrinter("Sorrelink 640", "A1");
    driver_->Click(IDC_NEXT).Do([&] {
        std::string error;
        EXPECT_TRUE(ovlsim::SetAttached(printer.InstanceId(), false, &error)) << error;
    });
    driver_->Click(IDC_NEXT);

    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ(4u, driver_->views().size());
    EXPECT_EQ(kTestFailed, ovltest::TextOf(driver_->views()[3], IDC_PAGE_TEXT));
    ExpectOneCommunicationMessage(MB_ICONWARNING);
}

// An entry of the fallback list has no device path: the first open fails
// at once.
TEST_F(CommTest, FallbackEntryFailsAtOnce)
{
    const std::string key = std::string(kFallbackEnumKey) + "\\S1";
    const DWORD on = 1;
    SetValue(key, "Enabled", REG_DWORD, &on, sizeof on);
    SetText(key, "SerialNumber", "S1");
    SetText(key, "Product", "Sorrelink 640");
    win9x::machine::SetModuleMissing("SETUPAPI.DLL", true);

    EXPECT_EQ(kTestFailed, RunTest());

    EXPECT_EQ((std::vector<std::string>{"S1"}), ovltest::ItemsOf(driver_->views()[1], IDC_PAGE_LIST));
    ExpectOneCommunicationMessage(MB_ICONWARNING);
    EXPECT_EQ(arrow_, win9x::machine::CurrentCursor());
}

TEST_F(CommTest, EmptyListMeansNoPrinterSelected)
{
    EXPECT_EQ(kTestFailed, RunTest());

    ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
    const auto &box = driver_->boxes()[0];
    EXPECT_EQ("No printer selected.", box.box.text);
    EXPECT_FALSE(box.box.captionGiven);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.box.style);
    ASSERT_TRUE(box.over.has_value());
    EXPECT_EQ(box.over->handle, box.box.owner);
    // The test never started: the cursor was never changed.
    EXPECT_EQ(arrow_, cursorsAtBoxes_.at(0));
    EXPECT_EQ(arrow_, win9x::machine::CurrentCursor());
}

// Back from the result refills the printers' list and selects its first
// entry, whatever was chosen before.
TEST_F(CommTest, BackFromTheResultRefillsTheList)
{
    AttachPrinter("Sorrelink 640", "A1");
    auto b2 = AttachPrinter("Sorrelink 640", "B2");
    auto p = PrinterOf(b2);
    p.failOpen = true;
    UpdatePrinter(p);
    driver_->Click(IDC_NEXT).Pick(IDC_PAGE_LIST, 1).Click(IDC_NEXT);
    driver_->Do([] { AttachPrinter("Sorrelink 640", "A0"); });
    driver_->Click(IDC_BACK);

    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ("", driver_->error());
    const auto &views = driver_->views();
    ASSERT_EQ(6u, views.size());
    EXPECT_EQ(kTestFailed, ovltest::TextOf(views[3], IDC_PAGE_TEXT));
    EXPECT_EQ(Page::TestSelect, PageShown(views[5]));
    auto items = ovltest::ItemsOf(views[5], IDC_PAGE_LIST);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ("USB/Sorrelink 640/A0", items[0].substr(0, 20));
    EXPECT_EQ(items[0], ovltest::SelectedOf(views[5], IDC_PAGE_LIST));
}

}  // namespace
}  // namespace wizardtest
