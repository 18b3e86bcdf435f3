#include "PatchMaker.h"

#include "Archive.h"
#include "PlainStream.h"
#include "SafeFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace PatchMaker {

namespace {

using Code = EngineError::Code;

// BPS and UPS numbers: seven bits a byte, the last byte's top bit set, each
// further byte standing for one more than it says.
void Number(QByteArray& out, std::uint64_t n) {
    for (;;) {
        const char part = char(n & 0x7F);
        n >>= 7;
        if (n == 0) {
            out += char(part | 0x80);
            return;
        }
        out += part;
        --n;
    }
}

void Little32(QByteArray& out, std::uint32_t n) {
    for (int i = 0; i < 4; ++i)
        out += char(n >> (8 * i));
}

// The CRC32s of source and target, then the patch's own.
void Seal(QByteArray& out, const Images& im) {
    Little32(out, Patch::Crc32(im.source, im.sourceSize));
    Little32(out, Patch::Crc32(im.target, im.targetSize));
    Little32(out, Patch::Crc32(reinterpret_cast<const std::uint8_t*>(out.constData()), out.size()));
}

// How many bytes agree from a and b on, up to most.
std::int64_t Agree(const std::uint8_t* a, const std::uint8_t* b, std::int64_t most) {
    std::int64_t n = 0;
    while (n + 8 <= most) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + std::int64_t(__builtin_ctzll(x ^ y) / 8);
        n += 8;
    }
    while (n < most && a[n] == b[n])
        ++n;
    return n;
}

// Every Step-th position of a buffer by the hash of the Key bytes there, the
// latest first, chained: about twice the buffer's size in memory. A match
// at any position is found once the search reaches one of these.
class Positions {
public:
    static constexpr int Key = 8;
    static constexpr int Step = 4;
    static constexpr int Chain = 16;
    explicit Positions(std::int64_t size)
        : bits_(std::clamp(62 - __builtin_clzll(std::uint64_t(size | 1)), 10, 24)),
          heads_(std::size_t(1) << bits_, -1),
          next_(std::size_t(std::max<std::int64_t>(size, 0) / Step + 1)) {}
    std::uint32_t Hash(const std::uint8_t* p) const {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        return std::uint32_t((v * 0x9E3779B97F4A7C15ull) >> (64 - bits_));
    }
    // Indexes at, a multiple of Step.
    void Add(const std::uint8_t* base, std::int64_t at) {
        const std::uint32_t h = Hash(base + at);
        next_[std::size_t(at / Step)] = heads_[h];
        heads_[h] = std::int32_t(at);
    }
    // The longest match of what is at want (most bytes) among the positions
    // of base with want's hash, below limit.
    std::int64_t Best(const std::uint8_t* base, std::int64_t limit, const std::uint8_t* want,
                      std::int64_t most, std::int64_t* found) const {
        std::int64_t best = 0;
        std::int32_t at = heads_[Hash(want)];
        for (int i = 0; i < Chain && at >= 0; ++i, at = next_[std::size_t(at / Step)]) {
            const std::int64_t room = std::min(most, limit - at);
            const std::int64_t n = Agree(base + at, want, room);
            if (n > best) {
                best = n;
                *found = at;
                if (n == most)
                    break;
            }
        }
        return best;
    }

private:
    int bits_;
    std::vector<std::int32_t> heads_;
    std::vector<std::int32_t> next_;
};

// BPS's actions, each a number of its kind and length; the copies with
// their offset from where the last copy of their kind ended.
class BpsActions {
public:
    explicit BpsActions(QByteArray& out) : out_(out) {}
    void SourceRead(std::int64_t n) { Action(0, n); }
    void TargetRead(const std::uint8_t* bytes, std::int64_t n) {
        Action(1, n);
        out_.append(reinterpret_cast<const char*>(bytes), qsizetype(n));
    }
    void Copy(int kind, std::int64_t from, std::int64_t n) {
        Action(kind, n);
        std::int64_t& last = kind == 2 ? source_ : target_;
        const std::int64_t step = from - last;
        Number(out_, std::uint64_t(step < 0 ? (-step) << 1 | 1 : step << 1));
        last = from + n;
    }
    std::int64_t SourceNext() const { return source_; }

private:
    void Action(int kind, std::int64_t n) { Number(out_, std::uint64_t(n - 1) << 2 | kind); }
    QByteArray& out_;
    std::int64_t source_ = 0;
    std::int64_t target_ = 0;
};

} // namespace

