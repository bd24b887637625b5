// Tests of registry files: tables of well-formed and malformed input (a malformed file
// is refused whole, naming its line, with nothing changed), the exact export format, and
// exports imported into a fresh device giving back every value byte for byte.
#include "formats/regfile.h"

#include "device/core/faults.h"
#include "device/core/store.h"
#include "device/core/folder.h"
#include "device/core/utf.h"
#include "device/kernel/registry.h"
#include "tests/support/scoped_device.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sstream>
#include <vector>

using testing_support::ScopedDevice;
using testing_support::setRegBytes;

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n";

// A string as REG_SZ stores it: UTF-16LE with its terminator.
std::string sz(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes + std::string(2, '\0');
}

std::string utf16File(const std::string& utf8) {
    std::string bytes = "\xFF\xFE" + sz(device::toUtf16(utf8));
    return bytes.substr(0, bytes.size() - 2);
}

// RETURNS the bytes of a value, or "<missing>".
std::string query(HKEY root, const std::string& path, const std::string& name, DWORD* type = nullptr) {
    HKEY key;
    std::u16string widePath = device::toUtf16(path), wideName = device::toUtf16(name);
    if (RegOpenKeyExW(root, widePath.c_str(), 0, 0, &key) != ERROR_SUCCESS) return "<missing>";
    DWORD size = 0;
    std::string bytes = "<missing>";
    if (RegQueryValueExW(key, wideName.c_str(), nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        RegQueryValueExW(key, wideName.c_str(), nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    }
    RegCloseKey(key);
    return bytes;
}

bool keyExists(HKEY root, const std::u16string& path) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, 0, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string exportOf(const std::string& path) {
    std::string text, error;
    EXPECT_TRUE(formats::regExport(path, &text, &error)) << error;
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class RegFileTest : public ::testing::Test {
protected:
    bool import(const std::string& text) {
        error.clear();
        return formats::regImport(text, &error);
    }
    ScopedDevice device;
    std::string error;
};

TEST_F(RegFileTest, WellFormedValues) {
    struct Case {
        const char* line;
        const char* name;
        DWORD type;
        std::string data;
    };
    const Case cases[] = {
        {R"("s"="plain")", "s", REG_SZ, sz(u"plain")},
        {R"("esc"="a\\b\"c")", "esc", REG_SZ, sz(u"a\\b\"c")},
        {R"("empty"="")", "empty", REG_SZ, sz(u"")},
        {R"(@="default")", "", REG_SZ, sz(u"default")},
        {R"("@"="named at")", "@", REG_SZ, sz(u"named at")},
        {R"("n\"q\\"="x")", "n\"q\\", REG_SZ, sz(u"x")},
        {"\"\xC3\xBC\"=\"\xE2\x82\xAC \xF0\x9F\x98\x80\"", "\xC3\xBC", REG_SZ, sz(u"\u20AC \U0001F600")},
        {R"(  "spaced"  =  " v "  )", "spaced", REG_SZ, sz(u" v ")},
        {R"("d"=dword:0000001f)", "d", REG_DWORD, std::string("\x1f\0\0\0", 4)},
        {R"("d"=DWORD:FfFfFfFe)", "d", REG_DWORD, "\xfe\xff\xff\xff"},
        {R"("d"=dword:1)", "d", REG_DWORD, std::string("\x01\0\0\0", 4)},
        {R"("b"=hex:01,02,ff)", "b", REG_BINARY, "\x01\x02\xff"},
        {R"("b"=hex:)", "b", REG_BINARY, ""},
        {R"("b"=HEX: 1 , a ,0B)", "b", REG_BINARY, "\x01\x0a\x0b"},
        {R"("x"=hex(2):25,00,00,00)", "x", REG_EXPAND_SZ, std::string("%\0\0\0", 4)},
        {R"("m"=hex(7):61,00,00,00,00,00)", "m", REG_MULTI_SZ, std::string("a\0\0\0\0\0", 6)},
        {R"("q"=hex(b):01,00,00,00,00,00,00,80)", "q", REG_QWORD, std::string("\x01\0\0\0\0\0\0\x80", 8)},
        {R"("t"=hex(0):)", "t", REG_NONE, ""},
        {R"("t"=hex(FFFF0000):aa)", "t", 0xFFFF0000u, "\xaa"},
        {"\"c\"=hex:01,\\\n  02,\\\n  03", "c", REG_BINARY, "\x01\x02\x03"},
        {"\"c\"=hex(3):\\\n  01,02 \\\r\n\t,03", "c", REG_BINARY, "\x01\x02\x03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(import(kHeader + "[HKEY_CURRENT_USER\\T]\n" + c.line + "\n")) << error;
        DWORD type = 0;
        EXPECT_EQ(c.data, query(HKEY_CURRENT_USER, "T", c.name, &type));
        EXPECT_EQ(c.type, type);
        std::vector<device::RegistryValue> values;
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, u"T", 0, 0, &key));
        device::regListValues(key, &values);
        RegCloseKey(key);
        EXPECT_EQ(1u, values.size());
        device::regDeleteTree(HKEY_CURRENT_USER, u"T");
    }
}

