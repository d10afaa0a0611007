// The wizard's start and its walk through the pages: the options page as
// the program starts, the start-up failure message, every road from an
// option to its result page and back, the buttons' states on every page,
// the radio buttons, and the commands that end the wizard from any page.
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using ovltest::IsEnabled;
using ovltest::IsShown;
using ovltest::TextOf;

const int kOptions[] = {IDC_OPTION_TEST, IDC_OPTION_DELETE, IDC_OPTION_PURGE, IDC_OPTION_UNINSTALL};

// The one option checked, or 0 when none or several are.
int CheckedOption(const DialogView &view)
{
    int checked = 0;
    for (int id : kOptions) {
        const auto *control = view.Find(id);
        if (control && control->check == BST_CHECKED)
            checked = checked == 0 ? id : -1;
    }
    return checked < 0 ? 0 : checked;
}

bool IsWorkingText(const std::string &text)
{
    return text == kTestWorking || text == kDeleteWorking || text == kPurgeWorking || text == kUninstallWorking;
}

using NavigationTest = WizardTest;

TEST_F(NavigationTest, ProgramStartsOnTheOptionsPage)
{
    EXPECT_EQ(0, RunProgram());

    ASSERT_EQ(1u, driver_->views().size());
    EXPECT_TRUE(driver_->ranOut());
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
    const DialogView &view = driver_->views()[0];
    EXPECT_EQ(IDD_WIZARD, view.templateId);
    EXPECT_EQ("OV USB Troubleshoot Utility", view.caption);
    EXPECT_EQ(Page::Options, PageShown(view));
    EXPECT_EQ(kOptionTest, TextOf(view, IDC_OPTION_TEST));
    EXPECT_EQ(kOptionDelete, TextOf(view, IDC_OPTION_DELETE));
    EXPECT_EQ(kOptionPurge, TextOf(view, IDC_OPTION_PURGE));
    EXPECT_EQ(kOptionUninstall, TextOf(view, IDC_OPTION_UNINSTALL));
    EXPECT_EQ(IDC_OPTION_TEST, CheckedOption(view));
    EXPECT_FALSE(IsEnabled(view, IDC_BACK));
    EXPECT_TRUE(IsEnabled(view, IDC_NEXT));
    EXPECT_FALSE(IsShown(view, IDC_PAGE_LIST));
    EXPECT_FALSE(IsShown(view, IDC_SCRATCH_LIST));
    EXPECT_TRUE(IsShown(view, IDC_FRAME));
    EXPECT_TRUE(IsShown(view, IDC_BACK));
    EXPECT_TRUE(IsShown(view, IDC_NEXT));
    const auto *picture = view.Find(IDC_STATIC);
    ASSERT_NE(nullptr, picture);
    EXPECT_TRUE(picture->visible);
    EXPECT_EQ(IDB_LOGO, picture->bitmap);
}

TEST_F(NavigationTest, DialogThatCannotBeCreatedIsReportedAndTheProgramEndsWithZero)
{
    win9x::machine::FailNthCall("DialogBoxParamA", 1, ERROR_NOT_ENOUGH_MEMORY);

    EXPECT_EQ(0, RunProgram());

    EXPECT_TRUE(driver_->views().empty());
    ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
    const auto &box = driver_->boxes()[0];
    EXPECT_EQ("Unable to create root dialog!", box.box.text);
    EXPECT_TRUE(box.box.captionGiven);
    EXPECT_EQ("ERROR !", box.box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.box.style);
    EXPECT_EQ(nullptr, box.box.owner);
}

