#include "PlainDigest.h"

#include "Cartridge.h"
#include "Interleave.h"
#include "PlainStream.h"
#include "SafeFile.h"
#include "Sha1.h"
#include "WorkerPool.h"

#include <QCryptographicHash>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace RomInspector {

namespace {

using Cartridge::HeaderEnd;
// The plain content is produced in pieces of this size (a whole number of
// SMD blocks), so memory stays small whatever the file size.
constexpr std::int64_t Piece = 1 << 20;

// The fingerprints of a content fed to them piece by piece: SHA-1 and CRC32
// on a helper, where there are helpers, while this thread does MD5, the
// slowest; or without MD5 all on this thread; or the SHA-1 alone.
class Fingerprints {
public:
    Fingerprints(WorkerPool* helpers, bool sha1Only, bool md5)
        : helpers_(md5 ? helpers : nullptr), sha1Only_(sha1Only), md5Too_(md5 && !sha1Only) {}
    void Add(const std::uint8_t* piece, std::int64_t bytes) {
        const auto others = [this, piece, bytes] {
            sha1_.Add(piece, std::size_t(bytes));
            if (!sha1Only_)
                crc_ = crc32_z(crc_, piece, std::size_t(bytes));
        };
        const QByteArrayView data(reinterpret_cast<const char*>(piece), bytes);
        if (sha1Only_) {
            others();
        } else if (helpers_) {
            Semaphore done(0);
            helpers_->Start([&others, &done] {
                others();
                done.Release();
            });
            md5_.addData(data);
            done.Acquire();
        } else {
            others();
            if (md5Too_)
                md5_.addData(data);
        }
    }
    void Into(Digest& digest) {
        digest.crc32 = QStringLiteral("%1").arg(std::uint32_t(crc_), 8, 16, QLatin1Char('0'));
        if (md5Too_)
            digest.md5 = QString::fromLatin1(md5_.result().toHex());
        digest.sha1 = QString::fromLatin1(sha1_.HexResult());
    }

private:
    WorkerPool* helpers_;
    const bool sha1Only_;
    const bool md5Too_;
    QCryptographicHash md5_{QCryptographicHash::Md5};
    Sha1Hash sha1_;
    uLong crc_ = crc32_z(0, nullptr, 0);
};

} // namespace

Digest ReadPlain(const ReadAt& read, std::int64_t size, RomLayout layout, bool fingerprints,
                 const Options& options, std::int64_t declaredEnd, bool sha1Only) {
    const std::atomic<bool>* cancel = options.cancel;
    Digest digest;
    PlainStream stream(read, size, layout);
    const std::int64_t total = stream.PlainSize();
    std::vector<std::uint8_t> piece(std::size_t(std::min(Piece, std::max<std::int64_t>(total, 2))));
    Fingerprints prints(options.helpers, sha1Only, options.md5);
    std::uint64_t sum = 0;
    std::uint64_t declaredSum = 0;
    const bool declared = declaredEnd > HeaderEnd && declaredEnd < total && declaredEnd % 2 == 0;
    int tailByte = -1;
    for (std::int64_t offset = 0; offset < total; offset += Piece) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return digest;
        const std::int64_t bytes = std::min(Piece, total - offset);
        if (!stream.Get(offset, piece.data(), bytes))
            return digest;
        // Words from 0x200 on; the pieces start at even offsets.
        const std::int64_t from = std::min(std::max<std::int64_t>(HeaderEnd - offset, 0), bytes);
        const std::uint64_t pieceSum =
            Interleave::WordSum(piece.data() + from, std::size_t(bytes - from));
        sum += pieceSum;
        if (declared) {
            const std::int64_t end = std::clamp<std::int64_t>(declaredEnd - offset, from, bytes);
            declaredSum += end == bytes
                               ? pieceSum
                               : Interleave::WordSum(piece.data() + from, std::size_t(end - from));
            if (end < bytes) {
                if (tailByte < 0)
                    tailByte = piece[std::size_t(end)];
                digest.tailUniform =
                    digest.tailUniform &&
                    std::all_of(piece.begin() + end, piece.begin() + bytes,
                                [tailByte](std::uint8_t b) { return b == tailByte; });
            }
        }
        if (fingerprints)
            prints.Add(piece.data(), bytes);
    }
    digest.ok = true;
    digest.checksum = std::uint16_t(sum);
    digest.declaredChecksum = std::uint16_t(declaredSum);
    if (fingerprints)
        prints.Into(digest);
    return digest;
}

Sha1 PlainSha1(const ReadAt& read, std::int64_t size, RomLayout layout) {
    using Code = EngineError::Code;
    if (layout != RomLayout::Plain && !Cartridge::SizeFits(layout, size))
        return {QString(), {Code::SizeUnfit, LayoutPhrase(layout)}};
    const Digest digest = ReadPlain(read, size, layout, true, Options(), 0, true);
    if (!digest.ok)
        return {QString(), {Code::ReadFailed}};
    return {digest.sha1, {}};
}

Sha1 PlainSha1(const QString& path, RomLayout layout) {
    using Code = EngineError::Code;
    const SafeFile::Source source(path);
    if (!source.IsOpen())
        return {QString(), source.Error()};
    Sha1 sha1 = PlainSha1(ReaderOf(source), source.Size(), layout);
    if (!sha1.hex.isEmpty() && !source.Unchanged())
        return {QString(), {Code::Changed}};
    return sha1;
}

ReadAt MemoryReader(const std::uint8_t* data, std::int64_t size) {
    return [data, size](std::int64_t offset, void* into, std::int64_t bytes) {
        if (offset < 0 || bytes < 0 || offset > size || bytes > size - offset)
            return false;
        // Nothing to copy may come with no place to copy it to.
        if (bytes > 0)
            std::memcpy(into, data + offset, std::size_t(bytes));
        return true;
    };
}

} // namespace RomInspector