TEST_F(RegFileTest, EncodingsHeadersAndRootNames) {
    const std::string body =
        "; a comment\n"
        "\n"
        "[HKCU\\Enc\\Sub]\n"
        "\"name\"=\"\xC3\xA4\xE2\x82\xAC\"\n"
        "[hkey_current_user\\Enc]\n"
        "@=dword:00000002\n";
    const std::string expected = kHeader + "\n[HKEY_CURRENT_USER\\Enc]\n@=dword:00000002\n\n" +
                                 "[HKEY_CURRENT_USER\\Enc\\Sub]\n\"name\"=\"\xC3\xA4\xE2\x82\xAC\"\n\n";
    std::string crlf;
    for (char c : kHeader + body) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::pair<const char*, std::string> forms[] = {
        {"UTF-8", kHeader + body},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + kHeader + body},
        {"UTF-16LE with BOM", utf16File(kHeader + body)},
        {"UTF-16LE without BOM", utf16File(kHeader + body).substr(2)},
        {"CRLF", crlf},
        {"UTF-16LE CRLF", utf16File(crlf)},
        {"REGEDIT4", "REGEDIT4\n" + body},
        {"blank lines first", "\n\n" + kHeader + body},
    };
    for (const auto& [form, text] : forms) {
        SCOPED_TRACE(form);
        ASSERT_TRUE(import(text)) << error;
        EXPECT_EQ(expected, exportOf("HKEY_CURRENT_USER\\Enc"));
        device::regDeleteTree(HKEY_CURRENT_USER, u"Enc");
    }
    // Big-endian UTF-16 is no form of a registry file: it is named as what it is.
    std::string bigEndian;
    for (char16_t c : device::toUtf16(kHeader + body)) bigEndian += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    for (const std::string& text : {"\xFE\xFF" + bigEndian, bigEndian}) {
        EXPECT_FALSE(import(text));
        EXPECT_NE(std::string::npos, error.find("UTF-16 big-endian")) << error;
    }
    const std::pair<const char*, HKEY> roots[] = {
        {"HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}, {"HKU", HKEY_USERS}, {"Hkey_Users", HKEY_USERS},
    };
    for (const auto& [name, root] : roots) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(import(kHeader + "[" + name + "\\R]\n\"v\"=dword:00000001\n")) << error;
        EXPECT_EQ(std::string("\x01\0\0\0", 4), query(root, "R", "v"));
        device::regDeleteTree(root, u"R");
    }
}

TEST_F(RegFileTest, DeletingKeysAndValues) {
    ASSERT_TRUE(import(kHeader + "[HKCU\\Del\\A\\B]\n\"v\"=\"1\"\n[HKCU\\Del\\Keep]\n\"gone\"=\"x\"\n\"stay\"=\"y\"\n"))
        << error;
    ASSERT_TRUE(import(kHeader +
                       "[-HKCU\\Del\\a]\n"
                       "[-HKCU\\Del\\Missing]\n"
                       "[HKCU\\Del\\Keep]\n"
                       "\"GONE\"=-\n"
                       "\"never there\"=-\n"))
        << error;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"Del\\A"));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Del"));
    EXPECT_EQ("<missing>", query(HKEY_CURRENT_USER, "Del\\Keep", "gone"));
    EXPECT_EQ(sz(u"y"), query(HKEY_CURRENT_USER, "Del\\Keep", "stay"));
    // Deleting and creating again in one file gives an empty key.
    ASSERT_TRUE(import(kHeader + "[-HKCU\\Del\\Keep]\n[HKCU\\Del\\Keep]\n")) << error;
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, u"Del\\Keep"));
    EXPECT_EQ("<missing>", query(HKEY_CURRENT_USER, "Del\\Keep", "stay"));
}

