// Test support for the program's dialogs: runs the interactive program in this process
// with input given as steps (each runs when the program next waits for input; when they
// run out the device has no more input and the program ends as if its user quit it), and
// reads back what the dialogs show.
#pragma once

#include "app/quillex.h"
#include "device/kernel/clock.h"
#include "device/shell/shell.h"
#include "device/windowing/dialogs.h"
#include "device/windowing/queue.h"
#include "device/windowing/windows.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace dialog_steps {

// A reminder tomorrow; the same one added three times makes duplicates a cleanup removes.
inline void addReminder() {
    CE_NOTIFICATION_TRIGGER trigger = {};
    trigger.dwSize = sizeof trigger;
    trigger.dwType = CNT_TIME;
    trigger.lpszApplication = const_cast<WCHAR*>(TEXT("\\Windows\\calnot.exe"));
    trigger.lpszArguments = const_cast<WCHAR*>(TEXT("AppRunAtTime"));
    // One start for every reminder of the process, a day ahead: reminders added one after
    // another are duplicates even when the clock moves on between them (a slow build).
    static const SYSTEMTIME start = [] {
        SYSTEMTIME now;
        GetLocalTime(&now);
        FILETIME when;
        SystemTimeToFileTime(&now, &when);
        when = device::fileTimeFromCount(device::fileTimeCount(when) + 24ull * 3600 * 10000000);
        SYSTEMTIME result;
        FileTimeToSystemTime(&when, &result);
        return result;
    }();
    trigger.stStartTime = start;
    ASSERT_NE(nullptr, CeSetUserNotificationEx(nullptr, &trigger, nullptr));
}

// A schedule value as stored in the registry, or -1 when the key or the value is missing.
inline long long storedValue(const WCHAR* name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, TEXT("Software\\Holvenark\\Quillex"), 0, 0, &key) != ERROR_SUCCESS) return -1;
    DWORD value = 0, type = 0, size = sizeof value;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? static_cast<long long>(value) : -1;
}

inline const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x10000));

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { resetProcessState(); }
    void TearDown() override {
        device::windowsReset();
        device::gdiReset();
        resetProcessState();
    }
    static void resetProcessState() {
        appInstance = nullptr;
        mainWindow = nullptr;
        menuBar = nullptr;
        installDir[0] = 0;
        startDays = startTime = startOptions = 0;
    }

    // Queues a step; steps run in order, one each time the program waits for input.
    void then(std::function<void()> step) { steps_->push_back(std::move(step)); }

    // Makes the queued steps the device's input.
    void feedSteps() {
        device::setInputSource([steps = steps_] {
            if (steps->empty()) return false;
            std::function<void()> step = std::move(steps->front());
            steps->pop_front();
            step();
            return true;
        });
    }

    // Runs the interactive program with the queued steps. RETURNS its exit code.
    int runProgram() {
        feedSteps();
        return WinMain(kInstance, nullptr, const_cast<WCHAR*>(TEXT("")), SW_SHOW);
    }

    static HWND front() { return GetForegroundWindow(); }

    static std::u16string textOf(HWND window) {
        WCHAR text[200] = {};
        GetWindowTextW(window, text, 200);
        return text;
    }
    static std::u16string figure(int id) { return textOf(GetDlgItem(front(), id)); }
    static bool checked(int id) {
        return SendMessageW(GetDlgItem(front(), id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    static void tap(int id) { EXPECT_TRUE(device::controlTap(GetDlgItem(front(), id))) << "tap " << id; }
    static void softKey(int button) { EXPECT_TRUE(device::menuBarPress(device::menuBarOf(front()), button)); }
    static void choose(const char16_t* item) {
        HWND bar = device::menuBarOf(front());
        EXPECT_TRUE(device::menuBarPress(bar, 1));
        EXPECT_TRUE(device::menuBarChoose(bar, item));
    }

    // The activity log's texts, without their timestamps.
    std::vector<std::string> logTexts() const {
        std::vector<std::string> texts;
        std::string path = "\\Program Files\\Quillex\\Quillex.log";
        if (!device_.exists(path)) return texts;
        for (const std::string& line : testing_support::logLines(device_.readText(path)))
            texts.push_back(line.substr(17));
        return texts;
    }

    testing_support::ScopedDevice device_;

private:
    std::shared_ptr<std::deque<std::function<void()>>> steps_ = std::make_shared<std::deque<std::function<void()>>>();
};

}  // namespace dialog_steps
