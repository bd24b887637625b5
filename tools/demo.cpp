// Demo clutter, laid out through the platform's own file and registry calls so that it
// lands on the device exactly as a program on the device would have left it.
#include "tools/demo.h"

#include "device/utf.h"
#include "platform/windows.h"

#include <random>
#include <vector>

namespace tools {
namespace {

bool makeFolders(const std::u16string& path) {
    // Creates each folder of the path in turn; those that exist already are fine.
    for (size_t slash = path.find(u'\\', 1);; slash = path.find(u'\\', slash + 1)) {
        std::u16string prefix = path.substr(0, slash);
        if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetFileAttributesW(prefix.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
        if (slash == std::u16string::npos) return true;
    }
}

bool writeFile(const std::u16string& path, const std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == content.size();
}

bool setString(HKEY root, const char16_t* keyPath, const char16_t* name, const std::u16string& value) {
    HKEY key;
    if (RegCreateKeyExW(root, keyPath, 0, nullptr, 0, 0, nullptr, &key, nullptr) != ERROR_SUCCESS) return false;
    LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string filler(std::mt19937& random, size_t size) {
    static const char text[] = "<html><body>cached page of the demo device</body></html>\r\n";
    std::string content;
    content.reserve(size);
    while (content.size() < size) content += text[random() % (sizeof text - 1)];
    return content;
}

std::u16string randomName(std::mt19937& random) {
    static const char16_t letters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::u16string name;
    for (int i = 0; i < 8; ++i) name += letters[random() % 36];
    return name;
}

}  // namespace

bool fillDemo(std::string* error) {
    std::mt19937 random(20261207);
    bool ok = true;

    ok = ok && makeFolders(u"\\Temp") && makeFolders(u"\\Windows\\Temp\\setup");
    for (int i = 0; ok && i < 6; ++i)
        ok = writeFile(u"\\Temp\\~tmp" + device::toUtf16(std::to_string(1000 + i)) + u".tmp", filler(random, 1500 + random() % 9000));
    ok = ok && writeFile(u"\\Windows\\Temp\\install.log", filler(random, 4200)) &&
         writeFile(u"\\Windows\\Temp\\setup\\unpack.cab", filler(random, 23000));

    // The browser cache: randomly named sub-folders below Content.IE5 and an index file.
    const std::u16string cache = u"\\Windows\\Profiles\\guest\\Temporary Internet Files\\Content.IE5";
    ok = ok && makeFolders(cache) && writeFile(cache + u"\\index.dat", filler(random, 16384));
    for (int folder = 0; ok && folder < 4; ++folder) {
        std::u16string sub = cache + u"\\" + randomName(random);
        ok = makeFolders(sub);
        for (int file = 0; ok && file < 5; ++file)
            ok = writeFile(sub + u"\\" + randomName(random) + u".htm", filler(random, 800 + random() % 12000));
    }

    const std::u16string history = u"\\Windows\\Profiles\\guest\\History";
    ok = ok && makeFolders(history + u"\\History.IE5\\MSHist01") && writeFile(history + u"\\desktop.ini", filler(random, 120)) &&
         writeFile(history + u"\\History.IE5\\index.dat", filler(random, 8192)) &&
         writeFile(history + u"\\History.IE5\\MSHist01\\index.dat", filler(random, 4096));

    ok = ok && makeFolders(u"\\Windows\\AvantGo\\channels") && writeFile(u"\\Windows\\AvantGo\\news.pdb", filler(random, 30000)) &&
         writeFile(u"\\Windows\\AvantGo\\channels\\weather.pdb", filler(random, 12000));

    const char16_t* shellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    ok = ok && setString(HKEY_CURRENT_USER, shellFolders, u"Cache", u"\\Windows\\Profiles\\guest\\Temporary Internet Files") &&
         setString(HKEY_CURRENT_USER, shellFolders, u"History", history) &&
         setString(HKEY_CURRENT_USER, u"Software\\AvantGo", u"DatabaseLocation", u"\\Windows\\AvantGo");
    static const char16_t* const runs[] = {u"\\Windows\\pword.exe", u"\\Windows\\calc.exe", u"\\Windows\\tmail.exe"};
    for (int i = 0; ok && i < 3; ++i)
        ok = setString(HKEY_LOCAL_MACHINE, u"Explorer\\RunHistory", device::toUtf16("url" + std::to_string(i + 1)).c_str(), runs[i]);
    static const char16_t* const addresses[] = {u"http://news.example.org/", u"http://weather.example.org/today"};
    for (int i = 0; ok && i < 2; ++i)
        ok = setString(HKEY_LOCAL_MACHINE, u"Explorer\\AddressHistory", device::toUtf16("url" + std::to_string(i + 1)).c_str(), addresses[i]);

    if (!ok) *error = "cannot lay out the demo clutter";
    return ok;
}

}  // namespace tools