TEST_F(RegFileTest, MalformedFilesAreRefusedWhole) {
    ASSERT_TRUE(import(kHeader + "[HKCU\\M]\n\"before\"=\"1\"\n")) << error;
    const std::string before = exportOf("");
    // Lines 1 to 3 are good and would change the registry if anything were applied.
    const std::string good = kHeader + "[HKCU\\M]\n\"before\"=\"2\"\n";
    struct Case {
        std::string text;
        int line;
    };
    const Case cases[] = {
        {"", 1},
        {"REGEDIT5\n[HKCU\\M]\n", 1},
        {"[HKCU\\M]\n" + kHeader, 1},
        {kHeader + "\"v\"=\"x\"\n", 2},
        {good + "[HKEY_NOWHERE\\x]", 4},
        {good + "[HKCU\\a\\\\b]", 4},
        {good + "[HKCU\\a\\]", 4},
        {good + "[HKCU\\a", 4},
        {good + "[]", 4},
        {good + "[-HKLM]", 4},
        {good + "\"v\"=\"unterminated", 4},
        {good + "\"v\"=\"C:\\Windows\"", 4},
        {good + "\"v\"=\"x\" trailing", 4},
        {good + "\"v\"", 4},
        {good + "\"v\"=", 4},
        {good + "\"v\"=dword:123456789", 4},
        {good + "\"v\"=dword:", 4},
        {good + "\"v\"=dword:12g", 4},
        {good + "\"v\"=hex:0g", 4},
        {good + "\"v\"=hex:123", 4},
        {good + "\"v\"=hex:01,,02", 4},
        {good + "\"v\"=hex:01,", 4},
        {good + "\"v\"=hex(zz):00", 4},
        {good + "\"v\"=hex(2)00", 4},
        {good + "\"v\"=hex(123456789):00", 4},
        {good + "\"v\"=qword:01", 4},
        {good + "\"v\"=hex:01,\\\n  02,\\\n  xx", 6},
        {good + "\"v\"=hex:01,\\", 4},
        {good + "\"v\"=hex:01\\\n  02", 5},
        {good + "\"v\"=hex:,01", 4},
        {good + "\"v\"=hex:01,\\\n\n", 5},
        {good + "garbage", 4},
        {good + "[-HKCU\\M2]\n\"v\"=\"x\"", 5},
        {good + "\"v\"=\"\xff\"", 4},
        {good + "\n\n; comment\n\"v\"=hex:zz", 7},
        {utf16File(good + "\"v\"=hex:zz"), 4},
        {utf16File(good) + "A", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(import(c.text));
        EXPECT_NE(std::string::npos, error.find("line " + std::to_string(c.line) + ":")) << error;
        EXPECT_EQ(before, exportOf(""));
    }
}

// A UTF-16LE file of any code units, lone surrogates included.
std::string utf16Units(const std::u16string& text) {
    std::string bytes = sz(text);
    return "\xFF\xFE" + bytes.substr(0, bytes.size() - 2);
}

TEST_F(RegFileTest, NamesTheRegistryCannotHoldAreRefusedWhole) {
    const std::string before = exportOf("");
    const std::string good = kHeader + "[HKCU\\M]\n\"before\"=\"2\"\n";
    std::string deep = "HKCU";
    for (int level = 0; level < 513; ++level) deep += "\\k";
    struct Case {
        std::string text;
        const char* says;
    };
    const Case cases[] = {
        {good + std::string("\"startDays\0junk\"=dword:1\n", 25), "line 4: the value name holds U+0000"},
        {good + std::string("[HKCU\\a\0b]\n", 11), "line 4: a key name holds U+0000"},
        {good + "[HKCU\\a\rb]\n", "line 4: a key name holds a line break"},
        {good + "\"a\rb\"=dword:1\n", "line 4: the value name holds a line break"},
        {utf16Units(u"REGEDIT4\n[HKCU\\M]\n\"v\xD800\"=dword:1\n"), "line 3: the value name holds a lone"},
        {utf16Units(u"REGEDIT4\n[HKCU\\M\xDC00]\n"), "line 2: a key name holds a lone"},
        {good + "[HKCU\\" + std::string(256, 'k') + "]\n", "line 4: a key name is longer than 255"},
        {good + "\"" + std::string(16384, 'v') + "\"=dword:1\n", "line 4: the value name is longer than 16383"},
        {good + "[" + deep + "]\n", "line 4: keys nest deeper than 512"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        EXPECT_FALSE(import(c.text));
        EXPECT_NE(std::string::npos, error.find(c.says)) << error;
        EXPECT_EQ(before, exportOf(""));
    }
    // The limits themselves are allowed, and the deepest tree exports and comes back.
    deep.resize(deep.size() - 2);
    std::string longest = std::string(255, 'k');
    ASSERT_TRUE(import(kHeader + "[" + deep + "]\n\"" + std::string(16383, 'v') + "\"=dword:1\n[HKCU\\" + longest +
                       "]\n\"s\"=\"\xF0\x9F\x98\x80\"\n")) << error;
    std::string text = exportOf("HKCU\\k");
    size_t keyLines = 0;
    for (const std::string& line : linesOf(text)) keyLines += line.rfind("[", 0) == 0;
    EXPECT_EQ(512u, keyLines);
    device::regDeleteTree(HKEY_CURRENT_USER, u"k");
    ASSERT_TRUE(import(text)) << error;
    EXPECT_EQ(text, exportOf("HKCU\\k"));
    EXPECT_EQ(sz(u"\U0001F600"), query(HKEY_CURRENT_USER, longest, "s"));
}

TEST_F(RegFileTest, ARefusedChangeUndoesTheWholeImport) {
    const std::string before = exportOf("");
    device::faultArm("RegSetValueExW", 3);
    EXPECT_FALSE(import(kHeader + "[HKCU\\New]\n\"a\"=\"1\"\n\"b\"=\"2\"\n\"c\"=\"3\"\n\"d\"=\"4\"\n"));
    EXPECT_NE(std::string::npos, error.find("line 5:")) << error;
    EXPECT_EQ(before, exportOf(""));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, u"New"));
}

