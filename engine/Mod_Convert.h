#pragma once

#include "Cartridge.h"
#include "ConversionMode.h"
#include "FileFunctions.h"
#include "RomLayout.h"
#include "SafeFile.h"
#include "WorkerPool.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCryptographicHash;

namespace Mod_Convert {

using Cartridge::MaxImageSize;
using Cartridge::MaxSourceSize;
using Cartridge::SizeAllowed;
using Cartridge::SizeRule;

// A conversion's refusals of a size its rule does not allow, and of an
// image larger than the largest it converts.
EngineError SizeRefused(RomLayout from, RomLayout to);
EngineError TooLarge();

// Converts files one at a time, every source read, converted and written in
// pieces. It keeps its working arrays (the pieces' buffers) between
// conversions. Its caller owns it; one converter serves one thread. Each
// call answers why the conversion did not happen, or nothing (None) once it
// did; on a failure the destination is exactly as it was.
class Converter {
public:
    // A source already open, read in pieces, never whole, and refused when
    // it changes meanwhile; in two steps, so that the second may run on
    // another thread (with a converter of its own): the source checked
    // against the conversion and the writer opened; then the content
    // streamed into it.
    // plainSha, when given, is fed the source's plain content on the way.
    EngineError OpenInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                         const QString& destination, SafeFile::Existing existing,
                         SafeFile::Writer& writer);
    EngineError StreamInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                           SafeFile::Writer& writer, QCryptographicHash* plainSha = nullptr);

    // The same, the converted bytes written in order into the writer as the
    // one file of a .zip of that name and date (seconds since 1970, or 0).
    EngineError ZipInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                        const QString& name, std::int64_t mtime, SafeFile::Writer& writer);

    // The same from a source already open, read in pieces, the converted
    // bytes handed to take in order instead of a writer (standard output);
    // take says whether it could take them all.
    EngineError StreamTo(RomLayout from, RomLayout to, const SafeFile::Source& in,
                         const std::function<bool(const char* data, std::int64_t size)>& take);

    // From which size on a streamed image is shared with a helper thread:
    // small for a caller that converts one file at a time, large for one
    // that already converts several at once.
    void ShareFrom(std::int64_t bytes) { shareFrom_ = bytes; }
    // The threads that help convert a large image: the caller's, shared by
    // its converters; without them the converter starts its own when it
    // first needs one, one a core but this one.
    void ShareHelpers(WorkerPool* helpers) { helpers_ = helpers; }

private:
    using Put =
        std::function<int(std::int64_t offset, const std::uint8_t* data, std::int64_t bytes)>;
    EngineError Copy(RomLayout layout, const SafeFile::Source& in, const Put& put,
                     QCryptographicHash* plainSha, int* error);
    WorkerPool& Helpers();
    EngineError Pour(RomLayout from, RomLayout to, const SafeFile::Source& in, const Put& put,
                     bool inOrder, QCryptographicHash* plainSha, int* error);

    // A streamed conversion's pieces: plain, arranged, and as read.
    std::vector<std::uint8_t> pieces_[3];
    // The helper's, while it helps with one image.
    std::vector<std::uint8_t> helperPieces_[3];
    WorkerPool* helpers_ = nullptr;
    std::unique_ptr<WorkerPool> ownHelpers_;
    std::int64_t shareFrom_ = std::int64_t(1) << 20;
};

} // namespace Mod_Convert
