// The schedule settings as the Auto-start dialog keeps them: created when missing on
// reading, written back whole and flushed.
#include "app/quillex.h"
#include "device/core/faults.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

namespace {

TEST(ScheduleSettingsTest, DialogReadCreatesTheKeyAndKeepsWhatIsMissing) {
    testing_support::ScopedDevice device;
    HKEY key;
    ASSERT_FALSE(openScheduleKey(&key));
    startDays = 3;
    startTime = 4;
    startOptions = 5;
    loadScheduleSettings();
    ASSERT_TRUE(openScheduleKey(&key));  // created, with no values
    RegCloseKey(key);
    EXPECT_EQ(3, startDays);
    EXPECT_EQ(4, startTime);
    EXPECT_EQ(5, startOptions);
}

TEST(ScheduleSettingsTest, WrittenValuesReadBackTheSame) {
    testing_support::ScopedDevice device;
    loadScheduleSettings();
    const int cases[][3] = {{0x7F, 1830, 0x3F}, {0x02, 705, 0x20}, {0, 0, 0}, {0x41, 2359, 0x01}};
    for (const auto& c : cases) {
        startDays = c[0];
        startTime = c[1];
        startOptions = c[2];
        saveScheduleSettings();
        startDays = startTime = startOptions = -1;
        loadScheduleSettings();
        EXPECT_EQ(c[0], startDays);
        EXPECT_EQ(c[1], startTime);
        EXPECT_EQ(c[2], startOptions);
    }
}

TEST(ScheduleSettingsTest, NothingIsWrittenWhenTheKeyDoesNotOpen) {
    testing_support::ScopedDevice device;
    startDays = 0x7F;
    saveScheduleSettings();  // the dialog's writer never creates the key
    HKEY key;
    EXPECT_FALSE(openScheduleKey(&key));
    loadScheduleSettings();
    device::faultArm("RegOpenKeyExW", 1);
    startDays = 0x01;
    saveScheduleSettings();
    startDays = 0;
    loadScheduleSettings();
    EXPECT_EQ(0, startDays);
}

}  // namespace