// Greedy, a position of the target at a time: the source where the target
// is (SourceRead), else where the last source copy ended, else the longest
// match among the source's and the target's own earlier bytes with the
// same 8 bytes, else a byte of the patch's own.
QByteArray Bps(const Images& im, const QByteArray& metadata) {
    QByteArray out("BPS1");
    Number(out, std::uint64_t(im.sourceSize));
    Number(out, std::uint64_t(im.targetSize));
    Number(out, std::uint64_t(metadata.size()));
    out += metadata;
    const std::uint8_t* s = im.source;
    const std::uint8_t* t = im.target;
    const std::int64_t ss = im.sourceSize, ts = im.targetSize;
    Positions sourceAt(ss), targetAt(ts);
    for (std::int64_t i = 0; i + Positions::Key <= ss; i += Positions::Step)
        sourceAt.Add(s, i);
    BpsActions actions(out);
    constexpr std::int64_t MinCopy = 8, MinRead = 4;
    std::int64_t literal = -1; // where the bytes of the patch's own begin
    std::int64_t indexed = 0;  // target positions indexed so far
    auto flush = [&](std::int64_t to) {
        if (literal >= 0)
            actions.TargetRead(t + literal, to - literal);
        literal = -1;
    };
    for (std::int64_t at = 0; at < ts;) {
        const std::int64_t left = ts - at;
        const std::int64_t read = at < ss ? Agree(s + at, t + at, std::min(left, ss - at)) : 0;
        if (read >= MinRead || (read > 0 && read == left)) {
            flush(at);
            actions.SourceRead(read);
            at += read;
            continue;
        }
        std::int64_t from = 0, n = 0;
        int kind = 2;
        const std::int64_t next = actions.SourceNext();
        if (next < ss) {
            n = Agree(s + next, t + at, std::min(left, ss - next));
            from = next;
        }
        if (n < MinCopy * 4 && left >= Positions::Key) {
            std::int64_t found = 0;
            if (const std::int64_t m = sourceAt.Best(s, ss, t + at, left, &found); m > n)
                n = m, from = found;
            for (; indexed + Positions::Key <= at; indexed += Positions::Step)
                targetAt.Add(t, indexed);
            // A copy of the target may run on into what it writes (a run).
            if (const std::int64_t m = targetAt.Best(t, ts, t + at, left, &found); m > n)
                n = m, from = found, kind = 3;
        }
        if (n >= MinCopy) {
            flush(at);
            actions.Copy(kind, from, n);
            at += n;
            continue;
        }
        if (literal < 0)
            literal = at;
        ++at;
    }
    flush(ts);
    Seal(out, im);
    return out;
}

QByteArray Ups(const Images& im) {
    QByteArray out("UPS1");
    Number(out, std::uint64_t(im.sourceSize));
    Number(out, std::uint64_t(im.targetSize));
    const std::int64_t span = std::max(im.sourceSize, im.targetSize);
    auto x = [&im](std::int64_t i) {
        return std::uint8_t((i < im.sourceSize ? im.source[i] : 0) ^
                            (i < im.targetSize ? im.target[i] : 0));
    };
    // Runs of changed bytes as XORs, each after the count of bytes left as
    // they are since the last, each ended by a zero that stands for one.
    std::int64_t last = 0;
    for (std::int64_t i = 0; i < span;) {
        if (x(i) == 0) {
            ++i;
            continue;
        }
        Number(out, std::uint64_t(i - last));
        for (; i < span && x(i) != 0; ++i)
            out += char(x(i));
        out += '\0';
        last = ++i;
    }
    Seal(out, im);
    return out;
}

QByteArray Ips(const Images& im) {
    const std::int64_t ts = im.targetSize;
    if (ts > Patch::IpsReach)
        return QByteArray();
    QByteArray out("PATCH");
    auto changed = [&im](std::int64_t i) {
        return i >= im.sourceSize || im.source[i] != im.target[i];
    };
    auto record = [&out](std::int64_t at, const std::uint8_t* bytes, std::int64_t n) {
        for (int k = 2; k >= 0; --k)
            out += char(at >> (8 * k));
        out += char(n >> 8);
        out += char(n);
        out.append(reinterpret_cast<const char*>(bytes), qsizetype(n));
    };
    auto run = [&out](std::int64_t at, std::uint8_t byte, std::int64_t n) {
        for (int k = 2; k >= 0; --k)
            out += char(at >> (8 * k));
        out += '\0';
        out += '\0';
        out += char(n >> 8);
        out += char(n);
        out += char(byte);
    };
    // A span of bytes to write, as records of at most 65535 bytes, a run of
    // one byte long enough as a run-length record; none begins at the offset
    // that reads as "EOF".
    auto span = [&](std::int64_t from, std::int64_t to) {
        while (from < to) {
            if (from == 0x454F46)
                --from; // the byte before, as the target has it, goes along
            std::int64_t same = 1;
            while (from + same < to && same < 0xFFFF && im.target[from + same] == im.target[from])
                ++same;
            if (same >= 9) {
                run(from, im.target[from], same);
                from += same;
                continue;
            }
            std::int64_t end = from + 1;
            // Up to the next run worth its own record, or the limit.
            while (end < to && end - from < 0xFFFF) {
                std::int64_t r = 1;
                while (end + r < to && r < 9 && im.target[end + r] == im.target[end])
                    ++r;
                if (r >= 9)
                    break;
                ++end;
            }
            record(from, im.target + from, end - from);
            from = end;
        }
    };
    std::int64_t start = -1, lastChanged = -1;
    for (std::int64_t i = 0; i < ts; ++i) {
        if (!changed(i))
            continue;
        // Bytes left alone between two changes cost less inside one record
        // than a new record's five.
        if (start >= 0 && i - lastChanged > 6) {
            span(start, lastChanged + 1);
            start = -1;
        }
        if (start < 0)
            start = i;
        lastChanged = i;
    }
    // A target longer than its source ends with a byte written, so that
    // the image grows to it.
    if (ts > im.sourceSize && lastChanged != ts - 1) {
        if (start >= 0 && ts - 1 - lastChanged > 6) {
            span(start, lastChanged + 1);
            start = -1;
        }
        if (start < 0)
            start = ts - 1;
        lastChanged = ts - 1;
    }
    if (start >= 0)
        span(start, lastChanged + 1);
    out += "EOF";
    if (ts < im.sourceSize)
        for (int k = 2; k >= 0; --k)
            out += char(ts >> (8 * k));
    return out;
}

