// The terminal screen: window mode for a person at a terminal, with curses. The device
// screen is drawn in colour (pictures as half-block pixels), or with reverse video alone
// where NO_COLOR asks for no colour; keys and mouse taps go through the device's input
// paths, and the terminal is given back as it was on every way out.
#define NCURSES_WIDECHAR 1

#include "device/screens/input.h"
#include "device/screens/render.h"
#include "device/screens/screen.h"
#include "device/screens/view.h"
#include "device/kernel/files.h"
#include "device/windowing/dialogs.h"
#include "device/windowing/queue.h"
#include "device/windowing/windows.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include <curses.h>
#include <term.h>
#undef columns  // term.h's names for capabilities; here they are plain variable names
#undef lines
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace device {
namespace {

// How long a wait for a key lasts before the device looks for foreground requests again.
constexpr int kWaitMilliseconds = 150;
// How long a lone Escape waits for the rest of a key's sequence.
constexpr int kEscapeMilliseconds = 25;
// How often, at most, the busy mark is redrawn while the program works through files.
constexpr auto kBusyRedraw = std::chrono::milliseconds(200);
constexpr int kCaughtSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct Terminal {
    bool started = false;     // terminalScreenStart succeeded and no stop since
    SCREEN* screen = nullptr;  // curses, from the first drawing on
    std::string oldLocale;
    bool utf8 = false;
    int colours = 0;  // 0 without colours; else 8, 16 or 256
    std::map<std::pair<int, int>, short> pairs;
    short nextPair = 1;
    bool fullRedraw = true;  // the terminal's contents are unknown: send everything
    bool relayout = true;    // the terminal's size changed: lay it out afresh
    bool drawing = false;
    bool cursesFailed = false;
    int top = 0, left = 0;  // where the device screen's first cell is
    bool fits = false;
    bool quit = false;  // q or Escape at the notice that the terminal is too small
    ScreenGrid shown;
    std::string help;  // the key help as last drawn
    std::chrono::steady_clock::time_point busyDrawn;
    ScreenInput input;
    struct sigaction oldActions[sizeof kCaughtSignals / sizeof kCaughtSignals[0]] = {};
};
Terminal terminal;

volatile sig_atomic_t stopSignal = 0;

// A first signal ends the program at its next wait for input, as if its user had quit; a
// second one, while the program is still busy, ends it at once with the terminal restored.
void onSignal(int number) {
    if (stopSignal) {
        if (terminal.screen) endwin();
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    stopSignal = number;
}

void restoreAtExit() {
    if (terminal.screen) endwin();
}

bool openCurses() {
    if (terminal.screen) return true;
    if (terminal.cursesFailed) return false;
    terminal.oldLocale = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "");
    terminal.utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    terminal.screen = newterm(nullptr, stdout, stdin);
    if (!terminal.screen) {
        std::setlocale(LC_CTYPE, terminal.oldLocale.c_str());
        terminal.cursesFailed = true;
        return false;
    }
    set_escdelay(kEscapeMilliseconds);
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    curs_set(0);
    wtimeout(stdscr, kWaitMilliseconds);
    // NO_COLOR set to anything but "" asks programs for no colour (no-color.org).
    const char* noColour = std::getenv("NO_COLOR");
    bool colourWanted = !noColour || !*noColour;
    if (colourWanted && has_colors() && start_color() == OK) {
        use_default_colors();
        terminal.colours = COLORS >= 256 ? 256 : COLORS >= 16 ? 16 : 8;
    }
    mousemask(BUTTON1_PRESSED, nullptr);
    mouseinterval(0);
    terminal.fullRedraw = terminal.relayout = true;
    return true;
}

short pairFor(int foreground, int background) {
    auto found = terminal.pairs.find({foreground, background});
    if (found != terminal.pairs.end()) return found->second;
    if (terminal.nextPair >= std::min(COLOR_PAIRS, 32767)) return 0;
    short pair = terminal.nextPair++;
    init_pair(pair, static_cast<short>(foreground), static_cast<short>(background));
    terminal.pairs[{foreground, background}] = pair;
    return pair;
}

bool dark(COLORREF colour) {
    int r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    return 3 * r + 6 * g + b < 1280;
}

cchar_t cellCharacter(wchar_t character, const cchar_t* lineForm, attr_t attributes, short pair) {
    wchar_t text[CCHARW_MAX] = {character, 0};
    if (lineForm) {
        attr_t lineAttributes = 0;
        short ignored = 0;
        getcchar(lineForm, text, &lineAttributes, &ignored, nullptr);
        attributes |= lineAttributes;
    }
    cchar_t shown{};
    setcchar(&shown, text, attributes, pair, nullptr);
    return shown;
}

const cchar_t* lineForm(Line line) {
    switch (line) {
    case Line::Horizontal: return WACS_HLINE;
    case Line::Vertical: return WACS_VLINE;
    case Line::TopLeft: return WACS_ULCORNER;
    case Line::TopRight: return WACS_URCORNER;
    case Line::BottomLeft: return WACS_LLCORNER;
    case Line::BottomRight: return WACS_LRCORNER;
    case Line::TeeLeft: return WACS_LTEE;
    case Line::TeeRight: return WACS_RTEE;
    case Line::None: break;
    }
    return nullptr;
}

// A cell of the terminal round the device screen: the terminal's own colours.
void drawTerminalCell(int row, int column, const Cell& cell) {
    attr_t attributes = 0;
    if (cell.attributes & kCellReverse) attributes |= A_REVERSE;
    if (cell.attributes & kCellBold) attributes |= A_BOLD;
    if (cell.attributes & kCellDim) attributes |= A_DIM;
    wchar_t character = cell.character;
    if (character < 0x20 || wcwidth(character) != 1 || (!terminal.utf8 && character > 0x7E)) character = L'?';
    cchar_t shown = cellCharacter(character, lineForm(cell.line), attributes, 0);
    mvadd_wch(row, column, &shown);
}

void drawCell(int row, int column, const Cell& cell) {
    if (cell.attributes & kCellTerminal) return drawTerminalCell(row, column, cell);
    COLORREF foreground = cell.text, background = cell.background;
    wchar_t character = cell.character;
    // Without colours a picture cannot show: the text standing in for it does.
    bool picture = cell.picture && terminal.colours;
    if (picture && terminal.utf8) {
        character = L'\u2580';  // upper half block: the upper pixel in front, the lower behind
        foreground = cell.upper;
        background = cell.lower;
    } else if (picture) {
        character = L' ';
        background = RGB(((cell.upper & 0xFF) + (cell.lower & 0xFF)) / 2,
                         (((cell.upper >> 8) & 0xFF) + ((cell.lower >> 8) & 0xFF)) / 2,
                         (((cell.upper >> 16) & 0xFF) + ((cell.lower >> 16) & 0xFF)) / 2);
    } else if (cell.placeholder && terminal.colours) {
        character = L' ';
    } else if (character < 0x20 || (character >= 0xD800 && character < 0xE000) || wcwidth(character) != 1 ||
               (!terminal.utf8 && character > 0x7E)) {
        character = L'?';
    }
    attr_t attributes = 0;
    if (cell.attributes & kCellReverse) attributes |= A_REVERSE;
    if (cell.attributes & kCellUnderline) attributes |= A_UNDERLINE;
    if (cell.attributes & kCellBold) attributes |= A_BOLD;
    short pair = 0;
    if (terminal.colours) {
        int front = terminalColour(foreground, terminal.colours);
        int back = terminalColour(background, terminal.colours);
        // Text the palette would hide on its background shows in black or white.
        if (front == back && foreground != background && !picture) front = dark(background) ? COLOR_WHITE : COLOR_BLACK;
        pair = pairFor(front, back);
    } else if (dark(background)) {
        attributes ^= A_REVERSE;
    }
    const cchar_t* line = picture || cell.placeholder ? nullptr : lineForm(cell.line);
    cchar_t shown = cellCharacter(character, line, attributes, pair);
    mvadd_wch(row, column, &shown);
}

// Fills the terminal as its size lays it out: the device screen with its frame and key
// help, or the notice that the terminal is too small.
void draw(const ScreenGrid& grid) {
    int rows = 0, columns = 0;
    getmaxyx(stdscr, rows, columns);
    TerminalView view = terminalView(grid, terminal.help, rows, columns);
    terminal.fits = view.fits;
    terminal.top = view.top;
    terminal.left = view.left;
    for (int r = 0; r < view.rows; ++r)
        for (int c = 0; c < view.columns; ++c) drawCell(r, c, view.at(r, c));
    if (terminal.fullRedraw) clearok(curscr, TRUE);
    refresh();
    terminal.fullRedraw = terminal.relayout = false;
}

// Draws the screen when it changed since it was last shown, or the terminal needs it.
void show(bool paint) {
    if (!terminal.screen || terminal.drawing) return;
    terminal.drawing = true;
    RenderOptions options;
    options.paint = paint;
    options.popupHighlight = terminal.input.highlight();
    ScreenGrid grid = screenRender(options);
    std::string help = keyHelp();
    // New key help may take another number of rows: the layout is drawn afresh.
    if (help != terminal.help) terminal.relayout = true;
    terminal.help = std::move(help);
    if (terminal.fullRedraw || terminal.relayout || !(grid == terminal.shown)) draw(grid);
    terminal.shown = std::move(grid);
    terminal.drawing = false;
}

// RETURNS true when the terminal has gone away: hung up, or at the end of its input.
bool terminalGone() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 0) <= 0) return false;
    if (input.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
    int waiting = 0;
    return (input.revents & POLLIN) && ioctl(STDIN_FILENO, FIONREAD, &waiting) == 0 && waiting == 0;
}

