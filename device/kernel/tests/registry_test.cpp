// Tests of the registry family: paths, case rules, the in/out sizes of the readers
// (buffers are filled with 0xbd first so any write past what is allowed shows), order of
// enumeration, keys deleted under an open handle, other processes, and chosen failures.
#include "device/kernel/registry.h"

#include "device/boot/device.h"
#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <set>
#include <vector>

using device::RegistryValue;
using device::regDeleteTree;
using device::regListSubKeys;
using device::regListValues;
using testing_support::ScopedDevice;

namespace {

constexpr BYTE kSentinel = 0xbd;

std::string bytesOf(const std::u16string& text, bool terminated) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + (terminated ? 1 : 0)) * 2);
}

bool allSentinel(const std::vector<BYTE>& buffer) {
    for (BYTE b : buffer)
        if (b != kSentinel) return false;
    return true;
}

class RegistryTest : public ::testing::Test {
protected:
    HKEY create(HKEY root, const char16_t* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, 0, 0, nullptr, &key, disposition));
        return key;
    }
    LONG open(HKEY root, const char16_t* path, HKEY* key) { return RegOpenKeyExW(root, path, 0, 0, key); }
    bool exists(HKEY root, const char16_t* path) {
        HKEY key;
        if (open(root, path, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    void set(HKEY key, const char16_t* name, DWORD type, const std::string& bytes) {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                                static_cast<DWORD>(bytes.size())));
    }
    // RETURNS the value's bytes, or "<missing>".
    std::string get(HKEY key, const char16_t* name, DWORD* type = nullptr) {
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return "<missing>";
        std::string bytes(size, '\0');
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size));
        return bytes;
    }
    // The names enumerate(index, name, length) gives up to ERROR_NO_MORE_ITEMS.
    template <class Enumerate>
    std::vector<std::u16string> namesOf(Enumerate enumerate) {
        std::vector<std::u16string> names;
        WCHAR name[64];
        for (DWORD index = 0;; ++index) {
            DWORD length = 64;
            LONG status = enumerate(index, name, &length);
            if (status != ERROR_SUCCESS) {
                EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
                return names;
            }
            names.emplace_back(name, length);
        }
    }
    std::vector<std::u16string> valueNames(HKEY key) {
        return namesOf([key](DWORD index, WCHAR* name, DWORD* length) {
            return RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }
    std::vector<std::u16string> subKeyNames(HKEY key) {
        return namesOf([key](DWORD index, WCHAR* name, DWORD* length) {
            return RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
        });
    }

    ScopedDevice device;
};

TEST_F(RegistryTest, OpenNeverCreatesAndCreateMakesTheWholePath) {
    HKEY untouched = reinterpret_cast<HKEY>(uintptr_t{0x1234});
    HKEY key = untouched;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, open(HKEY_CURRENT_USER, u"Software\\Tests\\Deep", &key));
    EXPECT_EQ(untouched, key);
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Software"));

    DWORD disposition = 0;
    HKEY deep = create(HKEY_CURRENT_USER, u"Software\\Tests\\Deep", &disposition);
    EXPECT_EQ(DWORD{REG_CREATED_NEW_KEY}, disposition);
    EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"Software"));
    EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"Software\\Tests"));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Software\\Tests"));

    HKEY again = create(HKEY_CURRENT_USER, u"SOFTWARE\\tests\\DEEP", &disposition);
    EXPECT_EQ(DWORD{REG_OPENED_EXISTING_KEY}, disposition);
    set(deep, u"v", REG_BINARY, "\x01\x02");
    EXPECT_EQ("\x01\x02", get(again, u"v"));
    // A new last component is reported new even when the path above it exists.
    HKEY sibling = create(HKEY_CURRENT_USER, u"Software\\Tests\\Other", &disposition);
    EXPECT_EQ(DWORD{REG_CREATED_NEW_KEY}, disposition);
    for (HKEY k : {deep, again, sibling}) EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(k));
}

