#include "Mod_Convert.h"

#include "FileFunctions.h"
#include "Interleave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cstdlib>
#include <cstring>

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#endif

namespace Mod_Convert {

ByteArray SourceBytes;
ByteArray TargetBytes;

namespace {

// Large working arrays are backed by huge pages where the system offers them:
// filling a fresh array then costs a few hundred page faults instead of one
// per 4 KiB.
constexpr std::size_t HugePage = std::size_t(2) << 20;

std::uint8_t* Allocate(std::int64_t bytes) {
#if defined(Q_OS_LINUX)
    if (std::size_t(bytes) >= HugePage) {
        const std::size_t rounded = (std::size_t(bytes) + HugePage - 1) / HugePage * HugePage;
        void* memory = std::aligned_alloc(HugePage, rounded);
        if (memory)
            ::madvise(memory, rounded, MADV_HUGEPAGE);
        return static_cast<std::uint8_t*>(memory);
    }
#endif
    return static_cast<std::uint8_t*>(std::malloc(std::size_t(bytes) ? std::size_t(bytes) : 1));
}

} // namespace

void ByteArray::Free::operator()(std::uint8_t* memory) const {
    std::free(memory);
}

bool ByteArray::Resize(std::int64_t bytes) {
    if (bytes > capacity) {
        Release();
        data.reset(Allocate(bytes));
        if (!data)
            return false;
        capacity = bytes;
    }
    size = bytes;
    return true;
}

void ByteArray::Release() {
    data.reset();
    size = 0;
    capacity = 0;
}

namespace {

using FileFunctions::BlockSize;
using FileFunctions::SmdHeaderSize;
constexpr std::size_t HalfBlock = BlockSize / 2;

bool ReadFully(QFile& file, std::uint8_t* into, std::int64_t bytes) {
    while (bytes > 0) {
        const qint64 got = file.read(reinterpret_cast<char*>(into), bytes);
        if (got <= 0)
            return false;
        into += got;
        bytes -= got;
    }
    return true;
}

bool WriteAll(QFileDevice& out) {
    const char* from = reinterpret_cast<const char*>(TargetBytes.data.get());
    std::int64_t left = TargetBytes.size;
    while (left > 0) {
        const qint64 put = out.write(from, left);
        if (put <= 0)
            return false;
        from += put;
        left -= put;
    }
    return out.flush();
}

// An existing destination (possibly the source itself) is replaced only once
// the new content is completely written and on disk, so a failed write leaves
// the old file intact.
bool ReplaceDestination(const QString& destination) {
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (!WriteAll(out)) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

// No old file is at stake: the content is written under a temporary name
// beside the destination and then given its name, so nobody ever sees half a
// file. The rename refuses to replace a file that appeared in the meantime.
bool CreateDestination(const QString& destination) {
    const QFileInfo info(destination);
    const QDir folder = info.absoluteDir();
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString name = QStringLiteral(".%1.kestrix-%2")
                                 .arg(info.fileName())
                                 .arg(QRandomGenerator::global()->generate(), 0, 36);
        QFile temp(folder.filePath(name));
        if (!temp.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(temp.fileName()))
                continue;
            return false;
        }
        const bool written = WriteAll(temp);
        temp.close();
        if (written && temp.error() == QFileDevice::NoError && temp.rename(destination))
            return true;
        temp.remove();
        return false;
    }
    return false;
}

bool WriteDestination(const QString& destination) {
    return QFileInfo::exists(destination) ? ReplaceDestination(destination)
                                          : CreateDestination(destination);
}

void WriteSmdHeader(std::uint8_t* header, std::int64_t blocks) {
    std::memset(header, 0, SmdHeaderSize);
    header[0] = blocks <= 255 ? static_cast<std::uint8_t>(blocks) : 0;
    header[1] = 0x03;
    header[2] = 0x00;
    header[8] = 0xAA;
    header[9] = 0xBB;
    header[10] = 0x06;
}

} // namespace

void Rearrange(std::int32_t mode, const std::uint8_t* src, std::uint8_t* dst,
               std::int64_t payload) {
    switch (mode) {
    case SMDtoBIN:
        for (std::int64_t base = 0; base < payload; base += BlockSize)
            Interleave::Join(src + base, src + base + HalfBlock, dst + base, HalfBlock);
        break;
    case BINtoSMD:
        WriteSmdHeader(dst, payload / BlockSize);
        for (std::int64_t base = 0; base < payload; base += BlockSize) {
            std::uint8_t* block = dst + SmdHeaderSize + base;
            Interleave::Split(src + base, block, block + HalfBlock, HalfBlock);
        }
        break;
    case MDtoBIN:
        Interleave::Join(src, src + payload / 2, dst, static_cast<std::size_t>(payload / 2));
        break;
    case BINtoMD:
        Interleave::Split(src, dst, dst + payload / 2, static_cast<std::size_t>(payload / 2));
        break;
    }
}

ConversionResult Convert(std::int32_t mode, const QString& source, const QString& destination) {
    if (mode < SMDtoBIN || mode > BINtoMD)
        return ConversionResult::UnknownMode;

    QFile in(source);
    if (source.isEmpty() || !QFileInfo::exists(source))
        return ConversionResult::SourceMissing;
    if (QFileInfo(source).isDir() || !in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return ConversionResult::SourceUnreadable;

    const std::int64_t length = in.size();
    if (length == 0)
        return ConversionResult::SourceEmpty;
    const bool smdSource = mode == SMDtoBIN;
    if (smdSource ? !FileFunctions::IsValidSMDLength(length)
                  : !FileFunctions::IsValidBINLength(length))
        return ConversionResult::SizeRefused;
    if (smdSource && length == SmdHeaderSize)
        return ConversionResult::HeaderOnly;
    if (length > MaxImageSize)
        return ConversionResult::TooLarge;

    const std::int64_t payload = smdSource ? length - SmdHeaderSize : length;
    const std::int64_t targetSize = mode == BINtoSMD ? payload + SmdHeaderSize : payload;
    if (!SourceBytes.Resize(payload) || !TargetBytes.Resize(targetSize)) {
        SourceBytes.Release();
        TargetBytes.Release();
        return ConversionResult::OutOfMemory;
    }

    // The source is read whole and closed before the destination is touched,
    // so a destination that is the source itself converts in place.
    if ((smdSource && !in.seek(SmdHeaderSize)) || !ReadFully(in, SourceBytes.data.get(), payload))
        return ConversionResult::SourceUnreadable;
    in.close();

    Rearrange(mode, SourceBytes.data.get(), TargetBytes.data.get(), payload);

    return WriteDestination(destination) ? ConversionResult::Converted
                                         : ConversionResult::DestinationUnwritable;
}

bool ConvertSMDtoBIN(const QString& source, const QString& destination) {
    return Convert(SMDtoBIN, source, destination) == ConversionResult::Converted;
}

bool ConvertBINtoSMD(const QString& source, const QString& destination) {
    return Convert(BINtoSMD, source, destination) == ConversionResult::Converted;
}

bool ConvertMDtoBIN(const QString& source, const QString& destination) {
    return Convert(MDtoBIN, source, destination) == ConversionResult::Converted;
}

bool ConvertBINtoMD(const QString& source, const QString& destination) {
    return Convert(BINtoMD, source, destination) == ConversionResult::Converted;
}

} // namespace Mod_Convert