EngineError ReadImage(const QString& path, QByteArray* bytes) {
    return Archive::ReadWhole(path, Cartridge::MaxSourceSize, bytes);
}

EngineError Prepare(QByteArray* bytes, bool asIs, RomLayout* layout) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->constData());
    const RomInspector::ReadAt read = RomInspector::MemoryReader(data, bytes->size());
    RomInspector::Options options;
    options.fingerprints = false;
    const RomInspector::Report report = RomInspector::InspectData(read, bytes->size(), options);
    *layout = report.layout;
    if (asIs || report.layout == RomLayout::Plain || report.layout == RomLayout::Unknown)
        return {};
    QByteArray plain(qsizetype(RomInspector::PlainSizeOf(report.layout, bytes->size())),
                     Qt::Uninitialized);
    if (!RomInspector::PlainReader(read, bytes->size(), report.layout)(
            0, reinterpret_cast<std::uint8_t*>(plain.data()), plain.size()))
        return {Code::SizeUnfit, LayoutPhrase(report.layout)};
    *bytes = plain;
    return {};
}

EngineError MakeFile(const Side& original, const Side& modified, Patch::Kind kind,
                     const QByteArray& metadata, bool allowSame, const QString& output,
                     SafeFile::Existing existing, std::int64_t* written) {
    if (original.bytes == modified.bytes && !allowSame)
        return {Code::PatchRefused,
                QStringLiteral("the two images are the same: no patch is made")};
    // Never over a file it is made of.
    const SafeFile::FileId out = SafeFile::IdentityOf(output);
    for (const Side* side : {&original, &modified})
        if (out.IsValid() && side->path != QLatin1String("-") &&
            SafeFile::IdentityOf(side->path) == out)
            return {Code::PatchRefused, QStringLiteral("the patch would replace %1, which it is "
                                                       "made of")
                                            .arg(SafeFile::Quoted(side->path))};
    const Images images{
        reinterpret_cast<const std::uint8_t*>(original.bytes.constData()), original.bytes.size(),
        reinterpret_cast<const std::uint8_t*>(modified.bytes.constData()), modified.bytes.size()};
    QByteArray patch;
    if (const EngineError made = Make(kind, images, metadata, &patch); made.Failed())
        return made;
    if (const EngineError put = SafeFile::WriteFile(output, patch, existing); put.Failed())
        return put;
    *written = patch.size();
    return {};
}

EngineError Make(Patch::Kind kind, const Images& im, const QByteArray& metadata,
                 QByteArray* patch) {
    try {
        switch (kind) {
        case Patch::Kind::Bps:
            *patch = Bps(im, metadata);
            break;
        case Patch::Kind::Ups:
            *patch = Ups(im);
            break;
        case Patch::Kind::Ips:
            *patch = Ips(im);
            if (patch->isEmpty())
                return {Code::PatchRefused,
                        QStringLiteral("an IPS patch reaches 16 MiB, and the modified image is "
                                       "%1 bytes: make a BPS patch (--format bps)")
                            .arg(im.targetSize)};
            break;
        case Patch::Kind::Vcdiff:
            return {Code::PatchRefused,
                    QStringLiteral("VCDIFF patches are applied, not made: make a BPS patch")};
        }
        // Read back and applied to its source: a patch that does not give the
        // target is never handed over.
        Patch::Description d;
        std::vector<std::uint8_t> made;
        if (const QString why = Patch::Describe(*patch, &d); !why.isEmpty())
            return {Code::PatchRefused, QStringLiteral("the patch made cannot be read: ") + why};
        const EngineError applied = Patch::Apply(
            *patch, d, RomInspector::MemoryReader(im.source, im.sourceSize), im.sourceSize, &made);
        if (applied.Failed() || std::int64_t(made.size()) != im.targetSize ||
            (im.targetSize > 0 && std::memcmp(made.data(), im.target, made.size()) != 0))
            return {Code::PatchRefused,
                    QStringLiteral("the patch made does not give back the modified image")};
    } catch (const std::bad_alloc&) {
        patch->clear();
        return Code::ConvertMemory;
    }
    return {};
}

} // namespace PatchMaker
