// The screens window mode is shown on. The script screen, for use without a terminal,
// reads input events from a stream one a line and writes the device screen as plain text:
// the same grid of character cells the terminal screen draws, without colours.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace device {

// The device screen as text: 240 x 320 pixels in cells of 4.5 x 12 pixels, 3 x 8 dialog
// units. A column of 3 units rather than the font's average 4 holds a control's text
// whole wherever the device's proportional font does ("1024.0 KB" in 28 units). Row 0 is
// the title bar (26 pixels), then the 22 rows of the 268 pixels between the bars, and the
// last row the soft-key bar: 24 rows, which a terminal of the usual 80 x 24 shows whole.
constexpr int kScreenColumns = 53;
constexpr int kScreenRows = 24;

enum class ScriptAction { Nothing, Tap, SoftKey, Menu, Key, Ok, Dump, Picture, TerminalPicture, Invalid };

// One line of a script. `number` is the control id (Tap), the soft key (SoftKey: 0 the
// left, 1 the right), the virtual key (Key) or the terminal's columns (TerminalPicture,
// `rows` its rows); `text` the menu item's text (Menu) or the file to write (Picture,
// TerminalPicture); `error` says what is wrong with an Invalid line.
struct ScriptEvent {
    ScriptAction action = ScriptAction::Nothing;
    int number = 0;
    int rows = 0;
    std::u16string text;
    std::string error;
};

// RETURNS what a script line asks for: Nothing for a blank line or a '#' comment, Invalid
// (with `error`) for anything it does not understand. Surrounding blanks and a trailing
// carriage return are ignored; command and key names are matched ignoring case.
ScriptEvent scriptParse(std::string_view line);

// Carries out an event on the front window. A key does what it does on the terminal
// screen: while a pop-up menu is open, Up and Down move its highlight, Enter chooses the
// highlighted item and Escape closes the menu. Dump writes the screen to `out`, Picture
// writes it as a PNG image to the host file the event names, TerminalPicture the terminal
// screen as a terminal of that size shows it (frame and key help included).
// RETURNS false (with `error`) when there is nothing to act on: no such control, no
// soft-key bar, no open pop-up with that item, no title bar OK, no window for a key, a
// key the open menu does not take, or a picture that cannot be written.
bool scriptPerform(const ScriptEvent& event, std::ostream& out, std::string* error);

// RETURNS the screen as kScreenRows lines of at most kScreenColumns cells, in UTF-8,
// trailing blanks removed: this process's visible dialogs back to front, each control
// where its dialog units put it, the front window's title bar and soft-key bar, an open
// pop-up menu above the bar with its highlighted item marked '>', and a busy mark while
// the wait cursor shows.
std::vector<std::string> screenLines();

// The screen as one text: its lines, each ended by '\n', after a line of '=' that
// separates one screen from the next in a stream of them.
std::string screenText();

// Makes `in` the device's input, one event a line: whenever the window system waits for
// input, the screen is written to `out` if it changed since the last time it was looked at
// (or another process asked this one to come forward), then one line is read and carried
// out. Unknown lines and events that find nothing to act on are reported on `errors`, each
// message after `speaker` (the host program's name, e.g. "quillex: "), and skipped. At the
// end of `in` the device has no more input, which ends the program as if its user had quit
// it (exit code 0). The streams must outlive the window system's use.
void scriptScreenStart(std::istream& in, std::ostream& out, std::ostream& errors, const std::string& speaker);

// Ends the script screen once the program has ended. With `readRest` (not for a person
// typing at a terminal, who would have to end the input first) it reads what is left of
// the input and reports the events the program ended before ("2 lines not used
// (from line 5 on): the program had ended"); blank lines and comments do not count.
// RETURNS false when input lines were skipped or not used: the run is a failed one. True
// when the script screen never started.
bool scriptScreenFinish(bool readRest);

// The terminal screen, for a person at a terminal: the device screen drawn with curses as
// terminalView lays it out (view.h), in colour unless NO_COLOR is set to anything but "",
// keys and mouse taps as input (see input.h). Checks that standard input and output are a
// terminal of a type curses knows ($TERM) that can move the cursor, and makes it the
// device's input; the terminal is taken over only when there is a screen to show (a start
// that ends without waiting for input leaves it alone). Whenever the window system waits
// for input the screen is drawn if it changed, in full when a window came forward
// (another process asked for it, say), and a key is awaited; foreground requests are
// looked for between short waits, and the busy mark is drawn whenever SetCursor changes
// the cursor. SIGINT, SIGTERM, SIGHUP and SIGQUIT, the terminal going away, or q or Escape
// while the terminal is too small for the screen, end the input (the program ends as if
// its user had quit it, exit code 0); a second signal before that ends the process at
// once. The terminal is restored on every way out.
// RETURNS false (with `error`) when there is no terminal to use.
bool terminalScreenStart(std::string* error);

// Gives the terminal back as it was and removes the input source and hooks. Harmless when
// the terminal screen never started.
void terminalScreenStop();

}  // namespace device
