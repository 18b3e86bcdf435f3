#include "Patch.h"

#include "Archive.h"
#include "PatchCursor.h"
#include "Vcdiff.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace Patch {

namespace {

using Code = EngineError::Code;
constexpr std::int64_t Largest = Cartridge::MaxImageSize;

QString Hex32(std::uint32_t value) {
    return RomInspector::Hex(value, 8);
}

std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

QString NumberFault(Cursor::Number n, const char* what) {
    return n == Cursor::Number::Overflow
               ? QStringLiteral("its %1 is a number larger than 64 bits").arg(QLatin1String(what))
               : QStringLiteral("it is cut short in its %1").arg(QLatin1String(what));
}

// A size a patch gives, as a size of an image Kestrix takes; why not.
QString SizeFault(std::uint64_t size, const char* what) {
    if (size > std::uint64_t(Largest))
        return QStringLiteral("its %1 of %2 bytes is larger than the largest image (%3 MiB)")
            .arg(QLatin1String(what))
            .arg(size)
            .arg(Largest >> 20);
    return QString();
}

// The CRC32s at the end of a BPS or UPS patch; its own is checked first.
QString Trailer(const QByteArray& patch, Description* d) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(patch.constData());
    const std::int64_t size = patch.size();
    if (size < 4 + 12)
        return QStringLiteral("it is cut short: it ends before its CRC32s");
    d->checksums = true;
    d->sourceCrc = Little32(p + size - 12);
    d->targetCrc = Little32(p + size - 8);
    d->patchCrc = Little32(p + size - 4);
    const std::uint32_t own = Crc32(p, size - 4);
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // (A fuzzer could never reach past a checksum it cannot make.)
    if (own != d->patchCrc)
        return QStringLiteral("the patch is damaged: its CRC32 is %1, it says %2")
            .arg(Hex32(own), Hex32(d->patchCrc));
#endif
    return QString();
}

QString DescribeIps(const QByteArray& patch, Description* d) {
    Cursor in(patch, patch.size());
    in.Take(5);
    for (;;) {
        const std::int64_t at = in.At();
        std::int64_t offset = 0;
        if (!in.BigEndian(3, &offset))
            return in.Left() == 0 ? QStringLiteral("it ends without its \"EOF\" record")
                                  : QStringLiteral("a record at byte %1 is cut short").arg(at);
        if (offset == 0x454F46) // "EOF"
            break;
        std::int64_t size = 0;
        if (!in.BigEndian(2, &size))
            return QStringLiteral("a record at byte %1 is cut short").arg(at);
        if (size == 0) {
            std::int64_t count = 0;
            std::uint8_t byte = 0;
            if (!in.BigEndian(2, &count) || !in.Byte(&byte))
                return QStringLiteral("a record at byte %1 is cut short").arg(at);
            if (count == 0)
                return QStringLiteral("a record at byte %1 repeats a byte 0 times").arg(at);
            size = count;
            ++d->runLength;
        } else if (!in.Take(size)) {
            return QStringLiteral("a record at byte %1 is cut short").arg(at);
        }
        if (offset + size > IpsReach)
            return QStringLiteral("a record at byte %1 reaches past 16 MiB").arg(at);
        ++d->records;
        d->changed += size;
        d->reach = std::max(d->reach, offset + size);
    }
    if (in.Left() == 3) {
        in.BigEndian(3, &d->truncate);
    } else if (in.Left() != 0) {
        return QStringLiteral("%1 bytes follow its \"EOF\" record").arg(in.Left());
    }
    return QString();
}

// The signed offsets of BPS's copies: the lowest bit the sign.
std::int64_t Signed(std::uint64_t n) {
    const std::int64_t magnitude = std::int64_t(n >> 1);
    return n & 1 ? -magnitude : magnitude;
}

// Walks a BPS patch's actions; with target, carries them out on a source of
// size read through read. Why it cannot, or nothing.
struct BpsRun {
    const RomInspector::ReadAt* read = nullptr;
    std::int64_t sourceSize = 0;
    std::uint8_t* target = nullptr;
    bool readFailed = false;
};

