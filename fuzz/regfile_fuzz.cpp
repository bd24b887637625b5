// Fuzz target: arbitrary bytes imported as a registry file. Whatever the bytes, the import
// either is refused or leaves a registry that exports, and whose export, imported into an
// empty registry, exports again to the very same text.
//
// One device serves every input: it is made once in a temporary folder (in memory when
// /dev/shm exists) and its registry is emptied before each input.
#include "device/boot/device.h"
#include "device/kernel/registry.h"
#include "formats/regfile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const HKEY kRoots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};

class FuzzDevice {
public:
    FuzzDevice() {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/quillex-regfuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        top_ = pattern;
        std::string error;
        if (!device::open(top_ + "/device", &error)) {
            std::fprintf(stderr, "cannot open the fuzz device: %s\n", error.c_str());
            std::abort();
        }
    }
    ~FuzzDevice() {
        device::close();
        std::error_code ignored;
        std::filesystem::remove_all(top_, ignored);
    }

private:
    std::string top_;
};

void emptyRegistry() {
    for (HKEY root : kRoots) {
        std::vector<std::u16string> keys;
        device::regListSubKeys(root, &keys);
        for (const std::u16string& key : keys) device::regDeleteTree(root, key.c_str());
        std::vector<device::RegistryValue> values;
        device::regListValues(root, &values);
        for (const device::RegistryValue& value : values) RegDeleteValueW(root, value.name.c_str());
    }
}

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "regfile fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzDevice fuzzDevice;
    emptyRegistry();
    std::string error;
    if (!formats::regImport(std::string(reinterpret_cast<const char*>(data), size), &error)) return 0;
    std::string exported, again;
    if (!formats::regExport("", &exported, &error)) broken("an imported registry does not export", error);
    emptyRegistry();
    if (!formats::regImport(exported, &error)) broken("an export does not import", error);
    if (!formats::regExport("", &again, &error)) broken("a re-imported registry does not export", error);
    if (again != exported) broken("an export imported again exports differently", exported);
    return 0;
}