// Carries out a key or mouse event from curses. While the terminal is too small to show
// the device screen, nothing acts on the screen not seen: a change of size counts, and q
// or Escape quits, as the notice says.
// RETURNS true when it did something.
bool act(int kind, wint_t key) {
    if (kind == KEY_CODE_YES && key == KEY_RESIZE) {
        terminal.relayout = true;
        return false;
    }
    if (!terminal.fits) {
        terminal.quit = kind != KEY_CODE_YES && (key == L'q' || key == L'Q' || key == 0x1B);
        return false;
    }
    if (kind == KEY_CODE_YES) {
        switch (key) {
        case KEY_MOUSE: {
            MEVENT event{};
            if (getmouse(&event) != OK || !(event.bstate & BUTTON1_PRESSED)) return false;
            return terminal.input.tap(terminal.shown, event.y - terminal.top, event.x - terminal.left);
        }
        case KEY_UP: return terminal.input.key(ScreenKey::Up);
        case KEY_DOWN: return terminal.input.key(ScreenKey::Down);
        case KEY_LEFT: return terminal.input.key(ScreenKey::Left);
        case KEY_RIGHT: return terminal.input.key(ScreenKey::Right);
        case KEY_BTAB: return terminal.input.key(ScreenKey::BackTab);
        case KEY_ENTER: return terminal.input.key(ScreenKey::Enter);
        case KEY_BACKSPACE: return terminal.input.key(ScreenKey::Backspace);
        case KEY_F(1): return terminal.input.key(ScreenKey::SoftLeft);
        case KEY_F(2): return terminal.input.key(ScreenKey::SoftRight);
        }
        return false;
    }
    switch (key) {
    case L'\t': return terminal.input.key(ScreenKey::Tab);
    case L'\r':
    case L'\n': return terminal.input.key(ScreenKey::Enter);
    case 0x1B: return terminal.input.key(ScreenKey::Escape);
    case 0x08:
    case 0x7F: return terminal.input.key(ScreenKey::Backspace);
    }
    return terminal.input.key(ScreenKey::Character, static_cast<char32_t>(key));
}