// A BPS patch's sizes and metadata, read from its start.
QString BpsHeader(Cursor& in, Description* d) {
    in.Take(4);
    std::uint64_t source = 0, target = 0, metadata = 0;
    if (const auto n = in.Variable(&source); n != Cursor::Number::Read)
        return NumberFault(n, "source size");
    if (const auto n = in.Variable(&target); n != Cursor::Number::Read)
        return NumberFault(n, "target size");
    if (const QString fault = SizeFault(source, "source size"); !fault.isEmpty())
        return fault;
    if (const QString fault = SizeFault(target, "target size"); !fault.isEmpty())
        return fault;
    if (const auto n = in.Variable(&metadata); n != Cursor::Number::Read)
        return NumberFault(n, "metadata size");
    const std::uint8_t* meta =
        metadata <= std::uint64_t(in.Left()) ? in.Take(std::int64_t(metadata)) : nullptr;
    if (!meta)
        return QStringLiteral("its metadata of %1 bytes reach past its end").arg(metadata);
    d->sourceSize = std::int64_t(source);
    d->targetSize = std::int64_t(target);
    d->metadata = QByteArray(reinterpret_cast<const char*>(meta), qsizetype(metadata));
    return QString();
}

// Where a BPS patch's actions are: the target written so far, and the two
// copy positions.
struct BpsPlace {
    std::int64_t out = 0;
    std::int64_t sourceAt = 0;
    std::int64_t targetAt = 0;
};

// A SourceCopy (2) or TargetCopy (3) of n bytes, its action at byte at.
QString BpsCopy(Cursor& in, std::int64_t at, int action, std::int64_t n, std::int64_t sourceSize,
                BpsPlace& place, BpsRun* run) {
    std::uint64_t relative = 0;
    if (const auto r = in.Variable(&relative); r != Cursor::Number::Read)
        return NumberFault(r, "actions");
    std::int64_t& from = action == 2 ? place.sourceAt : place.targetAt;
    const std::int64_t step = Signed(relative);
    const std::int64_t limit = action == 2 ? sourceSize : place.out;
    const QString outside =
        QStringLiteral("the action at byte %1 copies from outside the %2")
            .arg(at)
            .arg(action == 2 ? QStringLiteral("source") : QStringLiteral("target written so far"));
    if ((step < 0 && -step > from) || (step > 0 && step > limit - from))
        return outside;
    from += step;
    if (action == 2 ? from + n > sourceSize : from >= place.out)
        return outside;
    if (run) {
        std::uint8_t* into = run->target + place.out;
        if (action == 2) {
            if (!(*run->read)(from, into, n))
                return run->readFailed = true, QString();
        } else {
            // A copy may overlap what it writes: byte by byte.
            for (std::int64_t i = 0; i < n; ++i)
                into[i] = run->target[from + i];
        }
    }
    from += n;
    return QString();
}

QString WalkBps(const QByteArray& patch, Description* d, BpsRun* run) {
    Cursor in(patch, patch.size() - 12);
    if (const QString fault = BpsHeader(in, d); !fault.isEmpty())
        return fault;
    const std::int64_t sourceSize = run ? run->sourceSize : d->sourceSize;
    BpsPlace place;
    while (in.Left() > 0) {
        const std::int64_t at = in.At();
        std::uint64_t word = 0;
        if (const auto n = in.Variable(&word); n != Cursor::Number::Read)
            return NumberFault(n, "actions");
        const int action = int(word & 3);
        const std::uint64_t length = (word >> 2) + 1;
        if (length > std::uint64_t(d->targetSize - place.out))
            return QStringLiteral("the action at byte %1 writes past the target's %2 bytes")
                .arg(at)
                .arg(d->targetSize);
        const std::int64_t n = std::int64_t(length);
        std::uint8_t* into = run ? run->target + place.out : nullptr;
        if (action == 0) { // SourceRead: the source's bytes where the target is
            if (place.out + n > sourceSize)
                return QStringLiteral("the action at byte %1 reads past the source's %2 bytes")
                    .arg(at)
                    .arg(sourceSize);
            if (run && !(*run->read)(place.out, into, n))
                return run->readFailed = true, QString();
        } else if (action == 1) { // TargetRead: bytes of the patch
            const std::uint8_t* bytes = in.Take(n);
            if (!bytes)
                return QStringLiteral("the action at byte %1 is cut short").arg(at);
            if (run)
                std::memcpy(into, bytes, std::size_t(n));
            d->changed += n;
        } else if (const QString fault = BpsCopy(in, at, action, n, sourceSize, place, run);
                   !fault.isEmpty() || (run && run->readFailed)) {
            return fault;
        }
        place.out += n;
        ++d->actions[action];
        ++d->records;
    }
    if (place.out != d->targetSize)
        return QStringLiteral("its actions make %1 bytes, not the target's %2")
            .arg(place.out)
            .arg(d->targetSize);
    return QString();
}

