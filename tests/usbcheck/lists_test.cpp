// The lists of the select pages: the printers the driver presents now (one
// entry per device interface: the port name in 128 columns, then the device
// path), the fallback list of device instances without SetupAPI, the
// spooler's ports of the family and the model; and the lists refilled when
// the user opens them or comes back to their page.
#include <algorithm>

#include "wizard_fixture.h"

namespace wizardtest {
namespace {

using ovltest::ItemsOf;
using ovltest::SelectedOf;

class ListsTest : public WizardTest {
protected:
    // The entries and the selected entry of a list of the dialog.
    static std::vector<std::string> Items(HWND dialog, int id)
    {
        std::vector<std::string> items;
        LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; i++) {
            char text[1024] = {};
            SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }

    static LRESULT Selection(HWND dialog, int id) { return SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0); }

    static std::vector<std::string> Sorted(std::vector<std::string> items)
    {
        std::sort(items.begin(), items.end());
        return items;
    }
};

TEST_F(ListsTest, DeviceListHasOneSortedEntryPerPresentPrinter)
{
    auto b2 = AttachPrinter("Sorrelink 640", "B2");
    auto a1 = AttachPrinter("Sorrelink 640", "A1");
    auto c3 = AttachPrinter("Sorrelink 880", "C3");
    auto d4 = AttachPrinter("Sorrelink 640", "D4");
    std::string error;
    ASSERT_TRUE(ovlsim::SetAttached(d4.InstanceId(), false, &error)) << error;
    // The name comes from Product and SerialNumber alone: a PortName of its
    // own and a disabled interface change nothing.
    SetText(InterfaceValuesKey(a1), "PortName", "USB/Elsewhere/Z9");
    DWORD disabled = 0;
    SetValue(InterfaceValuesKey(b2), "Enabled", REG_DWORD, &disabled, sizeof disabled);

    WithBareDialog([&](HWND dialog) {
        FillModelList(dialog, IDC_PAGE_LIST);
        FillDeviceList(dialog, IDC_PAGE_LIST);
        std::vector<std::string> expected = {
            DeviceEntry("USB/Sorrelink 640/A1", a1.DevicePath()),
            DeviceEntry("USB/Sorrelink 640/B2", b2.DevicePath()),
            DeviceEntry("USB/Sorrelink 880/C3", c3.DevicePath()),
        };
        EXPECT_EQ(expected, Items(dialog, IDC_PAGE_LIST));
        EXPECT_EQ(0, Selection(dialog, IDC_PAGE_LIST));
    });
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
}

// The name part is exactly 128 columns: padded with spaces, or cut; a
// value that cannot be read counts as empty text.
TEST_F(ListsTest, DeviceEntryNameColumns)
{
    // Names of 127, 128 and 129 characters: "USB/" + product + "/" + "N1".
    std::vector<std::string> expected;
    for (size_t nameLength : {127u, 128u, 129u}) {
        std::string product = "Sorrelink " + std::string(nameLength - 7 - 10, static_cast<char>('A' + nameLength % 3));
        std::string serial = ovltest::Numbered("N", nameLength % 3);
        auto printer = AttachPrinter(product, serial);
        std::string name = "USB/" + product + "/" + serial;
        ASSERT_EQ(nameLength, name.size());
        expected.push_back(DeviceEntry(name, printer.DevicePath()));
    }
    auto bare = AttachPrinter("Sorrelink 640", "V1");
    DeleteValue(InterfaceValuesKey(bare), "Product");
    DeleteValue(InterfaceValuesKey(bare), "SerialNumber");
    expected.push_back(DeviceEntry("USB//", bare.DevicePath()));
    // 256 characters do not fit the 256-byte buffer: unreadable, empty.
    auto longProduct = AttachPrinter("Sorrelink 640", "V2");
    SetText(InterfaceValuesKey(longProduct), "Product", std::string(256, 'P'));
    expected.push_back(DeviceEntry("USB//V2", longProduct.DevicePath()));
    auto fullProduct = AttachPrinter("Sorrelink 640", "V3");
    SetText(InterfaceValuesKey(fullProduct), "Product", std::string(255, 'P'));
    expected.push_back(DeviceEntry("USB/" + std::string(255, 'P') + "/V3", fullProduct.DevicePath()));

    WithBareDialog([&](HWND dialog) {
        FillDeviceList(dialog, IDC_PAGE_LIST);
        auto items = Items(dialog, IDC_PAGE_LIST);
        EXPECT_EQ(Sorted(expected), Sorted(items));
        for (const auto &item : items)
            EXPECT_LE(item.size(), 255u) << item;
    });
}

// The entry carries at most 127 characters of device path: an interface
// whose path is longer is left out, the others are listed. The longest
// entry (255 characters) still opens its device.
TEST_F(ListsTest, DevicePathLimitAndTheLongestEntry)
{
    auto plain = AttachPrinter("Sorrelink 640", "P1");
    const size_t fixedPart = plain.DevicePath().size() - 4 - 2;  // tail without the serial
    auto fits = AttachPrinter("Sorrelink 640", std::string("F").append(127 - fixedPart - 1, 'f'));
    auto tooLong = AttachPrinter("Sorrelink 640", std::string("G").append(128 - fixedPart - 1, 'g'));
    ASSERT_EQ(127u, fits.DevicePath().size() - 4);
    ASSERT_EQ(128u, tooLong.DevicePath().size() - 4);

    WithBareDialog([&](HWND dialog) {
        FillDeviceList(dialog, IDC_PAGE_LIST);
        std::vector<std::string> expected = {
            DeviceEntry(fits.PortName(), fits.DevicePath()),
            DeviceEntry(plain.PortName(), plain.DevicePath()),
        };
        auto items = Items(dialog, IDC_PAGE_LIST);
        ASSERT_EQ(expected, items);
        EXPECT_EQ(255u, items[0].size());

        HANDLE device = OpenSelectedDevice(dialog, IDC_PAGE_LIST);
        EXPECT_NE(INVALID_HANDLE_VALUE, device);
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
    });
}

// An interface whose detail record cannot be had is left out; one whose
// key does not open is listed with the name "USB//"; without a device
// information set the list is empty.
TEST_F(ListsTest, DeviceListWhenSetupApiCallsFail)
{
    auto a1 = AttachPrinter("Sorrelink 640", "A1");
    auto b2 = AttachPrinter("Sorrelink 640", "B2");
    const std::vector<std::string> both = {DeviceEntry(a1.PortName(), a1.DevicePath()),
                                           DeviceEntry(b2.PortName(), b2.DevicePath())};

    WithBareDialog([&](HWND dialog) {
        win9x::machine::FailNthAllocation(1);
        FillDeviceList(dialog, IDC_PAGE_LIST);
        EXPECT_EQ(1u, Items(dialog, IDC_PAGE_LIST).size());

        // The second call is the first interface's record being filled in.
        win9x::machine::FailNthCall("SetupDiGetDeviceInterfaceDetailA", 2, ERROR_INVALID_USER_BUFFER);
        FillDeviceList(dialog, IDC_PAGE_LIST);
        EXPECT_EQ(1u, Items(dialog, IDC_PAGE_LIST).size());

        win9x::machine::FailNthCall("SetupDiOpenDeviceInterfaceRegKey", 1, ERROR_FILE_NOT_FOUND);
        FillDeviceList(dialog, IDC_PAGE_LIST);
        auto items = Items(dialog, IDC_PAGE_LIST);
        ASSERT_EQ(2u, items.size());
        EXPECT_EQ(std::string("USB//").append(123, ' '), items[0].substr(0, 128));

        FillDeviceList(dialog, IDC_PAGE_LIST);
        EXPECT_EQ(both, Items(dialog, IDC_PAGE_LIST));

        win9x::machine::FailNthCall("SetupDiGetClassDevsA", 1, ERROR_NOT_ENOUGH_MEMORY);
        FillDeviceList(dialog, IDC_PAGE_LIST);
        EXPECT_TRUE(Items(dialog, IDC_PAGE_LIST).empty());
        EXPECT_EQ(CB_ERR, Selection(dialog, IDC_PAGE_LIST));
    });
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
}

// Without SETUPAPI.DLL the list shows the serial numbers of the enabled
// device instances that the registry keeps, with no message.
TEST_F(ListsTest, FallbackListWithoutSetupApi)
{
    AttachPrinter("Sorrelink 640", "PRESENT");
    const std::string base = std::string(kFallbackEnumKey) + "\\";
    const DWORD on = 1, off = 0;
    auto instance = [&](const std::string &key, const char *serial, const char *product, const DWORD *enabled) {
        CreateKey(base + key);
        if (enabled)
            SetValue(base + key, "Enabled", REG_DWORD, enabled, sizeof(DWORD));
        if (serial)
            SetText(base + key, "SerialNumber", serial);
        if (product)
            SetText(base + key, "Product", product);
    };
    instance("S2", "S2", "Sorrelink 640", &on);
    instance("K1", "S1", "Sorrelink 640", &on);  // listed by its SerialNumber, not its key
    instance("S3", "S3", "Sorrelink 640", &off);
    instance("S4", nullptr, nullptr, nullptr);
    instance("S5", "S5", "Sorrelink 640", nullptr);
    instance("S6", nullptr, "Sorrelink 640", &on);
    instance("S7", "S7", nullptr, &on);
    win9x::machine::SetModuleMissing("SETUPAPI.DLL", true);

    WithBareDialog([&](HWND dialog) {
        FillModelList(dialog, IDC_PAGE_LIST);
        FillDeviceList(dialog, IDC_PAGE_LIST);
        EXPECT_EQ((std::vector<std::string>{"S1", "S2"}), Items(dialog, IDC_PAGE_LIST));
        EXPECT_EQ(0, Selection(dialog, IDC_PAGE_LIST));

        // No instances at all: an empty list.
        ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kFallbackEnumKey));
        FillDeviceList(dialog, IDC_PAGE_LIST);
        EXPECT_TRUE(Items(dialog, IDC_PAGE_LIST).empty());
    });
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
}