// Each option's road: choose it, Next to its select or info page, Back to
// the options (the choice kept), Next again, Next to the result page (its
// work runs), then Back from the result page.
TEST_F(NavigationTest, EveryRoadFromAnOptionToItsResultAndBack)
{
    const struct {
        int option;
        Page select;
        bool hasList;
        Page result;
        Page backFromResult;
    } roads[] = {
        {IDC_OPTION_TEST, Page::TestSelect, true, Page::TestRun, Page::TestSelect},
        {IDC_OPTION_DELETE, Page::DeleteSelect, true, Page::DeleteRun, Page::DeleteSelect},
        {IDC_OPTION_PURGE, Page::PurgeInfo, false, Page::PurgeRun, Page::Options},
        {IDC_OPTION_UNINSTALL, Page::UninstallSelect, true, Page::UninstallRun, Page::Options},
    };
    for (const auto &road : roads) {
        SCOPED_TRACE(PageName(road.select));
        driver_ = std::make_shared<TestDialogDriver>();
        driver_->Click(road.option).Click(IDC_NEXT).Click(IDC_BACK).Click(IDC_NEXT).Click(IDC_NEXT).Click(IDC_BACK);
        EXPECT_EQ(0, RunWizardDialog());
        ASSERT_EQ("", driver_->error());
        const auto &views = driver_->views();
        ASSERT_EQ(7u, views.size());

        // The click only selects the option.
        EXPECT_EQ(Page::Options, PageShown(views[1]));
        EXPECT_EQ(road.option, CheckedOption(views[1]));

        for (size_t step : {2u, 4u}) {
            SCOPED_TRACE(step);
            EXPECT_EQ(road.select, PageShown(views[step]));
            EXPECT_TRUE(IsEnabled(views[step], IDC_BACK));
            EXPECT_TRUE(IsEnabled(views[step], IDC_NEXT));
            EXPECT_EQ(road.hasList, IsShown(views[step], IDC_PAGE_LIST));
        }

        // Back to the options shows the last choice.
        EXPECT_EQ(Page::Options, PageShown(views[3]));
        EXPECT_EQ(road.option, CheckedOption(views[3]));
        EXPECT_FALSE(IsEnabled(views[3], IDC_BACK));
        EXPECT_TRUE(IsEnabled(views[3], IDC_NEXT));

        EXPECT_EQ(road.result, PageShown(views[5]));
        EXPECT_FALSE(IsWorkingText(TextOf(views[5], IDC_PAGE_TEXT)));
        EXPECT_TRUE(IsEnabled(views[5], IDC_BACK));
        EXPECT_FALSE(IsEnabled(views[5], IDC_NEXT));
        EXPECT_FALSE(IsShown(views[5], IDC_PAGE_LIST));

        EXPECT_EQ(road.backFromResult, PageShown(views[6]));
        if (road.backFromResult == Page::Options) {
            EXPECT_EQ(road.option, CheckedOption(views[6]));
        }

        // A result page shows what it is doing before it works, with both
        // buttons disabled; the frame, the picture and the buttons stay, the
        // scratch list never shows.
        bool sawWorking = false;
        for (const auto &change : driver_->changes()) {
            if (IsWorkingText(TextOf(change, IDC_PAGE_TEXT)) && IsShown(change, IDC_PAGE_TEXT)) {
                sawWorking = true;
                EXPECT_FALSE(IsEnabled(change, IDC_BACK));
                EXPECT_FALSE(IsEnabled(change, IDC_NEXT));
            }
            EXPECT_FALSE(IsShown(change, IDC_SCRATCH_LIST));
            EXPECT_TRUE(IsShown(change, IDC_FRAME));
            EXPECT_TRUE(IsShown(change, IDC_STATIC));
        }
        EXPECT_TRUE(sawWorking);
    }
}

TEST_F(NavigationTest, ResultPageWorksAgainEachTimeItIsEntered)
{
    CreateKey(std::string(kUsbEnumKey) + "\\X1");
    driver_->Click(IDC_OPTION_PURGE).Click(IDC_NEXT).Click(IDC_NEXT);
    driver_->Do([] { CreateKey(std::string(kUsbEnumKey) + "\\X2"); });
    driver_->Click(IDC_BACK).Click(IDC_NEXT).Click(IDC_NEXT);

    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ("", driver_->error());
    EXPECT_EQ(Page::PurgeRun, PageShown(driver_->views()[3]));
    EXPECT_EQ(Page::PurgeRun, PageShown(driver_->views().back()));
    EXPECT_FALSE(KeyExists(kUsbEnumKey));
}