TEST_F(RegistryTest, PathForms) {
    struct Case {
        const char16_t* path;
        bool accepted;
    };
    const Case cases[] = {
        {u"\\Lead\\Ing", true}, {u"Plain", true},     {u"Two\\\\Slashes", false},
        {u"Trail\\", false},    {u"\\\\Lead", false}, {u"\\", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(device::toUtf8(c.path));
        HKEY key = nullptr;
        LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, c.path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
        if (c.accepted) {
            EXPECT_EQ(ERROR_SUCCESS, created);
            RegCloseKey(key);
            std::u16string bare = c.path[0] == u'\\' ? c.path + 1 : c.path;
            EXPECT_TRUE(exists(HKEY_CURRENT_USER, bare.c_str()));
            EXPECT_TRUE(exists(HKEY_CURRENT_USER, c.path));
        } else {
            EXPECT_EQ(ERROR_INVALID_PARAMETER, created);
            EXPECT_EQ(ERROR_FILE_NOT_FOUND, open(HKEY_CURRENT_USER, c.path, &key));
        }
    }
    // Nothing of the refused paths was created on the way.
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Two"));
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Trail"));
}

TEST_F(RegistryTest, NamesMatchIgnoringCaseAndKeepTheirFirstSpelling) {
    HKEY parent = create(HKEY_LOCAL_MACHINE, u"Software\\CaseTest");
    RegCloseKey(create(parent, u"MixedCase"));
    RegCloseKey(create(parent, u"\u00C4rger"));
    EXPECT_TRUE(exists(parent, u"mixedcase"));
    EXPECT_TRUE(exists(parent, u"\u00E4RGER"));
    EXPECT_EQ((std::vector<std::u16string>{u"MixedCase", u"\u00C4rger"}), subKeyNames(parent));

    set(parent, u"Volume", REG_DWORD, std::string("\x05\0\0\0", 4));
    set(parent, u"VOLUME", REG_BINARY, "\x07");  // the same value
    DWORD type = 0;
    EXPECT_EQ("\x07", get(parent, u"volume", &type));
    EXPECT_EQ(DWORD{REG_BINARY}, type);
    EXPECT_EQ((std::vector<std::u16string>{u"Volume"}), valueNames(parent));
    RegCloseKey(parent);
}

TEST_F(RegistryTest, QueryReportsSizesAndNeverOverruns) {
    HKEY key = create(HKEY_CURRENT_USER, u"Q");
    std::string unterminated = bytesOf(u"abc", false);
    set(key, u"raw", REG_SZ, unterminated);

    DWORD type = 99, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"raw", nullptr, &type, nullptr, &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(DWORD{REG_SZ}, type);

    // Too small by one byte: untouched buffer, size needed reported.
    std::vector<BYTE> small(5, kSentinel);
    size = 5;
    type = 99;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"raw", nullptr, &type, small.data(), &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(DWORD{REG_SZ}, type);
    EXPECT_TRUE(allSentinel(small));

    // Larger: exactly the stored bytes, no terminator added after them.
    std::vector<BYTE> large(10, kSentinel);
    size = 10;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"raw", nullptr, nullptr, large.data(), &size));
    EXPECT_EQ(6u, size);
    EXPECT_EQ(0, std::memcmp(large.data(), unterminated.data(), 6));
    EXPECT_TRUE(allSentinel(std::vector<BYTE>(large.begin() + 6, large.end())));

    // A missing value touches nothing.
    type = 99;
    size = 10;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"absent", nullptr, &type, large.data(), &size));
    EXPECT_EQ(99u, type);
    EXPECT_EQ(10u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(key, u"raw", nullptr, nullptr, large.data(), nullptr));

    // Empty values and the default value (null or empty name).
    set(key, u"empty", REG_BINARY, "");
    EXPECT_EQ("", get(key, u"empty"));
    set(key, nullptr, REG_SZ, bytesOf(u"default", true));
    EXPECT_EQ(bytesOf(u"default", true), get(key, u""));
    EXPECT_EQ(bytesOf(u"default", true), get(key, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumValuesInCreationOrderShiftingAfterDelete) {
    HKEY key = create(HKEY_CURRENT_USER, u"E");
    for (const char16_t* name : {u"one", u"two", u"three", u"four"}) set(key, name, REG_BINARY, "x");
    set(key, u"TWO", REG_DWORD, std::string(4, '\0'));  // replacing keeps the position
    EXPECT_EQ((std::vector<std::u16string>{u"one", u"two", u"three", u"four"}), valueNames(key));

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Two"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"two"));
    EXPECT_EQ((std::vector<std::u16string>{u"one", u"three", u"four"}), valueNames(key));
    set(key, u"two", REG_BINARY, "y");  // comes back last
    EXPECT_EQ((std::vector<std::u16string>{u"one", u"three", u"four", u"two"}), valueNames(key));

    WCHAR name[8];
    DWORD length = 8;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(key, 4, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumValueW(key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumValueSizes) {
    HKEY key = create(HKEY_CURRENT_USER, u"S");
    std::string data = bytesOf(u"foobar", true);  // 14 bytes
    set(key, u"Test", REG_SZ, data);

    struct Case {
        DWORD nameLength;
        DWORD dataSize;
        LONG result;
    };
    const Case cases[] = {
        {5, 14, ERROR_SUCCESS},     // name and terminator fit exactly
        {4, 14, ERROR_MORE_DATA},   // no room for the terminator
        {0, 14, ERROR_MORE_DATA},   //
        {20, 13, ERROR_MORE_DATA},  // data one byte short
        {2, 2, ERROR_MORE_DATA},    // both short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "nameLength " << c.nameLength << " dataSize " << c.dataSize);
        std::vector<BYTE> nameBuffer(40, kSentinel), dataBuffer(20, kSentinel);
        DWORD nameLength = c.nameLength, dataSize = c.dataSize, type = 99;
        LONG status = RegEnumValueW(key, 0, reinterpret_cast<WCHAR*>(nameBuffer.data()), &nameLength, nullptr, &type,
                                    dataBuffer.data(), &dataSize);
        EXPECT_EQ(c.result, status);
        EXPECT_EQ(DWORD{REG_SZ}, type);
        EXPECT_EQ(14u, dataSize);
        if (status == ERROR_SUCCESS) {
            EXPECT_EQ(4u, nameLength);
            EXPECT_EQ(0, std::memcmp(nameBuffer.data(), u"Test", 10));
            EXPECT_EQ(0, std::memcmp(dataBuffer.data(), data.data(), 14));
            EXPECT_TRUE(allSentinel(std::vector<BYTE>(nameBuffer.begin() + 10, nameBuffer.end())));
            EXPECT_TRUE(allSentinel(std::vector<BYTE>(dataBuffer.begin() + 14, dataBuffer.end())));
        } else {
            EXPECT_EQ(c.nameLength, nameLength);
            EXPECT_TRUE(allSentinel(nameBuffer));
            EXPECT_TRUE(allSentinel(dataBuffer));
        }
    }
    // Without a data buffer only the size is reported.
    WCHAR name[8];
    DWORD length = 8, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(14u, size);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumKeysInCreationOrder) {
    HKEY key = create(HKEY_CURRENT_USER, u"K");
    for (const char16_t* name : {u"zeta", u"Alpha", u"mid"}) RegCloseKey(create(key, name));
    EXPECT_EQ((std::vector<std::u16string>{u"zeta", u"Alpha", u"mid"}), subKeyNames(key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(key, u"ALPHA"));
    EXPECT_EQ((std::vector<std::u16string>{u"zeta", u"mid"}), subKeyNames(key));

    std::vector<BYTE> buffer(20, kSentinel);
    DWORD length = 4;  // "zeta" without room for its terminator
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key, 0, reinterpret_cast<WCHAR*>(buffer.data()), &length, nullptr,
                                             nullptr, nullptr, nullptr));
    EXPECT_EQ(4u, length);
    EXPECT_TRUE(allSentinel(buffer));
    length = 10;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExW(key, 2, reinterpret_cast<WCHAR*>(buffer.data()), &length, nullptr,
                                                 nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(RegistryTest, DeleteKeyOnlyWithoutSubKeys) {
    HKEY key = create(HKEY_CURRENT_USER, u"D\\Child");
    set(key, u"v", REG_BINARY, "1");
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u"D"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"d\\child"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_CURRENT_USER, u"D\\Child"));
    // Its values went with it.
    key = create(HKEY_CURRENT_USER, u"D\\Child");
    EXPECT_EQ("<missing>", get(key, u"v"));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_USERS, nullptr));
}