// A store that cannot grow, as on a full disk: the import is refused saying so.
TEST_F(RegFileTest, AFullDiskIsNamedAsSuch) {
    const std::string before = exportOf("");
    device::Statement pages(device::store(), "PRAGMA page_count");
    ASSERT_TRUE(pages.step());
    std::string limit = "PRAGMA max_page_count = " + std::to_string(pages.columnInt(0));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(device::store(), limit.c_str(), nullptr, nullptr, nullptr));
    std::string big;
    for (int i = 0; i < 20000; ++i) big += i ? ",00" : "00";
    EXPECT_FALSE(import(kHeader + "[HKCU\\Full]\n\"big\"=hex:" + big + "\n"));
    EXPECT_NE(std::string::npos, error.find("the disk is full")) << error;
    EXPECT_EQ(before, exportOf(""));
}

TEST_F(RegFileTest, ExportFormat) {
    auto set = [](const std::string& key, const std::string& name, DWORD type, const std::string& data) {
        setRegBytes(HKEY_CURRENT_USER, key, name, type, data);
    };
    set("Fmt", "", REG_SZ, sz(u"default"));
    set("Fmt", "str", REG_SZ, sz(u"a\\b\"c \u00E9"));
    set("Fmt", "dw", REG_DWORD, std::string("\x1f\0\0\0", 4));
    set("Fmt", "bin", REG_BINARY, "\x01\xAB");
    set("Fmt", "empty bin", REG_BINARY, "");
    set("Fmt", "exp", REG_EXPAND_SZ, sz(u"A"));
    set("Fmt", "short", REG_DWORD, "\x01\x02");
    set("Fmt", "raw", REG_SZ, std::string("a\0", 2));
    set("Fmt", "inner nul", REG_SZ, sz(u"a") + sz(u"b"));
    set("Fmt", "q", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8));
    set("Fmt", "none", REG_NONE, "");
    set("Fmt\\Sub\\Deeper", "x", REG_DWORD, std::string(4, '\0'));
    set("Fmt\\Next", "n\"q", REG_BINARY, "\xff");
    const std::string expected = kHeader +
                                 "\n"
                                 "[HKEY_CURRENT_USER\\Fmt]\n"
                                 "@=\"default\"\n"
                                 "\"str\"=\"a\\\\b\\\"c \xC3\xA9\"\n"
                                 "\"dw\"=dword:0000001f\n"
                                 "\"bin\"=hex:01,ab\n"
                                 "\"empty bin\"=hex:\n"
                                 "\"exp\"=hex(2):41,00,00,00\n"
                                 "\"short\"=hex(4):01,02\n"
                                 "\"raw\"=hex(1):61,00\n"
                                 "\"inner nul\"=hex(1):61,00,00,00,62,00,00,00\n"
                                 "\"q\"=hex(b):01,00,00,00,00,00,00,00\n"
                                 "\"none\"=hex(0):\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\Fmt\\Sub]\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\Fmt\\Sub\\Deeper]\n"
                                 "\"x\"=dword:00000000\n"
                                 "\n"
                                 "[HKEY_CURRENT_USER\\Fmt\\Next]\n"
                                 "\"n\\\"q\"=hex:ff\n"
                                 "\n";
    EXPECT_EQ(expected, exportOf("HKEY_CURRENT_USER\\Fmt"));
    // Any spelling of the path finds the key; the export shows the names as created.
    EXPECT_EQ(expected, exportOf("hkcu\\FMT"));
}