TEST_F(NavigationTest, RadioButtonsSelectOnlyAndNextTakesTheFirstChecked)
{
    // Clicking moves the one check mark and stays on the options page.
    driver_->Click(IDC_OPTION_PURGE).Click(IDC_OPTION_UNINSTALL).Click(IDC_OPTION_DELETE);
    // No option checked: Next shows the options again.
    driver_->Then([](win9x::machine::DialogActions &actions, std::string *) {
        for (int id : kOptions)
            CheckDlgButton(actions.View().handle, id, BST_UNCHECKED);
        return true;
    });
    driver_->Click(IDC_NEXT);
    // Two checked: the first in the order 1047, 1088, 1048, 1080 decides.
    driver_->Then([](win9x::machine::DialogActions &actions, std::string *) {
        CheckDlgButton(actions.View().handle, IDC_OPTION_UNINSTALL, BST_CHECKED);
        CheckDlgButton(actions.View().handle, IDC_OPTION_DELETE, BST_CHECKED);
        return true;
    });
    driver_->Click(IDC_NEXT);

    EXPECT_EQ(0, RunWizardDialog());

    ASSERT_EQ("", driver_->error());
    const auto &views = driver_->views();
    ASSERT_EQ(8u, views.size());
    EXPECT_EQ(IDC_OPTION_PURGE, CheckedOption(views[1]));
    EXPECT_EQ(IDC_OPTION_UNINSTALL, CheckedOption(views[2]));
    EXPECT_EQ(IDC_OPTION_DELETE, CheckedOption(views[3]));
    for (size_t i = 1; i <= 3; i++)
        EXPECT_EQ(Page::Options, PageShown(views[i])) << i;

    EXPECT_EQ(Page::Options, PageShown(views[5]));
    EXPECT_EQ(0, CheckedOption(views[5]));
    EXPECT_FALSE(IsEnabled(views[5], IDC_BACK));
    EXPECT_TRUE(IsEnabled(views[5], IDC_NEXT));

    EXPECT_EQ(Page::DeleteSelect, PageShown(views[7]));
}

// IDOK, IDCANCEL and IDCLOSE end the wizard (with 0) from any of the nine
// pages, and so do Escape and the close box.
TEST_F(NavigationTest, CloseCommandsEndTheWizardFromEveryPage)
{
    const struct {
        Page page;
        std::vector<int> clicks;
    } roads[] = {
        {Page::Options, {}},
        {Page::TestSelect, {IDC_NEXT}},
        {Page::TestRun, {IDC_NEXT, IDC_NEXT}},
        {Page::DeleteSelect, {IDC_OPTION_DELETE, IDC_NEXT}},
        {Page::DeleteRun, {IDC_OPTION_DELETE, IDC_NEXT, IDC_NEXT}},
        {Page::PurgeInfo, {IDC_OPTION_PURGE, IDC_NEXT}},
        {Page::PurgeRun, {IDC_OPTION_PURGE, IDC_NEXT, IDC_NEXT}},
        {Page::UninstallSelect, {IDC_OPTION_UNINSTALL, IDC_NEXT}},
        {Page::UninstallRun, {IDC_OPTION_UNINSTALL, IDC_NEXT, IDC_NEXT}},
    };
    const WORD commands[] = {IDOK, IDCANCEL, IDCLOSE, 0};
    for (const auto &road : roads) {
        for (WORD command : commands) {
            SCOPED_TRACE(std::string(PageName(road.page)) + ", command " + std::to_string(command));
            driver_ = std::make_shared<TestDialogDriver>();
            for (int id : road.clicks)
                driver_->Click(id);
            if (command != 0)
                driver_->Then(CommandStep(command));
            else
                driver_->Close();

            EXPECT_EQ(0, RunWizardDialog());

            ASSERT_EQ("", driver_->error());
            EXPECT_FALSE(driver_->ranOut());
            EXPECT_EQ(road.clicks.size() + 1, driver_->stepsDone());
            ASSERT_EQ(road.clicks.size() + 1, driver_->views().size());
            EXPECT_EQ(road.page, PageShown(driver_->views().back()));
        }
    }
}

// The dialog manager's keys reach the dialog procedure as in Windows: Enter
// as IDOK (the template has no default push button), Escape as IDCANCEL.
std::vector<WPARAM> g_commands;

INT_PTR CALLBACK RecordingDialogProc(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND)
        g_commands.push_back(wParam);
    return FALSE;
}

TEST_F(NavigationTest, EnterAndEscapeReachTheDialogAsOkAndCancel)
{
    g_commands.clear();
    driver_->Enter().Close();

    ovltest::RunWithDriver(driver_, [] {
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WIZARD), nullptr, RecordingDialogProc, 0);
    });

    ASSERT_EQ(2u, driver_->stepsDone());
    ASSERT_LE(2u, g_commands.size());
    EXPECT_EQ(static_cast<WPARAM>(MAKEWPARAM(IDOK, 0)), g_commands[0]);
    EXPECT_EQ(static_cast<WPARAM>(MAKEWPARAM(IDCANCEL, 0)), g_commands[1]);
}

}  // namespace
}  // namespace wizardtest