// The device's input source: shows the screen, then waits for a key, looking for other
// processes' foreground requests between waits. RETURNS false when input has ended.
bool waitForInput() {
    if (!openCurses()) return false;
    for (;;) {
        if (stopSignal || terminal.quit) return false;
        if (foregroundRequestsServe() > 0) return true;
        show(true);
        wint_t key = 0;
        int kind = wget_wch(stdscr, &key);
        if (kind == ERR) {
            if (terminalGone()) return false;
            continue;
        }
        if (act(kind, key)) return true;
    }
}

}  // namespace

bool terminalScreenStart(std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    if (terminal.started) return true;
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return fail("the terminal screen needs a terminal");
    // Only looks the terminal up: curses takes the terminal over when there is a first
    // screen to show, so a start that ends at once leaves the terminal alone.
    const char* type = std::getenv("TERM");
    if (!type || !*type) return fail("TERM does not name the terminal's type");
    int status = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &status) != OK) {
        return fail(status == -1 ? "the terminal database cannot be found"
                                 : "the terminal type \"" + std::string(type) + "\" is unknown or cannot be drawn on");
    }
    // Without cursor addressing (TERM=dumb, a printing terminal) there is no screen to draw.
    const char* move = tigetstr(const_cast<char*>("cup"));
    bool addressable = move != nullptr && move != reinterpret_cast<char*>(-1);
    del_curterm(cur_term);
    if (!addressable)
        return fail("the terminal type \"" + std::string(type) + "\" cannot move the cursor, which the device screen needs");
    stopSignal = 0;
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < sizeof kCaughtSignals / sizeof kCaughtSignals[0]; ++i)
        sigaction(kCaughtSignals[i], &action, &terminal.oldActions[i]);
    static bool exitHandlerAdded = false;
    if (!exitHandlerAdded) exitHandlerAdded = std::atexit(restoreAtExit) == 0;
    terminal.started = true;
    setInputSource(waitForInput);
    setForegroundHook([](HWND) { terminal.fullRedraw = true; });
    // The busy mark shows while the program works; the records are drawn as they stand.
    setCursorHook([](HCURSOR) {
        if (openCurses()) show(false);
        terminal.busyDrawn = std::chrono::steady_clock::now();
    });
    // While it works through folders the busy mark counts the seconds and the files.
    setFilesListedHook([] {
        auto now = std::chrono::steady_clock::now();
        if (!terminal.screen || !cursorIsWait() || now - terminal.busyDrawn < kBusyRedraw) return;
        terminal.busyDrawn = now;
        show(false);
    });
    return true;
}

void terminalScreenStop() {
    if (!terminal.started) return;
    setCursorHook(nullptr);
    setFilesListedHook(nullptr);
    setForegroundHook(nullptr);
    setInputSource(nullptr);
    if (terminal.screen) {
        endwin();
        delscreen(terminal.screen);
        terminal.screen = nullptr;
        std::setlocale(LC_CTYPE, terminal.oldLocale.c_str());
    }
    for (size_t i = 0; i < sizeof kCaughtSignals / sizeof kCaughtSignals[0]; ++i)
        sigaction(kCaughtSignals[i], &terminal.oldActions[i], nullptr);
    terminal = Terminal{};
}

}  // namespace device