TEST_F(RegFileTest, LongHexListsWrapAndComeBack) {
    std::string data;
    for (int i = 0; i < 300; ++i) data += static_cast<char>(i * 7);
    setRegBytes(HKEY_CURRENT_USER, "Wrap", "long", REG_BINARY, data);
    setRegBytes(HKEY_CURRENT_USER, "Wrap", std::string(90, 'n'), 0x20, data.substr(0, 40));
    const std::string text = exportOf("HKCU\\Wrap");
    std::vector<std::string> lines = linesOf(text);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(0u, lines[3].rfind("\"long\"=hex:", 0));
    size_t continued = 0;
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.rfind("\"nnnn", 0) == 0) break;
        EXPECT_LE(line.size(), 80u) << line;
        if (i > 3) {
            EXPECT_EQ(0u, line.rfind("  ", 0)) << line;
        }
        if (line.size() >= 2 && line.substr(line.size() - 2) == ",\\") ++continued;
    }
    EXPECT_GE(continued, 11u);  // 300 bytes take at least 12 lines of 25
    device::regDeleteTree(HKEY_CURRENT_USER, u"Wrap");
    ASSERT_TRUE(import(text)) << error;
    EXPECT_EQ(data, query(HKEY_CURRENT_USER, "Wrap", "long"));
    EXPECT_EQ(data.substr(0, 40), query(HKEY_CURRENT_USER, "Wrap", std::string(90, 'n')));
}

