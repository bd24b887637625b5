// Registry files: parsed whole into a list of changes before any is applied, the changes
// then applied in one store transaction; exports written under a transaction too, so
// they show one consistent state even while other processes write.
#include "formats/regfile.h"

#include "device/boot/device.h"
#include "device/core/store.h"
#include "device/core/utf.h"
#include "device/kernel/registry.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace formats {
namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";
const char kOldHeader[] = "REGEDIT4";
// Hex lists are wrapped so that no line, its closing '\' included, passes this width.
constexpr size_t kLineWidth = 80;
// What the platform's registry holds at most: a key name's length, the keys below a root
// on one path, a value name's length (in UTF-16 units).
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxValueNameLength = 16383;

struct Root {
    const char* name;
    const char* shortName;
    HKEY key;
};
const Root kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HKU", HKEY_USERS},
};

struct KeyPath {
    const Root* root = nullptr;
    std::vector<std::u16string> names;  // below the root
};

// One change of an import, with the line it came from.
struct Change {
    enum Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue } kind;
    int line;
    KeyPath key;         // kOpenKey, kDeleteKey
    std::u16string name;  // values; empty for the default value
    DWORD type = 0;
    std::string data;
};

bool fail(int line, const std::string& message, std::string* error) {
    if (error) *error = (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + message;
    return false;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool equalsAsciiNoCase(std::u16string_view text, const char* ascii) {
    std::string_view expected(ascii);
    if (text.size() != expected.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i] >= u'a' && text[i] <= u'z' ? text[i] - 32 : text[i];
        char16_t e = expected[i] >= 'a' && expected[i] <= 'z' ? expected[i] - 32 : expected[i];
        if (c != e) return false;
    }
    return true;
}

bool startsWithAsciiNoCase(std::u16string_view text, const char* ascii) {
    size_t length = std::string_view(ascii).size();
    return text.size() >= length && equalsAsciiNoCase(text.substr(0, length), ascii);
}

// RETURNS the value of 1 to `maxDigits` hex digits, or -1.
int64_t parseHex(std::u16string_view digits, size_t maxDigits) {
    if (digits.empty() || digits.size() > maxDigits) return -1;
    int64_t value = 0;
    for (char16_t c : digits) {
        int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                  : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// RETURNS why `name` cannot be stored exactly as written, or null when it can: a U+0000
// would cut it short, a line break could never be written back to a file, and a lone
// surrogate has no UTF-8 spelling, so two such names would become one.
const char* nameFault(std::u16string_view name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t c = name[i];
        if (c == 0) return "holds U+0000";
        if (c == u'\r' || c == u'\n') return "holds a line break";
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        bool nextLow = i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF;
        if (low || (high && !nextLow)) return "holds a lone UTF-16 surrogate";
        if (high) ++i;
    }
    return nullptr;
}

bool parseKeyPath(std::u16string_view text, KeyPath* path, std::string* why) {
    size_t slash = text.find(u'\\');
    std::u16string_view rootName = text.substr(0, slash);
    path->root = nullptr;
    for (const Root& root : kRoots) {
        if (equalsAsciiNoCase(rootName, root.name) || equalsAsciiNoCase(rootName, root.shortName)) path->root = &root;
    }
    if (!path->root) {
        *why = "unknown root key \"" + device::toUtf8(rootName) + "\"";
        return false;
    }
    path->names.clear();
    while (slash != std::u16string_view::npos) {
        text.remove_prefix(slash + 1);
        slash = text.find(u'\\');
        std::u16string_view name = text.substr(0, slash);
        if (name.empty()) {
            *why = "empty key name in the path";
            return false;
        }
        if (const char* fault = nameFault(name)) {
            *why = std::string("a key name ") + fault;
            return false;
        }
        if (name.size() > kMaxKeyNameLength) {
            *why = "a key name is longer than " + std::to_string(kMaxKeyNameLength) + " characters";
            return false;
        }
        if (path->names.size() == kMaxKeyDepth) {
            *why = "keys nest deeper than " + std::to_string(kMaxKeyDepth) + " levels";
            return false;
        }
        path->names.emplace_back(name);
    }
    return true;
}

std::u16string joinNames(const std::vector<std::u16string>& names) {
    std::u16string joined;
    for (const std::u16string& name : names) joined += (joined.empty() ? u"" : u"\\") + name;
    return joined;
}

// Reads a quoted string starting at text[*pos] (the opening quote), with \\ and \" escapes.
bool parseQuoted(std::u16string_view text, size_t* pos, std::u16string* out, std::string* why) {
    out->clear();
    for (size_t i = *pos + 1; i < text.size(); ++i) {
        if (text[i] == u'"') {
            *pos = i + 1;
            return true;
        }
        if (text[i] == u'\\' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'\\' && text[i] != u'"') {
                *why = "unknown escape \\" + device::toUtf8(text.substr(i, 1)) + " (a backslash is written \\\\)";
                return false;
            }
        }
        out->push_back(text[i]);
    }
    *why = "unterminated string";
    return false;
}

// Collects a comma-separated byte list that may go on over lines ending in '\'; the
// comma between two bytes may end one line or start the next.
// *index is the list's first line on entry, its last line on return.
bool parseHexList(const std::vector<std::u16string>& lines, size_t* index, std::u16string_view list,
                  std::string* data, std::string* error) {
    bool afterByte = false, afterComma = false;
    while (true) {
        int line = static_cast<int>(*index) + 1;
        list = trim(list);
        bool continued = !list.empty() && list.back() == u'\\';
        if (continued) list.remove_suffix(1);
        for (size_t i = 0; i < list.size();) {
            if (isSpace(list[i])) {
                ++i;
            } else if (list[i] == u',') {
                if (!afterByte) return fail(line, "a comma without a byte before it in a hex list", error);
                afterByte = false;
                afterComma = true;
                ++i;
            } else {
                size_t end = i;
                while (end < list.size() && list[end] != u',' && !isSpace(list[end])) ++end;
                std::u16string_view token = list.substr(i, end - i);
                int64_t byte = parseHex(token, 2);
                if (byte < 0) return fail(line, "bad byte \"" + device::toUtf8(token) + "\" in a hex list", error);
                if (afterByte) return fail(line, "a comma is missing between two bytes of a hex list", error);
                data->push_back(static_cast<char>(byte));
                afterByte = true;
                afterComma = false;
                i = end;
            }
        }
        if (!continued) {
            if (afterComma) return fail(line, "a hex list ends in a comma", error);
            return true;
        }
        if (++*index >= lines.size()) return fail(line, "the hex list goes on past the end of the file", error);
        list = lines[*index];
    }
}

std::string utf16Bytes(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

// Parses a value line (and its continuation lines) into *change.
bool parseValue(const std::vector<std::u16string>& lines, size_t* index, Change* change, std::string* error) {
    int line = static_cast<int>(*index) + 1;
    std::u16string_view text = trim(lines[*index]);
    std::string why;
    size_t pos = 1;  // past the '@' of the default value
    change->name.clear();
    if (text[0] == u'"') {
        pos = 0;
        if (!parseQuoted(text, &pos, &change->name, &why)) return fail(line, why, error);
        if (const char* fault = nameFault(change->name)) return fail(line, std::string("the value name ") + fault, error);
        if (change->name.size() > kMaxValueNameLength) {
            return fail(line, "the value name is longer than " + std::to_string(kMaxValueNameLength) + " characters",
                        error);
        }
    }
    while (pos < text.size() && isSpace(text[pos])) ++pos;
    if (pos >= text.size() || text[pos] != u'=') return fail(line, "expected '=' after the value name", error);
    std::u16string_view data = trim(text.substr(pos + 1));

    if (data == u"-") {
        change->kind = Change::kDeleteValue;
        return true;
    }
    change->kind = Change::kSetValue;
    if (!data.empty() && data[0] == u'"') {
        std::u16string string;
        size_t end = 0;
        if (!parseQuoted(data, &end, &string, &why)) return fail(line, why, error);
        if (end != data.size()) return fail(line, "text after the closing quote", error);
        change->type = REG_SZ;
        change->data = utf16Bytes(string);
        return true;
    }
    if (startsWithAsciiNoCase(data, "dword:")) {
        int64_t value = parseHex(data.substr(6), 8);
        if (value < 0) return fail(line, "a dword takes 1 to 8 hex digits", error);
        change->type = REG_DWORD;
        change->data.clear();
        for (int shift = 0; shift < 32; shift += 8) change->data.push_back(static_cast<char>((value >> shift) & 0xFF));
        return true;
    }
    std::u16string_view list;
    if (startsWithAsciiNoCase(data, "hex:")) {
        change->type = REG_BINARY;
        list = data.substr(4);
    } else if (startsWithAsciiNoCase(data, "hex(")) {
        size_t close = data.find(u')');
        int64_t type = close == std::u16string_view::npos ? -1 : parseHex(data.substr(4, close - 4), 8);
        if (type < 0 || close + 1 >= data.size() || data[close + 1] != u':') {
            return fail(line, "a typed hex value is written hex(N): with N in hex", error);
        }
        change->type = static_cast<DWORD>(type);
        list = data.substr(close + 2);
    } else {
        return fail(line, "unknown value type (expected \"string\", dword:, hex:, hex(N): or -)", error);
    }
    change->data.clear();
    return parseHexList(lines, index, list, &change->data, error);
}

// Decodes UTF-16LE from `bytes` at `start`. RETURNS false with *error set when the text
// ends in the middle of a character.
bool decodeUtf16Le(const std::string& bytes, size_t start, std::u16string* text, std::string* error) {
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        text->push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    if ((bytes.size() - start) % 2 == 0) return true;
    int lastLine = 1 + static_cast<int>(std::count(text->begin(), text->end(), u'\n'));
    return fail(lastLine, "the UTF-16 text ends in the middle of a character", error);
}

// Splits the file into lines of UTF-16 text, whatever its encoding: UTF-16LE with or
// without its byte-order mark (a file's first character is plain ASCII, so its second
// byte is 0), else UTF-8.
bool decodeLines(const std::string& bytes, std::vector<std::u16string>* lines, std::string* error) {
    std::u16string text;
    bool bigEndian = bytes.size() >= 2 && ((bytes[0] == '\xFE' && bytes[1] == '\xFF') || (bytes[0] == 0 && bytes[1] != 0));
    if (bigEndian) return fail(0, "the text is UTF-16 big-endian; a registry file is UTF-16LE or UTF-8", error);
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        if (!decodeUtf16Le(bytes, 2, &text, error)) return false;
    } else if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) {
        if (!decodeUtf16Le(bytes, 0, &text, error)) return false;
    } else {
        std::string_view rest(bytes);
        if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
        for (int line = 1;; ++line) {
            size_t end = rest.find('\n');
            bool valid = true;
            text += device::toUtf16(rest.substr(0, end), &valid);
            if (!valid) return fail(line, "the text is not valid UTF-8", error);
            if (end == std::string_view::npos) break;
            text += u'\n';
            rest.remove_prefix(end + 1);
        }
    }
    lines->clear();
    std::u16string_view rest(text);
    while (true) {
        size_t end = rest.find(u'\n');
        std::u16string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        lines->emplace_back(line);
        if (end == std::u16string_view::npos) return true;
        rest.remove_prefix(end + 1);
    }
}