TEST_F(RegistryTest, HandlesAreDistinctNeverZeroOrRootAndDieWhenClosed) {
    std::set<HKEY> seen;
    const std::set<HKEY> roots{HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    std::vector<HKEY> keys;
    for (int i = 0; i < 20; ++i) {
        HKEY key = create(HKEY_CURRENT_USER, u"H");
        EXPECT_NE(nullptr, key);
        EXPECT_EQ(0u, roots.count(key));
        EXPECT_TRUE(seen.insert(key).second);
        keys.push_back(key);
    }
    HKEY closed = keys.back();
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(closed, u"v", 0, REG_BINARY, nullptr, 0));
    HKEY next = create(HKEY_CURRENT_USER, u"H");
    EXPECT_EQ(0u, seen.count(next));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(exists(HKEY_LOCAL_MACHINE, u"Software"));  // roots stay open
    for (HKEY key : keys) RegCloseKey(key);
    RegCloseKey(next);
}

TEST_F(RegistryTest, KeyDeletedUnderAnOpenHandleFailsGracefully) {
    HKEY parent = create(HKEY_CURRENT_USER, u"Gone");
    HKEY victim = create(parent, u"Victim");
    set(victim, u"v", REG_BINARY, "1");
    EXPECT_EQ(ERROR_SUCCESS, regDeleteTree(HKEY_CURRENT_USER, u"Gone\\Victim"));
    // Its row id is free again; a new key may well get it, and must not be taken for it.
    HKEY other = create(parent, u"Other");

    DWORD size = 8;
    BYTE data[8];
    WCHAR name[8];
    DWORD length = 8;
    HKEY sub;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(victim, u"v", nullptr, nullptr, data, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegSetValueExW(victim, u"v", 0, REG_BINARY, data, 1));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegEnumValueW(victim, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegEnumKeyExW(victim, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegCreateKeyExW(victim, u"x", 0, nullptr, 0, 0, nullptr, &sub, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(victim, nullptr, 0, 0, &sub));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(victim, u"v"));
    EXPECT_EQ((std::vector<std::u16string>{}), valueNames(other));
    EXPECT_EQ((std::vector<std::u16string>{u"Other"}), subKeyNames(parent));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(victim));
    RegCloseKey(other);
    RegCloseKey(parent);
}