// A SetupAPI function missing: the list keeps what it held, selection
// included, with no message.
TEST_F(ListsTest, MissingSetupApiFunctionKeepsTheList)
{
    AttachPrinter("Sorrelink 640", "A1");
    const char *functions[] = {"SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
                               "SetupDiGetDeviceInterfaceDetailA", "SetupDiDestroyDeviceInfoList",
                               "SetupDiOpenDeviceInterfaceRegKey"};
    WithBareDialog([&](HWND dialog) {
        for (const char *function : functions) {
            SCOPED_TRACE(function);
            SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_RESETCONTENT, 0, 0);
            SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("first"));
            SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("second"));
            SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_SETCURSEL, 1, 0);
            win9x::machine::SetFunctionMissing("SETUPAPI.DLL", function, true);
            FillDeviceList(dialog, IDC_PAGE_LIST);
            win9x::machine::SetFunctionMissing("SETUPAPI.DLL", function, false);
            EXPECT_EQ((std::vector<std::string>{"first", "second"}), Items(dialog, IDC_PAGE_LIST));
            EXPECT_EQ(1, Selection(dialog, IDC_PAGE_LIST));
        }
    });
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
}

TEST_F(ListsTest, PortListHasTheFamilysPortsSorted)
{
    // The spooler's own ports (LPT1:, COM1:, COM2:, FILE:) are there already.
    // The list sorts without regard to case.
    for (const char *port :
         {"USB/Sorrelink 640/b2", "USB/Sorrelink 640/A1", "USB/Sorrelink 640/C3", "USB/Sorrelink/Unknown",
          "USB/Other/X9", "usb/sorrelink 640/D4", "USB/SorrelinkPro/P1", "USB/Sorrelin/K1"})
        AddSpoolerPort(port);
    // The longest name the registry holds, 255 characters, arrives whole.
    const std::string name255 = "USB/Sorrelink 640/L" + std::string(236, 'l');
    AddSpoolerPort(name255);
    ASSERT_EQ(255u, name255.size());

    WithBareDialog([&](HWND dialog) {
        FillPortList(dialog, IDC_PAGE_LIST);
        std::vector<std::string> expected = {
            "USB/Sorrelink 640/A1", "USB/Sorrelink 640/b2", "USB/Sorrelink 640/C3",
            name255,                "USB/Sorrelink/Unknown", "USB/SorrelinkPro/P1",
        };
        EXPECT_EQ(expected, Items(dialog, IDC_PAGE_LIST));
        EXPECT_EQ(0, Selection(dialog, IDC_PAGE_LIST));

        // Without ports of the family the list is empty.
        for (const auto &port : expected)
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kPortsKey) + "\\" + port).c_str());
        FillPortList(dialog, IDC_PAGE_LIST);
        EXPECT_TRUE(Items(dialog, IDC_PAGE_LIST).empty());
    });
    EXPECT_TRUE(driver_->boxes().empty()) << Describe(driver_->boxes());
}

