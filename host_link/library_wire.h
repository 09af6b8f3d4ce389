// The byte-level writer and reader of the library host's messages: fixed-width
// little-endian integers, bytes as one-byte booleans, texts as a 16-bit length
// and their bytes. Both keep a failure flag instead of failing each call, so
// an encoder or decoder reads as the message's field list and checks once at
// the end. The reader never reads past its span. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kro {

// Longest text a message carries (a folder or a recording's name), in bytes.
inline constexpr std::size_t kMaxTextBytes = 1023;
// Bytes of the length that begins every frame.
inline constexpr std::size_t kFrameLengthBytes = 4;

// Builds one frame: room for the length first, the payload after it.
class WireWriter {
public:
    WireWriter() : bytes_(kFrameLengthBytes) {}

    void Reserve(std::size_t payloadBytes) { bytes_.reserve(kFrameLengthBytes + payloadBytes); }
    void U8(std::uint8_t value) { bytes_.push_back(value); }
    void Bool(bool value) { U8(value ? 1 : 0); }
    void U16(std::uint16_t value) {
        U8(static_cast<std::uint8_t>(value));
        U8(static_cast<std::uint8_t>(value >> 8));
    }
    void U32(std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) U8(static_cast<std::uint8_t>(value >> shift));
    }
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
    void Raw(const void* data, std::size_t size) {
        if (size == 0) return;
        const auto* first = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), first, first + size);
    }
    // A text the far side can pass on as a NUL-terminated string: no NUL
    // inside and at most kMaxTextBytes.
    void Text(const std::string& text) {
        if (text.size() > kMaxTextBytes || text.find('\0') != std::string::npos) return Fail();
        U16(static_cast<std::uint16_t>(text.size()));
        Raw(text.data(), text.size());
    }
    void Fail() { failed_ = true; }

    // The frame with its length filled in; nothing when a field failed or
    // the payload is longer than maxPayload.
    std::optional<std::vector<std::uint8_t>> Frame(std::uint32_t maxPayload) && {
        const std::size_t payload = bytes_.size() - kFrameLengthBytes;
        if (failed_ || payload == 0 || payload > maxPayload) return std::nullopt;
        for (std::size_t i = 0; i < kFrameLengthBytes; ++i) {
            bytes_[i] = static_cast<std::uint8_t>(payload >> (8 * i));
        }
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    bool failed_ = false;
};

// Reads one payload. A read beyond the end, a boolean other than 0 or 1, or
// a text that is too long or holds a NUL fails the reader and yields zeros.
class WireReader {
public:
    explicit WireReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8() {
        std::uint8_t value = 0;
        Raw(&value, 1);
        return value;
    }
    bool Bool() {
        const std::uint8_t value = U8();
        if (value > 1) Fail();
        return value == 1;
    }
    std::uint16_t U16() {
        std::uint8_t bytes[2] = {};
        Raw(bytes, sizeof bytes);
        return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
    }
    std::uint32_t U32() {
        std::uint8_t bytes[4] = {};
        Raw(bytes, sizeof bytes);
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | bytes[i];
        return value;
    }
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
    void Raw(void* out, std::size_t size) {
        if (size == 0) return;
        if (failed_ || size > Remaining()) {
            Fail();
            std::memset(out, 0, size);
            return;
        }
        std::memcpy(out, bytes_.data() + offset_, size);
        offset_ += size;
    }
    std::string Text() {
        const std::size_t size = U16();
        if (size > kMaxTextBytes || size > Remaining()) {
            Fail();
            return {};
        }
        std::string text(reinterpret_cast<const char*>(bytes_.data() + offset_), size);
        offset_ += size;
        if (text.find('\0') != std::string::npos) Fail();
        return text;
    }

    std::size_t Remaining() const { return failed_ ? 0 : bytes_.size() - offset_; }
    void Fail() { failed_ = true; }
    // Every field read and nothing left over.
    bool Finished() const { return !failed_ && offset_ == bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
    bool failed_ = false;
};

}  // namespace kro