TEST_F(RegistryTest, DeleteTreeAndListings) {
    HKEY top = create(HKEY_LOCAL_MACHINE, u"Tree");
    HKEY leaf = create(top, u"A\\B\\C");
    set(leaf, u"deep", REG_BINARY, "1");
    set(top, u"second", REG_DWORD, std::string(4, '\x02'));
    set(top, u"", REG_SZ, bytesOf(u"d", true));
    RegCloseKey(create(top, u"Z"));

    std::vector<std::u16string> keys;
    EXPECT_EQ(ERROR_SUCCESS, regListSubKeys(top, &keys));
    EXPECT_EQ((std::vector<std::u16string>{u"A", u"Z"}), keys);
    std::vector<RegistryValue> values;
    EXPECT_EQ(ERROR_SUCCESS, regListValues(top, &values));
    ASSERT_EQ(2u, values.size());
    EXPECT_EQ(u"second", values[0].name);
    EXPECT_EQ(DWORD{REG_DWORD}, values[0].type);
    EXPECT_EQ(std::string(4, '\x02'), values[0].data);
    EXPECT_EQ(u"", values[1].name);

    EXPECT_EQ(ERROR_SUCCESS, regDeleteTree(top, u"a"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, regDeleteTree(top, u"a"));
    EXPECT_FALSE(exists(top, u"A"));
    EXPECT_TRUE(exists(top, u"Z"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, regListValues(leaf, &values));
    // Recreating the path finds no value left behind.
    HKEY again = create(top, u"A\\B\\C");
    EXPECT_EQ("<missing>", get(again, u"deep"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, regDeleteTree(HKEY_LOCAL_MACHINE, nullptr));
    for (HKEY key : {top, leaf, again}) RegCloseKey(key);
}

TEST_F(RegistryTest, WritesJoinACallersTransaction) {
    {
        device::Transaction transaction(device::store());
        ASSERT_TRUE(transaction.ok());
        HKEY key = create(HKEY_CURRENT_USER, u"Undone");
        set(key, u"v", REG_BINARY, "1");
        EXPECT_EQ("1", get(key, u"v"));
        RegCloseKey(key);
    }  // rolled back
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"Undone"));
}

TEST_F(RegistryTest, ChangesAreSharedWithAnotherProcess) {
    HKEY key = create(HKEY_LOCAL_MACHINE, u"Shared\\Doomed");
    HKEY shared = create(HKEY_LOCAL_MACHINE, u"Shared");
    // Another process, with its own connection and handles, changes the same keys.
    testing_support::RunResult other = testing_support::run(
        testing_support::deviceToolBinary(), {"--device", device.dir(), "reg", "import", "-"},
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\shared]\n\"Greeting\"=\"from child\"\n[-HKEY_LOCAL_MACHINE\\Shared\\doomed]\n");
    ASSERT_EQ(0, other.exitCode) << other.output;
    EXPECT_EQ(bytesOf(u"from child", true), get(shared, u"greeting"));
    EXPECT_EQ("<missing>", get(key, u"anything"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegSetValueExW(key, u"v", 0, REG_BINARY, nullptr, 0));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, u"Shared\\Doomed"));
    RegCloseKey(key);
    RegCloseKey(shared);
}