TEST_F(RegFileTest, ExportErrors) {
    setRegBytes(HKEY_CURRENT_USER, "Broken", "line\nbreak", REG_BINARY, "1");
    setRegBytes(HKEY_CURRENT_USER, "Bad\r\nKey", "v", REG_BINARY, "1");
    struct Case {
        const char* path;
        const char* mention;
    };
    const Case cases[] = {
        {"HKEY_CURRENT_USER\\Nowhere", "no such key"}, {"HKEY_NOWHERE\\Software", "unknown root"},
        {"HKCU\\Broken\\", "empty key name"},         {"HKCU\\Broken", "line break"},
        {"HKCU", "line break"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string text = "untouched";
        EXPECT_FALSE(formats::regExport(c.path, &text, &error));
        EXPECT_NE(std::string::npos, error.find(c.mention)) << error;
        EXPECT_EQ("untouched", text);
    }
}

// Every kind of value and name, exported on one device and imported on a fresh one.
TEST(RegFileRoundTrip, AnExportImportedOnAFreshDeviceGivesTheSameRegistry) {
    struct Entry {
        HKEY root;
        std::string key;
        std::string name;
        DWORD type;
        std::string data;
    };
    std::string binary;
    for (int i = 0; i < 300; ++i) binary += static_cast<char>(i);
    const std::u16string loneSurrogate = {u'x', char16_t(0xD800), u'y'};
    const Entry entries[] = {
        {HKEY_LOCAL_MACHINE, "RT", "", REG_SZ, sz(u"default")},
        {HKEY_LOCAL_MACHINE, "RT", "quote\"back\\slash", REG_SZ, sz(u"va\"l\\ue")},
        {HKEY_LOCAL_MACHINE, "RT", "\xC3\xBCn\xC3\xAF \xE2\x82\xAC", REG_SZ, sz(u"\U0001F600 ok")},
        {HKEY_LOCAL_MACHINE, "RT", "@", REG_SZ, sz(u"not the default")},
        {HKEY_LOCAL_MACHINE, "RT", " lead", REG_SZ, sz(u" both ")},
        {HKEY_LOCAL_MACHINE, "RT", "tab\there", REG_SZ, sz(u"tab\tin")},
        {HKEY_LOCAL_MACHINE, "RT", "=", REG_SZ, sz(u"=")},
        {HKEY_LOCAL_MACHINE, "RT", "; not a comment", REG_SZ, sz(u";")},
        {HKEY_LOCAL_MACHINE, "RT", "empty sz", REG_SZ, ""},
        {HKEY_LOCAL_MACHINE, "RT", "just terminator", REG_SZ, std::string(2, '\0')},
        {HKEY_LOCAL_MACHINE, "RT", "unterminated", REG_SZ, std::string("a\0", 2)},
        {HKEY_LOCAL_MACHINE, "RT", "odd size", REG_SZ, std::string("a\0\0", 3)},
        {HKEY_LOCAL_MACHINE, "RT", "inner nul", REG_SZ, sz(u"a") + sz(u"b")},
        {HKEY_LOCAL_MACHINE, "RT", "line break", REG_SZ, sz(u"one\r\ntwo")},
        {HKEY_LOCAL_MACHINE, "RT", "lone surrogate", REG_SZ, sz(loneSurrogate)},
        {HKEY_LOCAL_MACHINE, "RT", "dword", REG_DWORD, "\x78\x56\x34\x12"},
        {HKEY_LOCAL_MACHINE, "RT", "dword short", REG_DWORD, "\x01\x02\x03"},
        {HKEY_LOCAL_MACHINE, "RT", "big endian", REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78"},
        {HKEY_LOCAL_MACHINE, "RT", "binary empty", REG_BINARY, ""},
        {HKEY_LOCAL_MACHINE, "RT", "binary long", REG_BINARY, binary},
        {HKEY_LOCAL_MACHINE, "RT", "expand", REG_EXPAND_SZ, sz(u"%TEMP%\\x")},
        {HKEY_LOCAL_MACHINE, "RT", "multi", REG_MULTI_SZ, sz(u"a") + sz(u"b") + std::string(2, '\0')},
        {HKEY_LOCAL_MACHINE, "RT", "qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {HKEY_LOCAL_MACHINE, "RT", "none", REG_NONE, ""},
        {HKEY_LOCAL_MACHINE, "RT", "odd type", 0x12345678, "\x01"},
        {HKEY_LOCAL_MACHINE, "RT\\Odd ]Name [x]", "v", REG_SZ, sz(u"brackets")},
        {HKEY_LOCAL_MACHINE, "RT\\ spaced ", "v", REG_SZ, sz(u"spaces")},
        {HKEY_LOCAL_MACHINE, "RT\\-dash", "v", REG_SZ, sz(u"dash")},
        {HKEY_LOCAL_MACHINE, "RT\\\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87", "\xD0\xB7\xD0\xBD", REG_SZ, sz(u"\u044F")},
        {HKEY_LOCAL_MACHINE, "", "on the root", REG_DWORD, std::string(4, '\x07')},
        {HKEY_CURRENT_USER, "Other\\Place", "", REG_BINARY, "\x00\x01"},
        {HKEY_CLASSES_ROOT, ".txt", "", REG_SZ, sz(u"txtfile")},
    };
    std::string exported;
    {
        ScopedDevice first;
        for (const Entry& e : entries) setRegBytes(e.root, e.key, e.name, e.type, e.data);
        setRegBytes(HKEY_USERS, "Empty\\Below", "gone", REG_NONE, "");
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_USERS, u"Empty\\Below", 0, 0, &key));
        RegDeleteValueW(key, u"gone");  // leaves keys without values
        RegCloseKey(key);
        exported = exportOf("");
    }
    ScopedDevice second;
    std::string error;
    ASSERT_TRUE(formats::regImport(exported, &error)) << error;
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.key + " / " + e.name);
        DWORD type = 0;
        EXPECT_EQ(e.data, query(e.root, e.key, e.name, &type));
        EXPECT_EQ(e.type, type);
    }
    EXPECT_TRUE(keyExists(HKEY_USERS, u"Empty\\Below"));
    EXPECT_EQ(exported, exportOf(""));
}

}  // namespace
