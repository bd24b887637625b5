// Tests of the script screen: the lines it understands, the text it draws for the
// program's own dialogs (controls by their dialog units, title bar, soft keys, pop-up,
// busy mark), input read from a stream, and window mode driven through the built program.
#include "device/screens/screen.h"

#include "device/windowing/tests/dialog_recorder.h"
#include "device/shell/shell.h"
#include "res/resource.h"

#include <filesystem>
#include <sstream>

using namespace dialog_testing;

namespace {

// The screens in a stream of them, each without the separator line that opens it.
std::vector<std::string> screensOf(const std::string& output) {
    const std::string separator = std::string(device::kScreenColumns, '=') + "\n";
    std::vector<std::string> screens;
    for (size_t at = output.find(separator); at != std::string::npos;) {
        size_t next = output.find(separator, at + 1);
        size_t begin = at + separator.size();
        screens.push_back(output.substr(begin, next == std::string::npos ? next : next - begin));
        at = next;
    }
    return screens;
}

TEST(ScriptParseTest, LinesBecomeEvents) {
    using A = device::ScriptAction;
    struct Case {
        const char* line;
        A action;
        int number;
        const char16_t* text;
    } cases[] = {
        {"", A::Nothing, 0, u""},
        {"   \t", A::Nothing, 0, u""},
        {"# tap 1004", A::Nothing, 0, u""},
        {"  #comment", A::Nothing, 0, u""},
        {"tap 1004", A::Tap, 1004, u""},
        {"TAP  -1 \r", A::Tap, -1, u""},
        {"tap", A::Invalid, 0, u""},
        {"tap 12x", A::Invalid, 0, u""},
        {"softkey left", A::SoftKey, 0, u""},
        {"softkey Right", A::SoftKey, 1, u""},
        {"softkey middle", A::Invalid, 0, u""},
        {"menu Automatic Start", A::Menu, 0, u"Automatic Start"},
        {"menu   Exit  ", A::Menu, 0, u"Exit"},
        {"menu", A::Invalid, 0, u""},
        {"key Escape", A::Key, VK_ESCAPE, u""},
        {"key enter", A::Key, VK_RETURN, u""},
        {"key Tab", A::Key, VK_TAB, u""},
        {"key SPACE", A::Key, VK_SPACE, u""},
        {"key Up", A::Key, VK_UP, u""},
        {"key Down", A::Key, VK_DOWN, u""},
        {"key Left", A::Key, VK_LEFT, u""},
        {"key Right", A::Key, VK_RIGHT, u""},
        {"key 0", A::Key, '0', u""},
        {"key 7", A::Key, '7', u""},
        {"key 12", A::Invalid, 0, u""},
        {"key F1", A::Invalid, 0, u""},
        {"key", A::Invalid, 0, u""},
        {"picture shots/main.png", A::Picture, 0, u"shots/main.png"},
        {"picture", A::Invalid, 0, u""},
        {"terminal-picture 80x24  shots/a b.png", A::TerminalPicture, 80, u"shots/a b.png"},
        {"terminal-picture 80x24", A::Invalid, 0, u""},
        {"terminal-picture 80 shots/t.png", A::Invalid, 0, u""},
        {"terminal-picture 0x24 shots/t.png", A::Invalid, 0, u""},
        {"ok", A::Ok, 0, u""},
        {"Dump\r", A::Dump, 0, u""},
        {"ok now", A::Invalid, 0, u""},
        {"jump", A::Invalid, 0, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        device::ScriptEvent event = device::scriptParse(c.line);
        EXPECT_EQ(c.action, event.action);
        EXPECT_EQ(c.number, event.number);
        EXPECT_EQ(std::u16string(c.text), event.text);
        EXPECT_EQ(c.action == A::Invalid, !event.error.empty());
    }
}

class ScriptScreenTest : public DialogTest {
protected:
    // Dialogs of the program's templates: the main one full-screen with its soft keys, as
    // the program sets it up; a command ends the dialog with its number.
    void SetUp() override {
        DialogTest::SetUp();
        reactLikeTheProgram();
    }

    // The screen's lines, each padded to the full width so columns can be compared.
    static std::vector<std::string> padded() {
        std::vector<std::string> lines = device::screenLines();
        EXPECT_EQ(static_cast<size_t>(device::kScreenRows), lines.size());
        for (std::string& line : lines) {
            EXPECT_LE(line.size(), static_cast<size_t>(device::kScreenColumns)) << line;
            line.resize(device::kScreenColumns, ' ');
        }
        return lines;
    }

    static std::string at(int column, const std::string& text) { return std::string(column, ' ') + text; }
    static std::string pad(std::string text) {
        text.resize(device::kScreenColumns, ' ');
        return text;
    }
};

TEST_F(ScriptScreenTest, MainDialogShowsLabelsFiguresChecksAndSoftKeys) {
    std::vector<std::string> shown, withPopup;
    script({[&] {
                HWND dialog = GetForegroundWindow();
                SetWindowTextW(GetDlgItem(dialog, IDC_TEMP_SIZE), u"12 KB");
                SendMessageW(GetDlgItem(dialog, IDC_IECACHE_CHECK), BM_SETCHECK, BST_CHECKED, 0);
                shown = padded();
            },
            [&] {
                ASSERT_TRUE(device::menuBarPress(device::menuBarOf(GetForegroundWindow()), 1));
                withPopup = padded();
            }});
    runDialog(IDD_MAIN, owner_, 1);
    ASSERT_EQ(24u, shown.size());
    // Rows: the title bar, then the dialog from row 1; a row is 8 units, a column 3. The
    // first check box has the focus ('>').
    EXPECT_EQ(pad("Quillex                                          [OK]"), shown[0]);
    EXPECT_EQ(pad(" [bmp]"), shown[2]);
    EXPECT_EQ(pad(" Notifications:        0        >[ ]"), shown[5]);
    EXPECT_EQ(pad(" Temp files:           12 KB     [ ]"), shown[7]);
    EXPECT_EQ(pad(" IE Cache:             0         [x]"), shown[8]);
    EXPECT_EQ(pad(" IE History:           0         [ ]"), shown[10]);
    EXPECT_EQ(pad(" AvantGo Cache:        0         [ ]"), shown[11]);
    for (int row : {1, 3, 4, 6, 9, 12, 16, 22}) EXPECT_EQ(pad(""), shown[row]) << row;
    EXPECT_EQ(pad("Cleanup                                         Tools"), shown[23]);

    // The menu just opened: its first item is the one Enter would choose.
    ASSERT_EQ(24u, withPopup.size());
    const char* popup[] = {"+----------------+", "|>About          |", "| Automatic Start|", "| Export Log     |",
                           "|----------------|", "| Exit           |", "+----------------+"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(pad(at(35, popup[i])), withPopup[16 + i]) << i;
    EXPECT_EQ(shown[23], withPopup[23]);
    EXPECT_EQ(shown[5], withPopup[5]);
}

TEST_F(ScriptScreenTest, SmallDialogIsFramedWhereItIsCentredAndTheWaitCursorShows) {
    std::vector<std::string> shown;
    device_.writeFile("\\Temp\\a.tmp", 1);
    device_.writeFile("\\Temp\\b.tmp", 1);
    script({[&] {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        // Work through a folder: the mark counts the files the search went through.
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(u"\\Temp\\*", &found);
        while (FindNextFileW(search, &found)) {
        }
        FindClose(search);
        shown = padded();
        SetCursor(nullptr);
    }});
    runDialog(IDD_ABOUT, owner_, 0);
    ASSERT_EQ(24u, shown.size());
    // 129 x 42 units are 193 x 63 pixels, centred below the title bar at (23, 141):
    // columns 5-46, rows 10-14, in a frame. The busy mark counts the seconds.
    EXPECT_EQ(0u, shown[0].find("About Quillex  "));
    EXPECT_NE(std::string::npos, shown[0].find(" [busy ")) << shown[0];
    EXPECT_EQ(shown[0].size() - 15, shown[0].find("s 2 files] [OK]")) << shown[0];
    std::string edge = "+" + std::string(42, '-') + "+";
    EXPECT_EQ(pad(at(4, edge)), shown[9]);
    EXPECT_EQ(pad("    |                                          |"), shown[10]);
    EXPECT_EQ(pad("    | [icon]  Quillex v1.07                    |"), shown[11]);
    EXPECT_EQ(pad("    |         Free software, no warranty.      |"), shown[12]);
    EXPECT_EQ(pad("    |         www.holvenark.example            |"), shown[14]);
    EXPECT_EQ(pad(at(4, edge)), shown[15]);
    EXPECT_EQ(pad(""), shown[23]);  // no soft keys of its own
}

TEST_F(ScriptScreenTest, StreamDrivesTheDialogAndWritesChangedScreens) {
    std::istringstream in("dump\nsoftkey right\n\nbogus\ntap 1006\nmenu Nothing\nmenu Exit\ndump\n");
    std::ostringstream out, errors;
    device::scriptScreenStart(in, out, errors, "quillex: ");
    EXPECT_EQ(IDM_EXIT, runDialog(IDD_MAIN, owner_, 1));

    // Three screens: the dump, the opened pop-up, the ticked box. The blank line, the bad
    // lines and the last dump (never read: Exit ended the dialog) wrote none.
    std::vector<std::string> screens = screensOf(out.str());
    ASSERT_EQ(3u, screens.size()) << out.str();
    EXPECT_EQ(std::string::npos, screens[0].find("Automatic Start"));
    EXPECT_NE(std::string::npos, screens[1].find("|>About          |"));
    EXPECT_NE(std::string::npos, screens[2].find("IE Cache:             0        >[x]"));
    EXPECT_NE(std::string::npos, screens[1].find("IE Cache:             0         [ ]"));
    EXPECT_EQ("quillex: input line 4: unknown command \"bogus\"\n"
              "quillex: input line 6: no item \"Nothing\" in an open pop-up menu\n",
              errors.str());
}

TEST_F(ScriptScreenTest, EventsWithNothingToActOnAreRefused) {
    std::ostringstream out;
    std::string error;
    struct Case {
        const char* line;
        const char* error;
    } cases[] = {
        {"tap 4242", "no control 4242 in the front window"},
        {"softkey left", "the front window has no soft keys"},
        {"menu Exit", "no item \"Exit\" in an open pop-up menu"},
        {"ok", "the front window has no OK button"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_FALSE(device::scriptPerform(device::scriptParse(c.line), out, &error));
        EXPECT_EQ(c.error, error);
    }
    device::windowsReset();
    EXPECT_FALSE(device::scriptPerform(device::scriptParse("key Tab"), out, &error));
    EXPECT_EQ("no window takes keys", error);
    EXPECT_EQ("", out.str());
}

// ------------------------------------------------------------ through the built program


TEST(ScriptScreenProgramTest, ExitFromTheToolsMenuEndsTheProgram) {
    testing_support::ScopedDevice device;
    testing_support::RunResult result = testing_support::run(
        testing_support::quillexBinary(), {"--device", device.dir(), "--screen", "script"},
        "dump\nsoftkey right\nmenu Exit\n");
    EXPECT_EQ(0, result.exitCode) << result.output;
    EXPECT_EQ(2u, screensOf(result.output).size()) << result.output;
    for (const char* shown : {"Notifications:", "Temp files:", "IE Cache:", "IE History:", "AvantGo Cache:",
                              "Cleanup", "Tools", "|>About", "| Automatic Start", "| Export Log", "| Exit"})
        EXPECT_NE(std::string::npos, result.output.find(shown)) << shown;
    EXPECT_EQ(std::string::npos, result.output.find("quillex:")) << result.output;
}

// A tap on a weekday cell changes only its colours on the device: the screen is written
// all the same, the selected day in brackets; `picture` writes a PNG of the screen.
TEST(ScriptScreenProgramTest, CellTapsWriteTheScreenAndPicturesAreWritten) {
    testing_support::ScopedDevice device;
    std::string picture = device.dir() + "/auto.png";
    testing_support::RunResult result = testing_support::run(
        testing_support::quillexBinary(), {"--device", device.dir(), "--screen", "script"},
        "softkey right\nmenu Automatic Start\ntap 1300\ntap 1305\npicture " + picture + "\nok\nok\n");
    EXPECT_EQ(0, result.exitCode) << result.output;
    std::vector<std::string> screens = screensOf(result.output);
    // The menu, Automatic Start, each tap, the main dialog again.
    ASSERT_EQ(5u, screens.size()) << result.output;
    EXPECT_NE(std::string::npos, screens[2].find("On:            [M] T  W  T  F  S  S")) << screens[2];
    EXPECT_NE(std::string::npos, screens[3].find("On:            [M] T  W  T  F [S] S")) << screens[3];
    EXPECT_TRUE(std::filesystem::exists(picture) || !std::filesystem::exists("/usr/share/unifont/unifont.hex"));
}

// Every way to leave the program ends the run with 0, and Escape in an open menu closes
// the menu first, as on the terminal screen. Input the program ended before is reported,
// blank lines and comments aside, and makes the run a failed one.
TEST(ScriptScreenProgramTest, HowTheInputEnds) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        const char* input;
        int exitCode;
        size_t screens;
        const char* errors;
    } cases[] = {
        {"title bar OK", {"--screen", "script"}, "ok\n", 0, 0, ""},
        {"Escape", {"--screen=script"}, "key Escape\n", 0, 0, ""},
        {"end of input", {"--screen", "script"}, "", 0, 0, ""},
        {"input not a terminal", {}, "# nothing to do\n", 0, 0, ""},
        {"Escape closes the open menu, then quits", {}, "softkey right\nkey Escape\nkey Escape\n", 0, 2, ""},
        {"Enter chooses the highlighted item: Automatic Start", {}, "softkey right\nkey Down\nkey Enter\n", 0, 3, ""},
        {"a line after OK", {}, "ok\ndump\n\n# done\n", 1, 0,
         "quillex: 1 line not used (line 2): the program had ended\n"},
        {"lines after Exit", {}, "softkey right\nmenu Exit\ndump\nbogus\n", 1, 1,
         "quillex: 2 lines not used (from line 3 on): the program had ended\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScopedDevice device;
        std::vector<std::string> args = {"--device", device.dir()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        testing_support::RunResult result = testing_support::run(testing_support::quillexBinary(), args, c.input);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.output;
        EXPECT_EQ(c.screens, screensOf(result.output).size()) << result.output;
        size_t errors = result.output.find("quillex:");
        EXPECT_EQ(c.errors, errors == std::string::npos ? "" : result.output.substr(errors));
    }
}

TEST(ScriptScreenProgramTest, BadLinesAreReportedAndSkipped) {
    testing_support::ScopedDevice device;
    testing_support::RunResult result =
        testing_support::run(testing_support::quillexBinary(), {"--device", device.dir(), "--screen", "script"},
                             "tap 4242\nfrobnicate\nok\n");
    // The run goes on past them, but ends as a failed one.
    EXPECT_EQ(1, result.exitCode);
    EXPECT_EQ("quillex: input line 1: no control 4242 in the front window\n"
              "quillex: input line 2: unknown command \"frobnicate\"\n",
              result.output);

    EXPECT_EQ(2, testing_support::run(testing_support::quillexBinary(), {"--screen", "ncurses"}).exitCode);
    EXPECT_EQ(2, testing_support::run(testing_support::quillexBinary(), {"--screen"}).exitCode);
}

}  // namespace
