// version, locale: what the device reports to programs about itself, shown or set.
#include "device/kernel/locale.h"
#include "device/kernel/processes.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"

#include <cstdio>
#include <optional>

namespace tool {
namespace {

std::string versionText;
std::optional<device::PlatformVersion> newVersion;
std::optional<std::string> separatorText;
std::optional<int> clockHours;

}  // namespace

void versionOptions(CLI::App* command) {
    command->add_option("MAJOR.MINOR", versionText, "e.g. 4.20 or 5.1 (the default)");
}

int versionCheck() {
    if (!versionText.empty() && !(newVersion = device::parsePlatformVersion(versionText)))
        return usage("not a platform version: \"" + versionText + "\" (expected MAJOR.MINOR, such as 4.20)");
    return 0;
}

int versionRun() {
    if (newVersion && !device::platformVersionSet(*newVersion)) return failStore("cannot change the platform version");
    std::puts(device::formatPlatformVersion(device::platformVersion()).c_str());
    return 0;
}

void localeOptions(CLI::App* command) {
    command->add_option("--time-separator", separatorText, "Between hours and minutes, e.g. \":\" or \".\"");
    command->add_option("--clock", clockHours, "12 or 24 hours")->check(CLI::IsMember({12, 24}));
}

int localeCheck() {
    if (separatorText && !device::validTimeSeparator(*separatorText)) {
        return usage("not a time separator: \"" + *separatorText +
                     "\" (expected 1 to 3 characters of UTF-8 text, none a letter, a digit or a control character)");
    }
    return 0;
}

int localeRun() {
    std::optional<bool> clock24;
    if (clockHours) clock24 = *clockHours == 24;
    if ((separatorText || clock24) && !device::timeFormatSet(separatorText, clock24))
        return failStore("cannot change the time format");
    device::TimeFormat format = device::timeFormat();
    std::printf("time separator \"%s\"\n%d-hour clock\n", format.separator.c_str(), format.clock24 ? 24 : 12);
    return 0;
}

}  // namespace tool