TEST_F(ListsTest, PortListWithoutThePortKeyIsLeftAsItWas)
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kPortsKey));

    WithBareDialog([&](HWND dialog) {
        SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("USB/Sorrelink 640/A1"));
        SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("USB/Sorrelink 640/B2"));
        SendDlgItemMessageA(dialog, IDC_PAGE_LIST, CB_SETCURSEL, 1, 0);
        FillPortList(dialog, IDC_PAGE_LIST);
        EXPECT_EQ((std::vector<std::string>{"USB/Sorrelink 640/A1", "USB/Sorrelink 640/B2"}),
                  Items(dialog, IDC_PAGE_LIST));
        EXPECT_EQ(1, Selection(dialog, IDC_PAGE_LIST));
    });
    ASSERT_EQ(1u, driver_->boxes().size()) << Describe(driver_->boxes());
    const auto &box = driver_->boxes()[0].box;
    EXPECT_EQ("Couldn't open registry key for port names", box.text);
    EXPECT_EQ("Error", box.caption);
    EXPECT_TRUE(box.captionGiven);
    EXPECT_EQ(static_cast<UINT>(MB_OK), box.style);
    EXPECT_EQ(nullptr, box.owner);
}

TEST_F(ListsTest, ModelListHasTheOneModel)
{
    AddSpoolerPort("USB/Sorrelink 640/A1");
    WithBareDialog([&](HWND dialog) {
        FillPortList(dialog, IDC_PAGE_LIST);
        FillModelList(dialog, IDC_PAGE_LIST);
        EXPECT_EQ((std::vector<std::string>{kModelName}), Items(dialog, IDC_PAGE_LIST));
        EXPECT_EQ(0, Selection(dialog, IDC_PAGE_LIST));
    });
}

