// reg import, reg export: the device's registry as registry files.
#include "formats/regfile.h"
#include "host/common/output.h"
#include "host/device-tool/commands.h"
#include "host/device-tool/tool.h"


namespace tool {
namespace {

std::string importFile, exportKey;

}  // namespace

void regImportOptions(CLI::App* command) {
    command->add_option("FILE", importFile, "The file, or - for standard input")->required();
}

int regImportRun() {
    std::string bytes, error;
    if (!readInput(importFile, &bytes, &error) || !formats::regImport(bytes, &error)) return fail(error);
    return 0;
}

void regExportOptions(CLI::App* command) {
    command->add_option("KEY", exportKey, "A key such as HKEY_LOCAL_MACHINE\\Software");
}

int regExportRun() {
    std::string text, error;
    if (!formats::regExport(exportKey, &text, &error)) return fail(error);
    host::writeOut(text);
    return 0;
}

}  // namespace tool