// Walks a UPS patch's runs; with target (holding the source, at the
// target's size), carries them out on it.
QString WalkUps(const QByteArray& patch, Description* d, std::uint8_t* target) {
    Cursor in(patch, patch.size() - 12);
    in.Take(4);
    std::uint64_t source = 0, size = 0;
    if (const auto n = in.Variable(&source); n != Cursor::Number::Read)
        return NumberFault(n, "source size");
    if (const auto n = in.Variable(&size); n != Cursor::Number::Read)
        return NumberFault(n, "target size");
    if (const QString fault = SizeFault(source, "source size"); !fault.isEmpty())
        return fault;
    if (const QString fault = SizeFault(size, "target size"); !fault.isEmpty())
        return fault;
    d->sourceSize = std::int64_t(source);
    d->targetSize = std::int64_t(size);
    // The runs cover the larger of the two, so that a patch that shrinks an
    // image also holds the bytes it drops, and undoes itself.
    const std::int64_t span = std::max(d->sourceSize, d->targetSize);
    std::int64_t offset = 0;
    while (in.Left() > 0) {
        const std::int64_t at = in.At();
        std::uint64_t skip = 0;
        if (const auto n = in.Variable(&skip); n != Cursor::Number::Read)
            return NumberFault(n, "runs");
        // A run's closing zero may stand one byte past the span: nothing may
        // start beyond it.
        if (offset > span || skip > std::uint64_t(span - offset))
            return QStringLiteral("the run at byte %1 starts past the %2 bytes of the source "
                                  "and the target")
                .arg(at)
                .arg(span);
        offset += std::int64_t(skip);
        // Bytes to XOR, up to a zero that ends the run (and stands for one
        // byte left as it is).
        for (;;) {
            std::uint8_t x = 0;
            if (!in.Byte(&x))
                return QStringLiteral("the run at byte %1 is cut short").arg(at);
            if (x == 0) {
                ++offset;
                break;
            }
            if (offset >= span)
                return QStringLiteral("the run at byte %1 changes bytes past the %2 bytes of the "
                                      "source and the target")
                    .arg(at)
                    .arg(span);
            if (target)
                target[offset] ^= x;
            ++offset;
            ++d->changed;
        }
        ++d->records;
    }
    return QString();
}

// Reads a source into the start of a target, in pieces.
bool ReadInto(const RomInspector::ReadAt& read, std::int64_t size, std::uint8_t* target) {
    for (std::int64_t at = 0; at < size;) {
        const std::int64_t n = std::min(Cartridge::Piece, size - at);
        if (!read(at, target + at, n))
            return false;
        at += n;
    }
    return true;
}

EngineError Fits(const QString& why) {
    return why.isEmpty() ? EngineError() : EngineError(Code::PatchDoesNotFit, why);
}

} // namespace

QString KindName(Kind kind) {
    switch (kind) {
    case Kind::Ips:
        return QStringLiteral("IPS");
    case Kind::Bps:
        return QStringLiteral("BPS");
    case Kind::Ups:
        return QStringLiteral("UPS");
    case Kind::Vcdiff:
        return QStringLiteral("VCDIFF");
    }
    return QString();
}

bool KindOf(const QByteArray& bytes, Kind* kind) {
    if (bytes.startsWith("PATCH"))
        return *kind = Kind::Ips, true;
    if (bytes.startsWith("BPS1"))
        return *kind = Kind::Bps, true;
    if (bytes.startsWith("UPS1"))
        return *kind = Kind::Ups, true;
    if (bytes.startsWith(Vcdiff::Magic))
        return *kind = Kind::Vcdiff, true;
    return false;
}

std::int64_t Description::TargetSize(std::int64_t source) const {
    if (kind != Kind::Ips)
        return targetSize;
    return truncate >= 0 ? truncate : std::max(source, reach);
}

QString Describe(const QByteArray& patch, Description* d) {
    *d = Description();
    d->size = patch.size();
    if (patch.isEmpty())
        return QStringLiteral("the file is empty");
    if (!KindOf(patch, &d->kind))
        return QStringLiteral("it is not an IPS, BPS, UPS or VCDIFF patch (it starts with none "
                              "of \"PATCH\", \"BPS1\", \"UPS1\" and VCDIFF's magic)");
    if (d->kind == Kind::Ips)
        return DescribeIps(patch, d);
    if (d->kind == Kind::Vcdiff) {
        const QString fault = Vcdiff::Describe(patch, d);
        d->kind = Kind::Vcdiff;
        d->size = patch.size();
        return fault;
    }
    if (const QString fault = Trailer(patch, d); !fault.isEmpty())
        return fault;
    return d->kind == Kind::Bps ? WalkBps(patch, d, nullptr) : WalkUps(patch, d, nullptr);
}

