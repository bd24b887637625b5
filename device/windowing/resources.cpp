// The program's resources as the platform serves them: the compiled .res bytes the host
// registers for the program are walked once into a table of typed, named entries, from which
// strings, icons, bitmaps, accelerator tables and raw resource data are handed out.
#include "device/windowing/resources.h"

#include "device/core/bytereader.h"
#include "device/core/faults.h"
#include "device/core/utf.h"
#include "device/windowing/templates.h"
#include "platform/windows.h"

#include <bit>
#include <memory>
#include <mutex>

// Raw resource data goes to the program unconverted, as the device's little-endian
// layout; the host must share that byte order.
static_assert(std::endian::native == std::endian::little);

// What the platform's HRSRC points at: one entry of the module's resource table.
struct HRSRC__ {
    device::NameOrNumber type;
    device::NameOrNumber name;
    WORD language = 0;
    const uint8_t* data = nullptr;
    size_t size = 0;
};

namespace device {
namespace {

constexpr WORD kStringType = 6, kIconType = 3, kGroupIconType = 14, kBitmapType = 2,
               kAcceleratorType = 9;

// Loaded forms of entries, made on first use and kept for the process.
struct Loaded {
    std::unique_ptr<std::vector<Picture>> icon;
    std::unique_ptr<Picture> bitmap;
    std::unique_ptr<std::vector<ACCEL>> accelerators;
};

// The compiled resources the host registered; none until it does.
const uint8_t* registeredBytes = nullptr;
size_t registeredSize = 0;

struct Module {
    Module();
    std::vector<HRSRC__> entries;
    std::vector<Loaded> loaded;
    std::mutex mutex;  // guards `loaded`
};

// A resource header's type and name are always present, as a number or a name.
NameOrNumber readHeaderField(ByteReader& in) {
    NameOrNumber field = readNameOrNumber(in);
    field.present = true;
    return field;
}

// Walks the .res layout: each entry is DataSize, HeaderSize, TYPE, NAME (DWORD-aligned),
// DataVersion, MemoryFlags, LanguageId, Version, Characteristics, then the data; entries
// start on 4-byte boundaries. The leading empty entry (type 0) marks the format only.
std::vector<HRSRC__> readResourceFile(const uint8_t* bytes, size_t size) {
    std::vector<HRSRC__> entries;
    ByteReader in(bytes, size);
    while (in.ok() && in.remaining() >= 32) {
        size_t start = in.position();
        uint32_t dataSize = in.dword();
        uint32_t headerSize = in.dword();
        HRSRC__ entry;
        entry.type = readHeaderField(in);
        entry.name = readHeaderField(in);
        in.align(4);
        in.skip(6);  // DataVersion, MemoryFlags
        entry.language = in.word();
        if (!in.ok() || headerSize > size - start || dataSize > size - start - headerSize) break;
        entry.data = bytes + start + headerSize;
        entry.size = dataSize;
        if (!(entry.type.isNumber() && entry.type.number == 0)) entries.push_back(std::move(entry));
        in.seek(start + headerSize + dataSize);
        if (in.remaining() > 0) in.align(4);
    }
    return entries;
}

Module::Module()
    : entries(readResourceFile(registeredBytes, registeredSize)),
      loaded(entries.size()) {}

Module& module() {
    static Module instance;
    return instance;
}

}  // namespace

void programResourcesRegister(const void* bytes, size_t size) {
    registeredBytes = static_cast<const uint8_t*>(bytes);
    registeredSize = bytes ? size : 0;
}

namespace {

bool isProgramModule(HINSTANCE instance) {
    return instance == nullptr || instance == programInstance();
}

// A requested type or name against an entry's field: numbers as numbers, "#102" as
// the number 102, strings ignoring case.
bool matches(LPCWSTR wanted, const NameOrNumber& field) {
    if (IS_INTRESOURCE(wanted)) {
        return field.isNumber() && field.number == static_cast<WORD>(reinterpret_cast<ULONG_PTR>(wanted));
    }
    std::u16string_view text(wanted);
    if (!text.empty() && text[0] == u'#') {
        unsigned long number = 0;
        for (char16_t c : text.substr(1)) {
            if (c < u'0' || c > u'9' || number > 0xFFFF) return false;
            number = number * 10 + (c - u'0');
        }
        return text.size() > 1 && number <= 0xFFFF && field.isNumber() && field.number == number;
    }
    return !field.isNumber() && foldKey(field.text) == foldKey(text);
}

// RETURNS the entry, or null with the last error set as FindResourceW reports it.
const HRSRC__* find(LPCWSTR name, LPCWSTR type) {
    bool typeSeen = false;
    for (const HRSRC__& entry : module().entries) {
        if (!matches(type, entry.type)) continue;
        typeSeen = true;
        if (matches(name, entry.name)) return &entry;
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

const HRSRC__* findNumbered(LPCWSTR name, WORD type) {
    return find(name, MAKEINTRESOURCEW(type));
}

size_t indexOf(const HRSRC__* entry) {
    return static_cast<size_t>(entry - module().entries.data());
}

bool isEntry(const HRSRC__* entry) {
    const std::vector<HRSRC__>& entries = module().entries;
    for (const HRSRC__& candidate : entries) {
        if (&candidate == entry) return true;
    }
    return false;
}

// An icon group: reserved, type 1, count, then 14 bytes an image (width, height,
// colours, reserved, planes, bits per pixel, byte count, the RT_ICON number).
std::unique_ptr<std::vector<Picture>> loadIconGroup(const HRSRC__& group) {
    ByteReader in(group.data, group.size);
    in.word();
    WORD kind = in.word();
    WORD count = in.word();
    if (!in.ok() || kind != 1 || count == 0) return nullptr;
    auto pictures = std::make_unique<std::vector<Picture>>();
    for (WORD i = 0; i < count; ++i) {
        in.skip(12);
        WORD imageId = in.word();
        if (!in.ok()) return nullptr;
        const HRSRC__* image = findNumbered(MAKEINTRESOURCEW(imageId), kIconType);
        Picture picture;
        if (image == nullptr || !decodeDib(image->data, image->size, true, &picture)) return nullptr;
        pictures->push_back(std::move(picture));
    }
    return pictures;
}

// Accelerator entries: flags, key, command, padding (8 bytes); flag 0x80 ends the table.
std::unique_ptr<std::vector<ACCEL>> loadAccelerators(const HRSRC__& table) {
    ByteReader in(table.data, table.size);
    auto entries = std::make_unique<std::vector<ACCEL>>();
    while (in.remaining() >= 8) {
        WORD flags = in.word();
        ACCEL entry;
        entry.fVirt = static_cast<BYTE>(flags & 0x7F);
        entry.key = in.word();
        entry.cmd = in.word();
        in.word();
        entries->push_back(entry);
        if (flags & 0x80) break;
    }
    if (entries->empty()) return nullptr;
    return entries;
}

// Finds an entry of `type` and gives its loaded form, making it on first use with
// `load`. RETURNS null with the last error set.
template <class T, class Load>
T* loadOnce(HINSTANCE instance, LPCWSTR name, WORD type, std::unique_ptr<T> Loaded::*slot, Load load) {
    if (!isProgramModule(instance)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const HRSRC__* entry = findNumbered(name, type);
    if (entry == nullptr) return nullptr;
    Module& m = module();
    std::lock_guard<std::mutex> lock(m.mutex);
    std::unique_ptr<T>& held = m.loaded[indexOf(entry)].*slot;
    if (!held) held = load(*entry);
    if (!held) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return held.get();
}

template <class T>
const T* lookupLoaded(const void* handle, std::unique_ptr<T> Loaded::*slot) {
    if (handle == nullptr) return nullptr;
    Module& m = module();
    std::lock_guard<std::mutex> lock(m.mutex);
    for (const Loaded& loaded : m.loaded) {
        if ((loaded.*slot).get() == handle) return (loaded.*slot).get();
    }
    return nullptr;
}

}  // namespace

const std::vector<Picture>* iconPictures(HICON icon) {
    return lookupLoaded(icon, &Loaded::icon);
}

const Picture* bitmapPicture(HBITMAP bitmap) {
    return lookupLoaded(bitmap, &Loaded::bitmap);
}

const std::vector<ACCEL>* acceleratorEntries(HACCEL table) {
    return lookupLoaded(table, &Loaded::accelerators);
}

size_t resourceBytesFrom(const void* data) {
    const uint8_t* at = static_cast<const uint8_t*>(data);
    for (const HRSRC__& entry : module().entries) {
        // Compared as addresses: `at` may belong to no resource at all.
        auto begin = reinterpret_cast<uintptr_t>(entry.data);
        auto where = reinterpret_cast<uintptr_t>(at);
        if (where >= begin && where < begin + entry.size) return entry.size - (where - begin);
    }
    return 0;
}

}  // namespace device

using device::findNumbered;

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferChars) {
    if (device::faultHit("LoadStringW")) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    if (buffer == nullptr || bufferChars < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!device::isProgramModule(instance)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return 0;
    }
    // Strings come in blocks of 16: block id / 16 + 1, each string a length and its characters.
    const HRSRC__* block = findNumbered(MAKEINTRESOURCEW((id & 0xFFFF) / 16 + 1), device::kStringType);
    if (block == nullptr) return 0;
    device::ByteReader in(block->data, block->size);
    for (UINT skip = id % 16; skip > 0; --skip) in.skip(size_t{in.word()} * 2);
    WORD length = in.word();
    if (!in.ok() || in.remaining() < size_t{length} * 2) length = 0;
    const uint8_t* text = in.ok() ? in.here() : block->data;
    if (bufferChars == 0) {
        *reinterpret_cast<LPCWSTR*>(buffer) = reinterpret_cast<LPCWSTR>(text);
        return length;
    }
    int copied = length < bufferChars - 1 ? length : bufferChars - 1;
    for (int i = 0; i < copied; ++i) {
        buffer[i] = static_cast<WCHAR>(text[2 * i] | text[2 * i + 1] << 8);
    }
    buffer[copied] = 0;
    return copied;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
    if (device::faultHit("LoadIconW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (instance == nullptr) {  // the system's icons: none on this device
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HICON>(
        device::loadOnce(instance, name, device::kGroupIconType, &device::Loaded::icon, device::loadIconGroup));
}

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
    if (device::faultHit("LoadBitmapW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto decode = [](const HRSRC__& entry) {
        auto picture = std::make_unique<device::Picture>();
        if (!device::decodeDib(entry.data, entry.size, false, picture.get())) picture.reset();
        return picture;
    };
    return reinterpret_cast<HBITMAP>(
        device::loadOnce(instance, name, device::kBitmapType, &device::Loaded::bitmap, decode));
}

HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR name) {
    if (device::faultHit("LoadAcceleratorsW")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<HACCEL>(device::loadOnce(instance, name, device::kAcceleratorType,
                                                     &device::Loaded::accelerators, device::loadAccelerators));
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (device::faultHit("FindResourceW")) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!device::isProgramModule(module)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (name == nullptr || type == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return const_cast<HRSRC>(device::find(name, type));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    if (device::faultHit("LoadResource")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!device::isProgramModule(module) || !device::isEntry(resource)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Read-only data; the program never writes through it, as on the device.
    return const_cast<uint8_t*>(resource->data);
}

LPVOID LockResource(HGLOBAL data) {
    return data;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    if (!device::isProgramModule(module) || !device::isEntry(resource)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(resource->size);
}
