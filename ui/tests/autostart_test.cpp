// The Auto-start dialog run on its own: what it shows from the stored settings and the
// locale, how a letter tap repaints its cell, that Cancel is ignored, and what OK stores.
#include "device/kernel/locale.h"
#include "device/kernel/registry.h"
#include "device/windowing/messages.h"
#include "res/resource.h"
#include "ui/tests/dialog_steps.h"

#include <vector>

namespace {

using dialog_steps::storedValue;

using dialog_steps::kInstance;
using dialog_steps::ProgramTest;

const char* const kKey = "Software\\Holvenark\\Quillex";

void storeValue(const char* name, DWORD value) {
    testing_support::setRegBytes(HKEY_CURRENT_USER, kKey, name, REG_DWORD,
                                 std::string(reinterpret_cast<const char*>(&value), sizeof value));
}


// What the procedure saw, in order, with the depth of nesting it saw it at.
struct Seen {
    UINT message;
    WPARAM wParam;
    int controlId;  // the control a colour message asks about
    int depth;
};
std::vector<Seen> seen;
int depth = 0;

INT_PTR recordingAutoStartProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    int control = message == WM_CTLCOLORSTATIC ? GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) : 0;
    seen.push_back({message, wParam, control, depth});
    ++depth;
    INT_PTR result = autoStartDialogProc(dialog, message, wParam, lParam);
    --depth;
    return result;
}

class AutoStartTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        seen.clear();
        appInstance = kInstance;
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES};
        InitCommonControlsEx(&controls);
    }

    // Runs the dialog with the queued steps. RETURNS its result.
    INT_PTR runDialog() {
        HRSRC found = FindResourceW(kInstance, MAKEINTRESOURCEW(IDD_AUTOSTART), RT_DIALOG);
        auto dialog = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(kInstance, found)));
        feedSteps();
        return DialogBoxIndirectParamW(kInstance, dialog, nullptr, recordingAutoStartProc, 0);
    }

    static HWND picker() { return GetDlgItem(front(), IDC_AUTO_TIME); }
    static SYSTEMTIME pickerTime() {
        SYSTEMTIME time = {};
        SendMessageW(picker(), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&time));
        return time;
    }
    static void setPickerTime(WORD hour, WORD minute) {
        SYSTEMTIME time = pickerTime();
        time.wHour = hour;
        time.wMinute = minute;
        EXPECT_EQ(TRUE, SendMessageW(picker(), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time)));
    }
};

TEST_F(AutoStartTest, OpensWithTheStoredSettingsAndOkStoresThemBackWithoutStrayBits) {
    storeValue("startDays", 0x80 | 0x22);      // Monday, Friday, and a bit with no weekday
    storeValue("startTime", 705);
    storeValue("startOptions", 0x40 | 0x21);   // notifications, soft reset, and a stray bit
    then([] {
        SYSTEMTIME time = pickerTime();
        EXPECT_EQ(7, time.wHour);
        EXPECT_EQ(5, time.wMinute);
        EXPECT_EQ(picker(), GetFocus());  // first tab stop
        EXPECT_TRUE(checked(IDC_AUTO_NOTIFICATIONS));
        EXPECT_TRUE(checked(IDC_AUTO_SOFTRESET));
        for (int box : {IDC_AUTO_TEMP, IDC_AUTO_IECACHE, IDC_AUTO_HISTORY, IDC_AUTO_AVANTGO})
            EXPECT_FALSE(checked(box)) << box;
        const int expected[7] = {0, 1, 0, 0, 0, 1, 0};
        for (int k = 0; k < 7; ++k) EXPECT_EQ(expected[k], dayToggles[k]) << k;
        EXPECT_TRUE(device::captionOk(front()));
    });
    EXPECT_EQ(IDOK, runDialog());
    EXPECT_EQ(0x22, storedValue(TEXT("startDays")));
    EXPECT_EQ(705, storedValue(TEXT("startTime")));
    EXPECT_EQ(0x21, storedValue(TEXT("startOptions")));
}

