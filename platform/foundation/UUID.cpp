#include "platform/foundation/UUID.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>
#include <random>

namespace foundation {
namespace {

constexpr std::size_t kTextLength = 36;
constexpr std::array<std::size_t, 4> kDashPositions{8, 13, 18, 23};

bool isDashPosition(std::size_t index) {
    for (const std::size_t position : kDashPositions) {
        if (position == index) {
            return true;
        }
    }
    return false;
}

std::optional<std::uint8_t> hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint8_t>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint8_t>(c - 'A' + 10);
    }
    return std::nullopt;
}

void fillRandom(std::array<std::uint8_t, 16>& bytes) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    if (filled == bytes.size()) {
        return;
    }
    // Kernels without getrandom(2): the library's device source reads /dev/urandom.
    std::random_device device;
    for (std::size_t index = filled; index < bytes.size(); ++index) {
        bytes[index] = static_cast<std::uint8_t>(device());
    }
}

}  // namespace

UUID UUID::random() {
    UUID uuid;
    fillRandom(uuid.bytes);
    uuid.bytes[6] = static_cast<std::uint8_t>((uuid.bytes[6] & 0x0F) | 0x40);
    uuid.bytes[8] = static_cast<std::uint8_t>((uuid.bytes[8] & 0x3F) | 0x80);
    return uuid;
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != kTextLength) {
        return std::nullopt;
    }
    UUID uuid;
    std::size_t nibble = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (isDashPosition(index)) {
            if (text[index] != '-') {
                return std::nullopt;
            }
            continue;
        }
        const std::optional<std::uint8_t> value = hexValue(text[index]);
        if (!value) {
            return std::nullopt;
        }
        std::uint8_t& byte = uuid.bytes[nibble / 2];
        byte = static_cast<std::uint8_t>(nibble % 2 == 0 ? *value << 4 : byte | *value);
        ++nibble;
    }
    return uuid;
}

std::string UUID::uuidString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(kTextLength);
    for (std::size_t index = 0; index < bytes.size(); ++index) {
        if (index == 4 || index == 6 || index == 8 || index == 10) {
            text.push_back('-');
        }
        text.push_back(kDigits[bytes[index] >> 4]);
        text.push_back(kDigits[bytes[index] & 0x0F]);
    }
    return text;
}

}  // namespace foundation