// Opening the list on a select page reads its source again and selects the
// first entry, whatever the user had picked.
TEST_F(ListsTest, OpeningTheListRefillsItAndSelectsTheFirstEntry)
{
    AddSpoolerPort("USB/Sorrelink 640/B2");
    AddSpoolerPort("USB/Sorrelink 640/C3");
    ChooseOption(IDC_OPTION_DELETE);
    driver_->Pick(IDC_PAGE_LIST, 1);
    driver_->Do([] { AddSpoolerPort("USB/Sorrelink 640/A1"); });
    driver_->OpenList(IDC_PAGE_LIST);
    // The same on the printers' page.
    driver_->Click(IDC_BACK);
    ChooseOption(IDC_OPTION_TEST);
    driver_->Do([] {
        AttachPrinter("Sorrelink 640", "X2");
        AttachPrinter("Sorrelink 640", "X3");
    });
    driver_->OpenList(IDC_PAGE_LIST).Pick(IDC_PAGE_LIST, 1);
    driver_->Do([] { AttachPrinter("Sorrelink 640", "X1"); });
    driver_->OpenList(IDC_PAGE_LIST);

    RunWizardDialog();

    ASSERT_EQ("", driver_->error());
    const auto &views = driver_->views();
    ASSERT_EQ(14u, views.size());
    EXPECT_EQ("USB/Sorrelink 640/C3", SelectedOf(views[3], IDC_PAGE_LIST));
    EXPECT_EQ((std::vector<std::string>{"USB/Sorrelink 640/A1", "USB/Sorrelink 640/B2", "USB/Sorrelink 640/C3"}),
              ItemsOf(views[5], IDC_PAGE_LIST));
    EXPECT_EQ("USB/Sorrelink 640/A1", SelectedOf(views[5], IDC_PAGE_LIST));

    EXPECT_EQ(Page::TestSelect, PageShown(views[8]));
    EXPECT_TRUE(ItemsOf(views[8], IDC_PAGE_LIST).empty());
    EXPECT_EQ(2u, ItemsOf(views[10], IDC_PAGE_LIST).size());
    EXPECT_EQ("USB/Sorrelink 640/X3", SelectedOf(views[11], IDC_PAGE_LIST).substr(0, 20));
    auto items = ItemsOf(views[13], IDC_PAGE_LIST);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ("USB/Sorrelink 640/X1", items[0].substr(0, 20));
    EXPECT_EQ(items[0], SelectedOf(views[13], IDC_PAGE_LIST));
}

}  // namespace
}  // namespace wizardtest
