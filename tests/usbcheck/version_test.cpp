// The Windows version check at the wizard's start: Windows 98 passes,
// Windows 95 (first, even when "98" is there too) and every other version
// text (an unreadable one included) are refused with their warning, and the
// wizard ends before any page is shown.
#include "wizard_fixture.h"

namespace wizardtest {
namespace {

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kNot95[] = "Your printer and its software can NOT use USB connections under Windows 95.";
const char kNot98[] = "You must have Windows 98 to run this application.";

class VersionTest : public WizardTest {
protected:
    // Runs the wizard and checks how it answered: `warning` null when it
    // passed (the options page waits), else the one warning it gave.
    void ExpectOutcome(const char *warning)
    {
        driver_ = std::make_shared<TestDialogDriver>();
        EXPECT_EQ(0, RunWizardDialog());
        if (!warning) {
            EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
            ASSERT_EQ(1u, driver_->views().size());
            EXPECT_EQ(Page::Options, PageShown(driver_->views()[0]));
            return;
        }
        // The dialog ended while it was being initialised: nobody was asked
        // to act, and no page was shown.
        EXPECT_TRUE(driver_->views().empty());
        ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
        const auto &box = driver_->boxes()[0];
        EXPECT_EQ(warning, box.box.text);
        EXPECT_EQ("ATTENTION", box.box.caption);
        EXPECT_TRUE(box.box.captionGiven);
        EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.box.style);
        // Owned by the dialog, which is not shown before its
        // initialisation returns: the warning stands over no dialog.
        EXPECT_NE(nullptr, box.box.owner);
        EXPECT_FALSE(box.over.has_value());
        EXPECT_EQ(0u, box.step);
    }

    void SetVersionBytes(const std::string &bytes, DWORD type = REG_SZ)
    {
        SetValue(kVersionKey, "Version", type, bytes.data(), static_cast<DWORD>(bytes.size()));
    }
};

TEST_F(VersionTest, MachinesOfEachVersion)
{
    using win9x::machine::WindowsVersion;
    const struct {
        WindowsVersion os;
        const char *warning;
    } cases[] = {
        {WindowsVersion::Win98, nullptr},
        {WindowsVersion::Win95, kNot95},
        {WindowsVersion::WinMe, kNot98},
        {WindowsVersion::NT4, kNot98},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(win9x::machine::VersionKeyword(c.os));
        Recreate(c.os);
        ExpectOutcome(c.warning);
    }
}

TEST_F(VersionTest, VersionTextsAreSearchedFor95FirstThen98)
{
    const struct {
        const char *text;
        const char *warning;
    } cases[] = {
        {"4.10.1998", nullptr},
        {"98", nullptr},
        {"Windows 95/98", kNot95},
        {"Windows 98 or 95", kNot95},
        {"4.00.950", kNot95},
        {"Windows 9 8", kNot98},
        {"", kNot98},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        SetText(kVersionKey, "Version", c.text);
        ExpectOutcome(c.warning);
    }
}

TEST_F(VersionTest, UnreadableVersionCountsAsEmptyText)
{
    DeleteValue(kVersionKey, "Version");
    ExpectOutcome(kNot98);

    SetText(kVersionKey, "Version", "Windows 98");
    win9x::machine::FailNthCall("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
    ExpectOutcome(kNot98);

    win9x::machine::FailNthCall("RegQueryValueExA", 1, ERROR_ACCESS_DENIED);
    ExpectOutcome(kNot98);
}

// The text is read into 260 bytes: 259 characters and their terminator fit;
// a longer text, or 260 characters without a terminator, cannot be read
// whole, counts as empty, and is refused although it begins with "98".
TEST_F(VersionTest, VersionTextAtTheBufferSize)
{
    const std::string text259 = "98" + std::string(257, 'x');
    SetVersionBytes(text259 + '\0');
    ExpectOutcome(nullptr);

    SetVersionBytes(text259 + "x" + '\0');
    ExpectOutcome(kNot98);

    // Stored without a terminator: ended inside the buffer when it fits.
    SetVersionBytes(text259, REG_BINARY);
    ExpectOutcome(nullptr);

    SetVersionBytes(text259 + "x", REG_BINARY);
    ExpectOutcome(kNot98);
}

}  // namespace
}  // namespace wizardtest