TEST_F(AutoStartTest, LetterTapRepaintsItsCellAtOnceInTheOtherColours) {
    then([] {
        device::paintTree(front());
        HWND monday = GetDlgItem(front(), IDC_DAY_MONDAY);
        EXPECT_EQ(RGB(7, 27, 149), device::controlFind(monday)->colours.text);
        EXPECT_EQ(RGB(220, 220, 230), device::controlFind(monday)->colours.background);
        seen.clear();
        tap(IDC_DAY_MONDAY);
    });
    then([] {
        // The cell asked for its colours while the tap was being handled, not later.
        ASSERT_GE(seen.size(), 2u);
        EXPECT_EQ(UINT(WM_COMMAND), seen[0].message);
        EXPECT_EQ(MAKEWPARAM(IDC_DAY_MONDAY, STN_CLICKED), seen[0].wParam);
        EXPECT_EQ(UINT(WM_CTLCOLORSTATIC), seen[1].message);
        EXPECT_EQ(IDC_DAY_MONDAY, seen[1].controlId);
        EXPECT_EQ(1, seen[1].depth);
        HWND monday = GetDlgItem(front(), IDC_DAY_MONDAY);
        EXPECT_EQ(RGB(240, 250, 240), device::controlFind(monday)->colours.text);
        EXPECT_EQ(RGB(7, 27, 149), device::controlFind(monday)->colours.background);
        EXPECT_TRUE(device::controlFind(monday)->colours.transparentText);
        tap(IDC_DAY_FRIDAY);
        tap(IDC_DAY_FRIDAY);  // twice: as it was
    });
    then([] {
        EXPECT_EQ(1, dayToggles[1]);
        EXPECT_EQ(0, dayToggles[5]);
        EXPECT_EQ(-1, storedValue(TEXT("startDays")));  // nothing stored before OK
        EXPECT_TRUE(device::captionOk(front()));
    });
    EXPECT_EQ(IDOK, runDialog());
    EXPECT_EQ(0x02, storedValue(TEXT("startDays")));
}

TEST_F(AutoStartTest, CancelIsIgnoredAndMidnightStoresZero) {
    then([] {
        EXPECT_TRUE(device::inputKey(VK_ESCAPE));
        PostMessageW(front(), WM_COMMAND, IDCANCEL, 0);
    });
    then([] {
        EXPECT_EQ(u"Auto-start", textOf(front()));
        setPickerTime(0, 0);
        tap(IDC_AUTO_TEMP);
    });
    then([] { EXPECT_TRUE(device::captionOk(front())); });
    EXPECT_EQ(IDOK, runDialog());
    EXPECT_EQ(0, storedValue(TEXT("startDays")));
    EXPECT_EQ(0, storedValue(TEXT("startTime")));
    EXPECT_EQ(0x02, storedValue(TEXT("startOptions")));

    // Reopened, the picker shows the time of day, not midnight.
    then([] {
        SYSTEMTIME now, shown = pickerTime();
        GetLocalTime(&now);
        EXPECT_EQ(now.wHour * 60 + now.wMinute, shown.wHour * 60 + shown.wMinute);
        EXPECT_TRUE(device::captionOk(front()));
    });
    EXPECT_EQ(IDOK, runDialog());
}

TEST_F(AutoStartTest, PickerFollowsTheLocalesClockAndSeparator) {
    storeValue("startTime", 1830);
    ASSERT_TRUE(device::timeFormatSet(".", false));
    then([] {
        EXPECT_EQ(u"6.30 PM", device::pickerText(picker()));
        EXPECT_TRUE(device::captionOk(front()));
    });
    EXPECT_EQ(IDOK, runDialog());
    ASSERT_TRUE(device::timeFormatSet(std::nullopt, true));
    then([] {
        EXPECT_EQ(u"18.30", device::pickerText(picker()));
        EXPECT_TRUE(device::captionOk(front()));
    });
    EXPECT_EQ(IDOK, runDialog());
    EXPECT_EQ(1830, storedValue(TEXT("startTime")));
}

TEST_F(AutoStartTest, MissingKeyIsCreatedAtOpeningAndAKeyGoneByOkStoresNothing) {
    then([] {
        EXPECT_EQ(-1, storedValue(TEXT("startDays")));
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\Holvenark\\Quillex"), 0, 0, &key));
        RegCloseKey(key);
        testing_support::deleteRegKey(HKEY_CURRENT_USER, kKey);
        tap(IDC_DAY_SUNDAY);
    });
    then([] { EXPECT_TRUE(device::captionOk(front())); });
    EXPECT_EQ(IDOK, runDialog());  // closes all the same
    EXPECT_EQ(-1, storedValue(TEXT("startDays")));
    EXPECT_EQ(1, startDays);  // the process still holds what it meant to store
}

}  // namespace