bool parseFile(const std::string& bytes, std::vector<Change>* changes, std::string* error) {
    std::vector<std::u16string> lines;
    if (!decodeLines(bytes, &lines, error)) return false;
    size_t index = 0;
    while (index < lines.size() && trim(lines[index]).empty()) ++index;
    std::u16string_view header = index < lines.size() ? trim(lines[index]) : std::u16string_view();
    if (!equalsAsciiNoCase(header, kHeader) && !equalsAsciiNoCase(header, kOldHeader)) {
        int line = static_cast<int>(std::min(index + 1, lines.size()));
        return fail(line, std::string("not a registry file: expected \"") + kHeader + "\"", error);
    }
    bool inKey = false, keyDeleted = false;
    std::string why;
    for (++index; index < lines.size(); ++index) {
        int line = static_cast<int>(index) + 1;
        std::u16string_view text = trim(lines[index]);
        if (text.empty() || text[0] == u';') continue;
        Change change{Change::kOpenKey, line, {}, {}, 0, {}};
        if (text[0] == u'[') {
            if (text.back() != u']') return fail(line, "a key line ends in ']'", error);
            std::u16string_view path = text.substr(1, text.size() - 2);
            keyDeleted = !path.empty() && path[0] == u'-';
            if (keyDeleted) path.remove_prefix(1);
            if (!parseKeyPath(path, &change.key, &why)) return fail(line, why, error);
            if (keyDeleted && change.key.names.empty()) return fail(line, "a root key cannot be deleted", error);
            change.kind = keyDeleted ? Change::kDeleteKey : Change::kOpenKey;
            inKey = true;
        } else if (text[0] == u'"' || text[0] == u'@') {
            if (!inKey) return fail(line, "a value before any [key] line", error);
            if (keyDeleted) return fail(line, "a value under a key being deleted", error);
            if (!parseValue(lines, &index, &change, error)) return false;
        } else {
            return fail(line, "expected a [key], a value, a comment or a blank line", error);
        }
        changes->push_back(std::move(change));
    }
    return true;
}

