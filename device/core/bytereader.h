// Bounds-checked reading of the platform's little-endian binary layouts (resource files,
// dialog and menu templates). A read past the end yields zeros and marks the reader bad,
// so a parser checks ok() once at the end instead of after every field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace device {

class ByteReader {
public:
    ByteReader(const void* data, size_t size)
        : bytes_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}

    bool ok() const { return ok_; }
    size_t position() const { return position_; }
    size_t remaining() const { return size_ - position_; }
    const uint8_t* here() const { return bytes_ + position_; }

    uint8_t byte() { return has(1) ? bytes_[position_++] : 0; }
    uint16_t word() {
        if (!has(2)) return 0;
        uint16_t value = static_cast<uint16_t>(bytes_[position_] | bytes_[position_ + 1] << 8);
        position_ += 2;
        return value;
    }
    int16_t shortValue() { return static_cast<int16_t>(word()); }
    uint32_t dword() {
        uint32_t low = word();
        return low | static_cast<uint32_t>(word()) << 16;
    }
    int32_t longValue() { return static_cast<int32_t>(dword()); }

    // A zero-terminated UTF-16 string; the terminator is consumed.
    std::u16string string() {
        std::u16string text;
        for (;;) {
            char16_t c = static_cast<char16_t>(word());
            if (c == 0 || !ok_) return text;
            text.push_back(c);
        }
    }

    void skip(size_t count) {
        if (has(count)) position_ += count;
    }
    // Moves to the next multiple of `alignment` from the start of the data.
    void align(size_t alignment) {
        size_t rest = position_ % alignment;
        if (rest != 0) skip(alignment - rest);
    }
    void seek(size_t position) {
        if (position <= size_) position_ = position;
        else ok_ = false;
    }

private:
    bool has(size_t count) {
        if (ok_ && count <= size_ - position_) return true;
        ok_ = false;
        return false;
    }

    const uint8_t* bytes_;
    size_t size_;
    size_t position_ = 0;
    bool ok_ = true;
};

}  // namespace device
