#include "Mod_Convert.h"

#include "Archive.h"
#include "FileFunctions.h"
#include "Interleave.h"
#include "PlainStream.h"
#include "SafeFile.h"
#include "WorkerPool.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace Mod_Convert {

namespace {

using Cartridge::BlockSize;
using Cartridge::HalfBlock;
using Cartridge::Piece;
using Cartridge::SmdHeaderSize;

void WriteSmdHeader(std::uint8_t* header, std::int64_t blocks) {
    std::memset(header, 0, SmdHeaderSize);
    header[0] = FileFunctions::SmdHeaderBlocks(blocks);
    header[1] = 0x03;
    header[2] = 0x00;
    header[8] = 0xAA;
    header[9] = 0xBB;
    header[10] = 0x06;
}

} // namespace

namespace {

bool Converts(RomLayout layout) {
    return layout != RomLayout::Unknown;
}

} // namespace

namespace {

// The size rules of a conversion on a source's length, and the sizes of the
// image it converts (without an SMD header it drops) and of its result.
EngineError Sizes(RomLayout from, RomLayout to, std::int64_t length, std::int64_t* payload,
                  std::int64_t* targetSize) {
    if (!SizeAllowed(from, to, length))
        return SizeRefused(from, to);
    if (Cartridge::HeaderOnly(from, length))
        return {EngineError::Code::HeaderOnly};
    // The limit is on the image itself, so an SMD image of the largest plain
    // image converts back.
    const bool smdSource = from == RomLayout::Smd && to != RomLayout::Smd;
    *payload = smdSource ? length - SmdHeaderSize : length;
    if (*payload > MaxImageSize + (from == to && from == RomLayout::Smd ? SmdHeaderSize : 0))
        return TooLarge();
    *targetSize = to == RomLayout::Smd && from != to ? *payload + SmdHeaderSize : *payload;
    return {};
}

} // namespace

EngineError SizeRefused(RomLayout from, RomLayout to) {
    return {EngineError::Code::SizeRule, SizeRule(from, to)};
}

EngineError TooLarge() {
    return {EngineError::Code::ImageTooLarge, QString::number(MaxImageSize >> 20)};
}

EngineError Converter::OpenInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                                const QString& destination, SafeFile::Existing existing,
                                SafeFile::Writer& writer) {
    if (!Converts(from) || !Converts(to))
        return {EngineError::Code::UnknownMode};
    const std::int64_t length = in.Size();
    // Refused by the conversion's size rule before any of it is read.
    std::int64_t payload = 0;
    std::int64_t targetSize = 0;
    if (length != 0)
        if (const EngineError sized = Sizes(from, to, length, &payload, &targetSize);
            sized.Failed())
            return sized;
    if (length == 0)
        return {EngineError::Code::Empty};
    if (length > MaxSourceSize)
        return TooLarge();
    if (!writer.Open(destination, existing))
        return writer.Error();
    return {};
}

// Converts a source file piece by piece into a writer, so that memory stays
// a few pieces whatever the image's size. The content goes to a temporary
// file that takes the destination's name only when committed, so a
// destination that is the source itself converts in place.
EngineError Converter::StreamInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                                  SafeFile::Writer& writer, QCryptographicHash* plainSha) {
    int error = 0;
    const EngineError result = Pour(
        from, to, in,
        [&writer](std::int64_t offset, const std::uint8_t* data, std::int64_t bytes) {
            return writer.WriteAt(offset, data, bytes);
        },
        false, plainSha, &error);
    if (error)
        return writer.FailWrite(error), writer.Error();
    return result;
}

EngineError Converter::ZipInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                               const QString& name, std::int64_t mtime, SafeFile::Writer& writer) {
    std::int64_t payload = 0;
    std::int64_t targetSize = 0;
    if (const EngineError sized = Sizes(from, to, in.Size(), &payload, &targetSize); sized.Failed())
        return sized;
    EngineError result;
    const EngineError zipped =
        Archive::ZipInto(name, targetSize, mtime, writer, [&](const Archive::PutPiece& put) {
            int error = 0;
            result = Pour(
                from, to, in,
                [&put](std::int64_t, const std::uint8_t* data, std::int64_t bytes) {
                    return put(reinterpret_cast<const char*>(data), bytes) ? 0 : EIO;
                },
                true, nullptr, &error);
            return !result.Failed();
        });
    if (zipped.Failed())
        return {EngineError::Code::WriteFailed, zipped.Text()};
    return result;
}