// Closes the key it holds when replaced or destroyed.
class HeldKey {
public:
    ~HeldKey() { reset(nullptr); }
    void reset(HKEY key) {
        if (key_) RegCloseKey(key_);
        key_ = key;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool applyChanges(const std::vector<Change>& changes, std::string* error) {
    device::Transaction transaction(device::store());
    if (!transaction.ok()) return fail(0, "the device registry cannot be written now", error);
    HeldKey current;
    for (const Change& change : changes) {
        std::u16string path = joinNames(change.key.names);
        LONG status = ERROR_SUCCESS;
        switch (change.kind) {
        case Change::kOpenKey: {
            HKEY key = nullptr;
            status = RegCreateKeyExW(change.key.root->key, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                     nullptr);
            current.reset(status == ERROR_SUCCESS ? key : nullptr);
            break;
        }
        case Change::kDeleteKey:
            current.reset(nullptr);
            status = device::regDeleteTree(change.key.root->key, path.c_str());
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
            break;
        case Change::kSetValue:
            status = RegSetValueExW(current.get(), change.name.c_str(), 0, change.type,
                                    reinterpret_cast<const BYTE*>(change.data.data()),
                                    static_cast<DWORD>(change.data.size()));
            break;
        case Change::kDeleteValue:
            status = RegDeleteValueW(current.get(), change.name.c_str());
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
            break;
        }
        if (status != ERROR_SUCCESS) {
            std::string why = device::storeFailure();
            if (why.empty()) why = "error " + std::to_string(status);
            return fail(change.line, "the registry refused the change (" + why + ")", error);
        }
    }
    current.reset(nullptr);
    if (!transaction.commit()) {
        return fail(0, "the device registry could not save the changes (" + device::storeFailure() + ")", error);
    }
    return true;
}

// Export.

std::string quoted(const std::u16string& text) {
    std::string out = "\"";
    for (char c : device::toUtf8(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

bool hasLineBreak(const std::u16string& name) { return name.find_first_of(u"\r\n") != std::u16string::npos; }

// RETURNS true with *text set when `data` is one terminated UTF-16 string that a quoted
// string reproduces exactly: no inner terminator, no control character, no lone surrogate.
bool cleanString(const std::string& data, std::u16string* text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    text->clear();
    for (size_t i = 0; i < data.size(); i += 2) {
        text->push_back(static_cast<char16_t>(static_cast<unsigned char>(data[i]) |
                                              static_cast<unsigned char>(data[i + 1]) << 8));
    }
    if (text->back() != 0) return false;
    text->pop_back();
    for (size_t i = 0; i < text->size(); ++i) {
        char16_t c = (*text)[i];
        if (c < 0x20) return false;
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        bool nextLow = i + 1 < text->size() && (*text)[i + 1] >= 0xDC00 && (*text)[i + 1] <= 0xDFFF;
        if (low || (high && !nextLow)) return false;
        if (high) ++i;
    }
    return true;
}

// Appends `data` as a hex list to *out, whose current line is `column` bytes long.
void appendHexList(const std::string& data, size_t column, std::string* out) {
    char hex[4];
    for (size_t i = 0; i < data.size(); ++i) {
        bool last = i + 1 == data.size();
        size_t width = last ? 2 : 3;
        if (column + width + 1 > kLineWidth) {
            *out += "\\\n  ";
            column = 2;
        }
        std::snprintf(hex, sizeof hex, last ? "%02x" : "%02x,", static_cast<unsigned char>(data[i]));
        *out += hex;
        column += width;
    }
}

void appendValue(const device::RegistryValue& value, std::string* out) {
    size_t lineStart = out->size();
    *out += value.name.empty() ? "@=" : quoted(value.name) + "=";
    std::u16string text;
    if (value.type == REG_SZ && cleanString(value.data, &text)) {
        *out += quoted(text);
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        char dword[16];
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.data[i]);
        std::snprintf(dword, sizeof dword, "dword:%08x", number);
        *out += dword;
    } else {
        char prefix[24] = "hex:";
        if (value.type != REG_BINARY) std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        *out += prefix;
        appendHexList(value.data, out->size() - lineStart, out);
    }
    *out += '\n';
}

// Writes `top` and every key beneath it, depth first in creation order. The walk keeps its
// own stack rather than recursing, so no depth of keys can exhaust the process's stack.
bool exportTree(HKEY top, const std::string& topPath, std::string* out, std::string* error) {
    struct Pending {
        HKEY key;
        std::string path;
    };
    std::vector<Pending> stack;
    HKEY topCopy;
    if (RegOpenKeyExW(top, nullptr, 0, KEY_ALL_ACCESS, &topCopy) != ERROR_SUCCESS) {
        return fail(0, "cannot open " + topPath, error);
    }
    stack.push_back({topCopy, topPath});
    bool written = true;
    while (written && !stack.empty()) {
        Pending current = std::move(stack.back());
        stack.pop_back();
        std::vector<device::RegistryValue> values;
        std::vector<std::u16string> subKeys;
        if (device::regListValues(current.key, &values) != ERROR_SUCCESS ||
            device::regListSubKeys(current.key, &subKeys) != ERROR_SUCCESS) {
            written = fail(0, "cannot read " + current.path, error);
        }
        if (written) *out += "[" + current.path + "]\n";
        for (size_t i = 0; written && i < values.size(); ++i) {
            if (hasLineBreak(values[i].name)) {
                written = fail(0, "a value name in " + current.path + " holds a line break", error);
            } else {
                appendValue(values[i], out);
            }
        }
        if (written) *out += '\n';
        // Pushed last to first, so that the first sub-key is written next.
        for (size_t i = subKeys.size(); written && i-- > 0;) {
            std::string subPath = current.path + "\\" + device::toUtf8(subKeys[i]);
            HKEY subKey;
            if (hasLineBreak(subKeys[i])) {
                written = fail(0, "the key name " + subPath + " holds a line break", error);
            } else if (RegOpenKeyExW(current.key, subKeys[i].c_str(), 0, KEY_ALL_ACCESS, &subKey) != ERROR_SUCCESS) {
                written = fail(0, "cannot open " + subPath, error);
            } else {
                stack.push_back({subKey, std::move(subPath)});
            }
        }
        RegCloseKey(current.key);
    }
    for (const Pending& left : stack) RegCloseKey(left.key);
    return written;
}

// Opens the key at `path`, finding each name's spelling as created for *display.
bool openForExport(const KeyPath& path, HKEY* key, std::string* display) {
    *display = path.root->name;
    if (RegOpenKeyExW(path.root->key, nullptr, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) return false;
    for (const std::u16string& name : path.names) {
        std::vector<std::u16string> subKeys;
        device::regListSubKeys(*key, &subKeys);
        const std::u16string* stored = nullptr;
        for (const std::u16string& candidate : subKeys) {
            if (device::foldKey(candidate) == device::foldKey(name)) stored = &candidate;
        }
        HKEY next = nullptr;
        bool opened = stored && RegOpenKeyExW(*key, stored->c_str(), 0, KEY_ALL_ACCESS, &next) == ERROR_SUCCESS;
        RegCloseKey(*key);
        if (!opened) return false;
        *key = next;
        *display += "\\" + device::toUtf8(*stored);
    }
    return true;
}

}  // namespace

bool regImport(const std::string& bytes, std::string* error) {
    std::vector<Change> changes;
    return parseFile(bytes, &changes, error) && applyChanges(changes, error);
}

bool regExport(const std::string& keyPath, std::string* text, std::string* error) {
    // The transaction keeps writers out while the export reads; nothing is changed.
    device::Transaction snapshot(device::store());
    if (!snapshot.ok()) return fail(0, "the device registry cannot be read now", error);
    std::string out = std::string(kHeader) + "\n\n";
    if (keyPath.empty()) {
        for (const Root& root : kRoots) {
            if (!exportTree(root.key, root.name, &out, error)) return false;
        }
    } else {
        bool valid = true;
        std::u16string wide = device::toUtf16(keyPath, &valid);
        KeyPath path;
        std::string why;
        if (!valid) return fail(0, "the key path is not valid UTF-8", error);
        if (!parseKeyPath(wide, &path, &why)) return fail(0, why, error);
        HKEY key;
        std::string display;
        if (!openForExport(path, &key, &display)) return fail(0, "no such key: " + keyPath, error);
        bool written = exportTree(key, display, &out, error);
        RegCloseKey(key);
        if (!written) return false;
    }
    *text = std::move(out);
    return true;
}

}  // namespace formats
