#pragma once

#include <QByteArray>

#include <cstdint>
#include <limits>

namespace Patch {

// Reads a patch's bytes in order, each read checked against its end.
class Cursor {
public:
    Cursor(const QByteArray& bytes, std::int64_t end)
        : p_(reinterpret_cast<const std::uint8_t*>(bytes.constData())), end_(end) {}
    Cursor(const std::uint8_t* bytes, std::int64_t size) : p_(bytes), end_(size) {}

    std::int64_t At() const { return at_; }
    std::int64_t Left() const { return end_ - at_; }
    bool Byte(std::uint8_t* out) {
        if (at_ >= end_)
            return false;
        *out = p_[at_++];
        return true;
    }
    // count bytes, in place; null when fewer are left.
    const std::uint8_t* Take(std::int64_t count) {
        if (count < 0 || count > Left())
            return nullptr;
        const std::uint8_t* at = p_ + at_;
        at_ += count;
        return at;
    }
    bool BigEndian(int bytes, std::int64_t* out) {
        const std::uint8_t* p = Take(bytes);
        if (!p)
            return false;
        *out = 0;
        for (int i = 0; i < bytes; ++i)
            *out = *out << 8 | p[i];
        return true;
    }
    // A BPS or UPS number: seven bits a byte, the last byte's top bit set,
    // each further byte adding one more than it says. Empty when it is cut
    // short or overflows 64 bits.
    enum class Number { Read, Short, Overflow };
    Number Variable(std::uint64_t* out) {
        std::uint64_t value = 0;
        std::uint64_t shift = 1;
        for (;;) {
            std::uint8_t byte = 0;
            if (!Byte(&byte))
                return Number::Short;
            const std::uint64_t part = std::uint64_t(byte & 0x7F);
            if (part != 0 && shift > std::numeric_limits<std::uint64_t>::max() / part)
                return Number::Overflow;
            const std::uint64_t add = part * shift;
            if (value > std::numeric_limits<std::uint64_t>::max() - add)
                return Number::Overflow;
            value += add;
            if (byte & 0x80)
                break;
            if (shift > (std::numeric_limits<std::uint64_t>::max() >> 7))
                return Number::Overflow;
            shift <<= 7;
            if (value > std::numeric_limits<std::uint64_t>::max() - shift)
                return Number::Overflow;
            value += shift;
        }
        *out = value;
        return Number::Read;
    }

    // A VCDIFF number (RFC 3284): seven bits a byte, most significant first,
    // the top bit set on all but the last; false when it is cut short or
    // larger than 62 bits.
    bool Size(std::int64_t* out) {
        std::uint64_t value = 0;
        for (int i = 0; i < 10; ++i) {
            std::uint8_t b = 0;
            if (!Byte(&b))
                return false;
            value = value << 7 | (b & 0x7F);
            if (value > (std::uint64_t(1) << 62))
                return false;
            if (!(b & 0x80))
                return *out = std::int64_t(value), true;
        }
        return false;
    }

private:
    const std::uint8_t* p_;
    std::int64_t end_;
    std::int64_t at_ = 0;
};

} // namespace Patch