EngineError
Converter::StreamTo(RomLayout from, RomLayout to, const SafeFile::Source& in,
                    const std::function<bool(const char* data, std::int64_t size)>& take) {
    int error = 0;
    const EngineError result = Pour(
        from, to, in,
        [&take](std::int64_t, const std::uint8_t* data, std::int64_t bytes) {
            return take(reinterpret_cast<const char*>(data), bytes) ? 0 : EPIPE;
        },
        true, nullptr, &error);
    if (error)
        return {EngineError::Code::WriteFailed,
                QStringLiteral("standard output cannot be written")};
    return result;
}

// Converts a source file piece by piece, so that memory stays a few pieces
// whatever the image's size, handing each converted piece to put with its
// offset in the result: an SMD image's blocks after its header, an MD
// image's odd bytes to its first half and even ones to its second. A large
// image is shared between two threads, piece by piece, unless its plain
// content is being fingerprinted or the result is taken in order; taken in
// order, an MD image takes two passes over the source. error: the first
// error put gave.
namespace {

// One pass of a streamed conversion: pieces of the plain content taken in
// turn (by one thread, or by this one and a helper), arranged in the target
// layout and put where they go.
class Pass {
public:
    using Put = std::function<int(std::int64_t, const std::uint8_t*, std::int64_t)>;
    Pass(const RomInspector::ReadAt& read, std::int64_t length, RomLayout from, RomLayout to,
         std::int64_t payload, std::int64_t piece, const Put& put, QCryptographicHash* plainSha)
        : read_(read), length_(length), from_(from), to_(to), payload_(payload), piece_(piece),
          put_(put), plainSha_(plainSha) {}

    // Takes pieces until none is left; halves: which halves of an MD image
    // this pass puts (1 the first, 2 the second, 3 both).
    void Run(std::vector<std::uint8_t>* buffers, int halves) {
        std::vector<std::uint8_t>& plain = buffers[0];
        std::vector<std::uint8_t>& out = buffers[1];
        const std::size_t size = std::size_t(std::min(piece_, payload_));
        plain.resize(std::max(plain.size(), size));
        if (to_ == RomLayout::Smd || to_ == RomLayout::Md)
            out.resize(std::max(out.size(), size));
        RomInspector::PlainStream stream(read_, length_, from_, &buffers[2]);
        for (;;) {
            const std::int64_t offset = next_.fetch_add(piece_);
            if (offset >= payload_ || putError_ || unreadable_)
                return;
            const std::int64_t n = std::min(piece_, payload_ - offset);
            if (!stream.Get(offset, plain.data(), n)) {
                unreadable_ = true;
                return;
            }
            if (plainSha_ && halves & 1)
                plainSha_->addData(QByteArrayView(plain.data(), n));
            if (const int failed = Arrange(offset, n, plain.data(), out.data(), halves)) {
                int none = 0;
                putError_.compare_exchange_strong(none, failed);
                return;
            }
        }
    }
    // From the first piece again.
    void Rewind() { next_ = 0; }
    int PutError() const { return putError_; }
    bool Unreadable() const { return unreadable_; }

private:
    int Arrange(std::int64_t offset, std::int64_t n, std::uint8_t* plain, std::uint8_t* out,
                int halves) const {
        switch (to_) {
        case RomLayout::Byteswapped:
            Interleave::SwapWords(plain, std::size_t(n));
            return put_(offset, plain, n);
        case RomLayout::Smd:
            for (std::int64_t at = 0; at < n; at += BlockSize)
                Interleave::Split(plain + at, out + at, out + at + HalfBlock, HalfBlock);
            // Whole blocks, after the copier header.
            return put_(Cartridge::FileOffset(to_, offset + 1, payload_ + SmdHeaderSize), out, n);
        case RomLayout::Md: {
            Interleave::Split(plain, out, out + n / 2, std::size_t(n / 2));
            int failed =
                halves & 1 ? put_(Cartridge::FileOffset(to_, offset + 1, payload_), out, n / 2) : 0;
            if (!failed && halves & 2)
                failed = put_(Cartridge::FileOffset(to_, offset, payload_), out + n / 2, n / 2);
            return failed;
        }
        case RomLayout::Plain:
        case RomLayout::Unknown:
            break;
        }
        return put_(offset, plain, n);
    }

