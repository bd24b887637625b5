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
// the title bar, the last row the soft-key bar.
constexpr int kScreenColumns = 53;
constexpr int kScreenRows = 26;

enum class ScriptAction { Nothing, Tap, SoftKey, Menu, Key, Ok, Dump, Picture, Invalid };

// One line of a script. `number` is the control id (Tap), the soft key (SoftKey: 0 the
// left, 1 the right) or the virtual key (Key); `text` the menu item's text (Menu) or the
// file to write (Picture);
// `error` says what is wrong with an Invalid line.
struct ScriptEvent {
    ScriptAction action = ScriptAction::Nothing;
    int number = 0;
    std::u16string text;
    std::string error;
};

// RETURNS what a script line asks for: Nothing for a blank line or a '#' comment, Invalid
// (with `error`) for anything it does not understand. Surrounding blanks and a trailing
// carriage return are ignored; command and key names are matched ignoring case.
ScriptEvent scriptParse(std::string_view line);

// Carries out an event on the front window. Dump writes the screen to `out`, Picture
// writes it as a PNG image to the host file the event names.
// RETURNS false (with `error`) when there is nothing to act on: no such control, no
// soft-key bar, no open pop-up with that item, no title bar OK, no window for a key, or
// a picture that cannot be written.
bool scriptPerform(const ScriptEvent& event, std::ostream& out, std::string* error);

// RETURNS the screen as kScreenRows lines of at most kScreenColumns cells, in UTF-8,
// trailing blanks removed: this process's visible dialogs back to front, each control
// where its dialog units put it, the front window's title bar and soft-key bar, an open
// pop-up menu above the bar, and a busy mark while the wait cursor shows.
std::vector<std::string> screenLines();

// The screen as one text: its lines, each ended by '\n', after a line of '=' that
// separates one screen from the next in a stream of them.
std::string screenText();

// Makes `in` the device's input, one event a line: whenever the window system waits for
// input, the screen is written to `out` if it changed since the last time it was looked at
// (or another process asked this one to come forward), then one line is read and carried
// out. Unknown lines and events that find nothing to act on are reported on `errors` and
// skipped. At the end of `in` the device has no more input, which ends the program as if
// its user had quit it (exit code 0). The streams must outlive the window system's use.
void scriptScreenStart(std::istream& in, std::ostream& out, std::ostream& errors);

// How many input lines the script screen reported and skipped so far; a start-up ends
// non-zero when there were any.
int scriptScreenSkippedLines();

// The terminal screen, for a person at a terminal: the device screen drawn with curses in
// the middle of the terminal, keys and mouse taps as input (see screen_input.h). Checks
// that standard input and output are a terminal of a type curses knows ($TERM) and makes
// it the device's input; the terminal is taken over only when there is a screen to show
// (a start that ends without waiting for input leaves it alone). Whenever the window
// system waits for input the screen is drawn if it changed, in full when a window came
// forward (another process asked for it, say), and a key is awaited; foreground requests
// are looked for between short waits, and the busy mark is drawn whenever SetCursor
// changes the cursor. SIGINT, SIGTERM, SIGHUP and SIGQUIT, or the terminal going away,
// end the input (the program ends as if its user had quit it, exit code 0); a second
// signal before that ends the process at once. The terminal is restored on every way out.
// RETURNS false (with `error`) when there is no terminal to use.
bool terminalScreenStart(std::string* error);

// Gives the terminal back as it was and removes the input source and hooks. Harmless when
// the terminal screen never started.
void terminalScreenStop();

}  // namespace device