TEST_F(RegistryTest, ChosenFailuresChangeNothing) {
    HKEY key = create(HKEY_CURRENT_USER, u"F\\Leaf");
    WCHAR name[16];
    DWORD length = 16;
    HKEY out = nullptr;
    struct Case {
        const char* operation;
        LONG expected;
        std::function<LONG()> call;
    };
    const Case cases[] = {
        {"RegOpenKeyExW", ERROR_FILE_NOT_FOUND, [&] { return RegOpenKeyExW(HKEY_CURRENT_USER, u"F", 0, 0, &out); }},
        {"RegCreateKeyExW", ERROR_ACCESS_DENIED,
         [&] { return RegCreateKeyExW(HKEY_CURRENT_USER, u"F\\New", 0, nullptr, 0, 0, nullptr, &out, nullptr); }},
        {"RegSetValueExW", ERROR_ACCESS_DENIED,
         [&] { return RegSetValueExW(key, u"kept", 0, REG_BINARY, reinterpret_cast<const BYTE*>("2"), 1); }},
        {"RegQueryValueExW", ERROR_FILE_NOT_FOUND,
         [&] { return RegQueryValueExW(key, u"kept", nullptr, nullptr, nullptr, nullptr); }},
        {"RegDeleteValueW", ERROR_ACCESS_DENIED, [&] { return RegDeleteValueW(key, u"kept"); }},
        {"RegDeleteKeyW", ERROR_ACCESS_DENIED, [&] { return RegDeleteKeyW(HKEY_CURRENT_USER, u"F\\Spare"); }},
        {"RegEnumValueW", ERROR_FILE_NOT_FOUND,
         [&] { return RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr); }},
        {"RegEnumKeyExW", ERROR_FILE_NOT_FOUND,
         [&] { return RegEnumKeyExW(HKEY_CURRENT_USER, 0, name, &length, nullptr, nullptr, nullptr, nullptr); }},
        {"RegFlushKey", ERROR_WRITE_FAULT, [&] { return RegFlushKey(key); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        set(key, u"kept", REG_BINARY, "1");
        RegCloseKey(create(HKEY_CURRENT_USER, u"F\\Spare"));
        RegDeleteKeyW(HKEY_CURRENT_USER, u"F\\New");

        device::faultArm(c.operation, 1);
        EXPECT_EQ(c.expected, c.call());
        EXPECT_EQ(nullptr, out);
        EXPECT_EQ("1", get(key, u"kept"));
        EXPECT_TRUE(exists(HKEY_CURRENT_USER, u"F\\Spare"));
        EXPECT_FALSE(exists(HKEY_CURRENT_USER, u"F\\New"));
        // Armed once: the next call works.
        length = 16;
        EXPECT_EQ(ERROR_SUCCESS, c.call());
        if (out) RegCloseKey(out);
        out = nullptr;
    }
    // Armed from the second call on, for good.
    device::faultArm("RegSetValueExW", 2, true);
    for (int i = 0; i < 3; ++i) {
        LONG status = RegSetValueExW(key, u"n", 0, REG_BINARY, reinterpret_cast<const BYTE*>("x"), 1);
        EXPECT_EQ(i == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED, status);
    }
    device::faultDisarmAll();
    device::faultArm("RegCloseKey", 1);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));  // it stayed open
}

// A fault that can never fire would let the test arming it pass untested: a misspelt name,
// one fault too many, or an operation missing from the list stops the process instead.
TEST(Faults, AFaultThatCouldNeverFireStopsTheTest) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(device::faultArm("RegSetValueEx", 1), "\"RegSetValueEx\" is no operation");
    EXPECT_DEATH(device::faultArm("regsetvalueexw", 1), "\"regsetvalueexw\" is no operation");
    EXPECT_DEATH(
        {
            for (int i = 0; i < 17; ++i) device::faultArm("RegSetValueExW", 100);
        },
        "\"RegSetValueExW\" cannot be armed: too many");
#ifndef NDEBUG
    EXPECT_DEATH(device::faultHit("RegSetValue"), "\"RegSetValue\" asks whether to fail but is missing");
#endif
}

}  // namespace
