// The terminal screen: window mode for a person at a terminal, with curses. The device
// screen is drawn in colour (pictures as half-block pixels), keys and mouse taps go through
// the device's input paths, and the terminal is given back as it was on every way out.
#define NCURSES_WIDECHAR 1

#include "device/screens/input.h"
#include "device/screens/render.h"
#include "device/screens/screen.h"
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
    if (has_colors() && start_color() == OK) {
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

void drawCell(int row, int column, const Cell& cell) {
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

void drawTooSmall(int rows, int columns) {
    std::string message = "The device screen needs a terminal of " + std::to_string(kScreenColumns) + " x " +
                          std::to_string(kScreenRows) + " or more; this one is " + std::to_string(columns) + " x " +
                          std::to_string(rows) + ". Keys do nothing until it is made larger.";
    int row = 0;
    while (!message.empty() && row < rows) {
        size_t take = message.size() <= static_cast<size_t>(columns) ? message.size()
                                                                      : message.rfind(' ', static_cast<size_t>(columns));
        if (take == std::string::npos || take == 0) take = static_cast<size_t>(columns);
        mvaddnstr(row++, 0, message.c_str(), static_cast<int>(take));
        message.erase(0, std::min(message.size(), take + (take < message.size() && message[take] == ' ')));
    }
}

// The key help in lines of at most `width` characters, broken between its items.
std::vector<std::string> helpLines(const std::string& help, int width) {
    std::vector<std::string> lines;
    std::string rest = help;
    while (!rest.empty()) {
        size_t take = rest.size();
        if (take > static_cast<size_t>(width)) {
            take = rest.rfind("  ", static_cast<size_t>(width));
            if (take == std::string::npos || take == 0) take = static_cast<size_t>(width);
        }
        lines.push_back(rest.substr(0, take));
        rest.erase(0, take);
        rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size() : rest.find_first_not_of(' '));
    }
    return lines;
}

// Draws the device screen in the middle of the terminal, in a frame with the key help
// below when there is room, or says that the terminal is too small.
void draw(const ScreenGrid& grid) {
    int rows = 0, columns = 0;
    getmaxyx(stdscr, rows, columns);
    if (terminal.relayout) erase();
    terminal.fits = rows >= kScreenRows && columns >= kScreenColumns;
    if (!terminal.fits) {
        if (!terminal.relayout) erase();
        drawTooSmall(rows, columns);
    } else {
        bool framed = rows >= kScreenRows + 2 && columns >= kScreenColumns + 2;
        std::vector<std::string> help = helpLines(terminal.help, columns);
        int helpRows = std::min(static_cast<int>(help.size()), rows - kScreenRows - (framed ? 2 : 0));
        int height = kScreenRows + (framed ? 2 : 0) + helpRows;
        terminal.top = (rows - height) / 2 + (framed ? 1 : 0);
        terminal.left = (columns - kScreenColumns) / 2;
        if (framed) {
            int bottom = terminal.top + kScreenRows, right = terminal.left + kScreenColumns;
            mvhline_set(terminal.top - 1, terminal.left, WACS_HLINE, kScreenColumns);
            mvhline_set(bottom, terminal.left, WACS_HLINE, kScreenColumns);
            mvvline_set(terminal.top, terminal.left - 1, WACS_VLINE, kScreenRows);
            mvvline_set(terminal.top, right, WACS_VLINE, kScreenRows);
            mvadd_wch(terminal.top - 1, terminal.left - 1, WACS_ULCORNER);
            mvadd_wch(terminal.top - 1, right, WACS_URCORNER);
            mvadd_wch(bottom, terminal.left - 1, WACS_LLCORNER);
            mvadd_wch(bottom, right, WACS_LRCORNER);
        }
        attron(A_DIM);
        for (int i = 0; i < helpRows; ++i) {
            const std::string& line = help[static_cast<size_t>(i)];
            int row = terminal.top + kScreenRows + (framed ? 1 : 0) + i;
            mvaddstr(row, (columns - static_cast<int>(line.size())) / 2, line.c_str());
        }
        attroff(A_DIM);
        for (int r = 0; r < kScreenRows; ++r)
            for (int c = 0; c < kScreenColumns; ++c) drawCell(terminal.top + r, terminal.left + c, grid.at(r, c));
        move(terminal.top + kScreenRows - 1, terminal.left + kScreenColumns - 1);
    }
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
// the device screen, only a change of size counts: nothing acts on a screen not seen.
// RETURNS true when it did something.
bool act(int kind, wint_t key) {
    if (kind == KEY_CODE_YES && key == KEY_RESIZE) {
        terminal.relayout = true;
        return false;
    }
    if (!terminal.fits) return false;
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
        if (stopSignal) return false;
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
    del_curterm(cur_term);
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