EngineError Apply(const QByteArray& patch, const Description& d, const RomInspector::ReadAt& read,
                  std::int64_t size, std::vector<std::uint8_t>* target) {
    Description walked;
    target->clear();
    try {
        switch (d.kind) {
        case Kind::Bps: {
            target->resize(std::size_t(d.targetSize));
            BpsRun run{&read, size, target->data()};
            walked.kind = d.kind;
            if (const EngineError fault = Fits(WalkBps(patch, &walked, &run)); fault.Failed())
                return fault;
            if (run.readFailed)
                return Code::ReadFailed;
            return {};
        }
        case Kind::Ups: {
            // Bytes past the source are zeros before the runs change them.
            target->resize(std::size_t(std::max({size, d.sourceSize, d.targetSize})));
            if (!ReadInto(read, size, target->data()))
                return Code::ReadFailed;
            if (const EngineError fault = Fits(WalkUps(patch, &walked, target->data()));
                fault.Failed())
                return fault;
            target->resize(std::size_t(d.targetSize));
            return {};
        }
        case Kind::Vcdiff:
            return Vcdiff::Apply(patch, read, size, target);
        case Kind::Ips:
            break;
        }
        const std::int64_t made = d.TargetSize(size);
        if (made > Largest)
            return Fits(SizeFault(std::uint64_t(made), "result"));
        target->resize(std::size_t(std::max(size, d.reach)));
        if (!ReadInto(read, size, target->data()))
            return Code::ReadFailed;
        const auto* p = reinterpret_cast<const std::uint8_t*>(patch.constData());
        for (std::int64_t at = 5;;) {
            const std::int64_t offset =
                std::int64_t(p[at]) << 16 | std::int64_t(p[at + 1]) << 8 | p[at + 2];
            if (offset == 0x454F46)
                break;
            const std::int64_t n = std::int64_t(p[at + 3]) << 8 | p[at + 4];
            if (n == 0) {
                const std::int64_t count = std::int64_t(p[at + 5]) << 8 | p[at + 6];
                std::memset(target->data() + offset, p[at + 7], std::size_t(count));
                at += 8;
            } else {
                std::memcpy(target->data() + offset, p + at + 5, std::size_t(n));
                at += 5 + n;
            }
        }
        target->resize(std::size_t(made));
    } catch (const std::bad_alloc&) {
        target->clear();
        return Code::ConvertMemory;
    }
    return {};
}

std::uint32_t Crc32(const std::uint8_t* bytes, std::int64_t size) {
    uLong crc = crc32_z(0, nullptr, 0);
    return std::uint32_t(crc32_z(crc, bytes, std::size_t(size)));
}

bool Crc32(const RomInspector::ReadAt& read, std::int64_t size, std::uint32_t* crc) {
    uLong c = crc32_z(0, nullptr, 0);
    std::vector<std::uint8_t> piece(std::size_t(std::min(size, Cartridge::Piece)));
    for (std::int64_t at = 0; at < size;) {
        const std::int64_t n = std::min(Cartridge::Piece, size - at);
        if (!read(at, piece.data(), n))
            return false;
        c = crc32_z(c, piece.data(), std::size_t(n));
        at += n;
    }
    *crc = std::uint32_t(c);
    return true;
}

EngineError Load(const QString& path, Loaded* loaded) {
    loaded->path = path;
    auto refused = [&](const QString& why) { return EngineError(Code::PatchRefused, why, path); };
    if (const EngineError read = Archive::ReadWhole(path, MaxPatchSize, &loaded->bytes);
        read.Failed())
        return refused(read.Text());
    if (const QString why = Describe(loaded->bytes, &loaded->description); !why.isEmpty())
        return refused(why);
    return {};
}

bool IsPatchFile(const QString& path) {
    const SafeFile::Source in(path);
    QByteArray start(5, '\0');
    Kind kind;
    return in.IsOpen() && in.Size() >= 4 &&
           in.ReadAt(0, start.data(), std::min<std::int64_t>(5, in.Size())) && KindOf(start, &kind);
}

} // namespace Patch
