// Log lines as the report and the progress line read them: which lines start or end an
// action, and which are free text that must never name one.
#include "formats/logline.h"

#include <gtest/gtest.h>

namespace {

using formats::LogRole;

TEST(LogLineTest, ReadsTheStampTheTextAndWhetherALineStartsOrEndsAnAction) {
    struct Case {
        const char* line;
        const char* stamp;
        const char* text;
        LogRole role;
        const char* action;
    };
    const Case cases[] = {
        {"07/12 10:00:00 ->cleanupTemp", "07/12 10:00:00", "cleanupTemp", LogRole::Starts, "cleanupTemp"},
        {"07/12 10:00:00 ->removeNotifications: 3 removed", "07/12 10:00:00", "removeNotifications: 3 removed",
         LogRole::Ends, "removeNotifications"},
        {"07/12 10:00:00 ->cleanup2", "07/12 10:00:00", "cleanup2", LogRole::Starts, "cleanup2"},
        // Free text: capitals, spaces, punctuation, a colon without its space, nothing at all.
        {"07/12 10:00:00 ->CleanupTemp", "07/12 10:00:00", "CleanupTemp", LogRole::Neither, ""},
        {"07/12 10:00:00 ->kept \\Windows\\calnot.exe", "07/12 10:00:00", "kept \\Windows\\calnot.exe", LogRole::Neither, ""},
        {"07/12 10:00:00 ->clean_temp", "07/12 10:00:00", "clean_temp", LogRole::Neither, ""},
        {"07/12 10:00:00 ->cleanupTemp:done", "07/12 10:00:00", "cleanupTemp:done", LogRole::Neither, ""},
        {"07/12 10:00:00 ->Export: 2 kept", "07/12 10:00:00", "Export: 2 kept", LogRole::Neither, ""},
        {"07/12 10:00:00 ->", "07/12 10:00:00", "", LogRole::Neither, ""},
        // Only the first arrow ends the stamp; a line without one is all text.
        {"07/12 10:00:00 ->a->b", "07/12 10:00:00", "a->b", LogRole::Neither, ""},
        {"cleanupTemp", "", "cleanupTemp", LogRole::Starts, "cleanupTemp"},
        {"", "", "", LogRole::Neither, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        formats::LogLine read = formats::logLineRead(c.line);
        EXPECT_EQ(c.stamp, read.stamp);
        EXPECT_EQ(c.text, read.text);
        EXPECT_EQ(c.role, read.role);
        EXPECT_EQ(c.action, read.action);
    }
}

TEST(LogLineTest, SplitsWrittenBytesIntoLinesWithoutTheirEnds) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ((Lines{"a", "b"}), formats::logLinesSplit("a\r\nb\r\n"));
    EXPECT_EQ((Lines{"a", "", "b"}), formats::logLinesSplit("a\n\r\nb"));
    EXPECT_EQ(Lines{}, formats::logLinesSplit(""));
}

}  // namespace