    const RomInspector::ReadAt& read_;
    const std::int64_t length_;
    const RomLayout from_;
    const RomLayout to_;
    const std::int64_t payload_;
    const std::int64_t piece_;
    const Put& put_;
    QCryptographicHash* const plainSha_;
    std::atomic<std::int64_t> next_{0};
    std::atomic<int> putError_{0};
    std::atomic<bool> unreadable_{false};
};

} // namespace

WorkerPool& Converter::Helpers() {
    if (helpers_)
        return *helpers_;
    if (!ownHelpers_)
        ownHelpers_ = std::make_unique<WorkerPool>(std::max(1, SafeFile::Cores() - 1));
    return *ownHelpers_;
}

// A byte copy; the plain content is read apart when it is asked for and
// the bytes are not it. The pieces' buffers are kept for the next file.
EngineError Converter::Copy(RomLayout layout, const SafeFile::Source& in, const Put& put,
                            QCryptographicHash* plainSha, int* error) {
    const std::int64_t length = in.Size();
    std::vector<std::uint8_t>& plain = pieces_[0];
    plain.resize(std::max(plain.size(), std::size_t(std::min(Piece, length))));
    for (std::int64_t offset = 0; offset < length;) {
        const std::int64_t n = std::min(Piece, length - offset);
        if (!in.ReadAt(offset, plain.data(), n))
            return {EngineError::Code::ReadFailed};
        if ((*error = put(offset, plain.data(), n)))
            return {EngineError::Code::WriteFailed};
        if (plainSha && layout == RomLayout::Plain)
            plainSha->addData(QByteArrayView(plain.data(), n));
        offset += n;
    }
    if (plainSha && layout != RomLayout::Plain) {
        const RomInspector::ReadAt read = RomInspector::ReaderOf(in);
        RomInspector::PlainStream stream(read, length, layout, &pieces_[2]);
        for (std::int64_t offset = 0; offset < stream.PlainSize();) {
            const std::int64_t n = std::min(Piece, stream.PlainSize() - offset);
            if (!stream.Get(offset, plain.data(), n))
                return {EngineError::Code::ReadFailed};
            plainSha->addData(QByteArrayView(plain.data(), n));
            offset += n;
        }
    }
    return in.Unchanged() ? EngineError() : EngineError(EngineError::Code::Changed);
}

EngineError Converter::Pour(RomLayout from, RomLayout to, const SafeFile::Source& in,
                            const Put& put, bool inOrder, QCryptographicHash* plainSha,
                            int* error) {
    const std::int64_t length = in.Size();
    std::int64_t payload = 0;
    std::int64_t targetSize = 0;
    if (const EngineError sized = Sizes(from, to, length, &payload, &targetSize); sized.Failed())
        return sized;
    if (from == to)
        return Copy(from, in, put, plainSha, error);
    if (to == RomLayout::Smd) {
        std::uint8_t header[SmdHeaderSize];
        WriteSmdHeader(header, payload / BlockSize);
        if ((*error = put(0, header, SmdHeaderSize)))
            return {EngineError::Code::WriteFailed};
    }
    const bool shared = !plainSha && !inOrder && payload >= shareFrom_;
    // Shared, at least four pieces of whole blocks.
    const std::int64_t piece =
        shared ? std::clamp((payload / 4 + BlockSize - 1) / BlockSize * BlockSize, BlockSize, Piece)
               : Piece;
    const RomInspector::ReadAt read = RomInspector::ReaderOf(in);
    Pass pass(read, length, from, to, payload, piece, put, plainSha);
    if (inOrder && to == RomLayout::Md) {
        pass.Run(pieces_, 1);
        pass.Rewind();
        pass.Run(pieces_, 2);
    } else {
        // A helper takes pieces when one is free at once; the rest is done
        // here.
        Semaphore helped(0);
        const bool helping = shared && Helpers().TryStart([this, &pass, &helped] {
            pass.Run(helperPieces_, 3);
            helped.Release();
        });
        pass.Run(pieces_, 3);
        if (helping)
            helped.Acquire();
    }
    if ((*error = pass.PutError()))
        return {EngineError::Code::WriteFailed};
    if (pass.Unreadable())
        return {EngineError::Code::ReadFailed};
    return in.Unchanged() ? EngineError() : EngineError(EngineError::Code::Changed);
}

} // namespace Mod_Convert
