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

// A working array that keeps its storage between conversions and grows when
// a larger file comes along.
struct ByteArray {
    struct Free {
        void operator()(std::uint8_t* memory) const;
    };
    std::unique_ptr<std::uint8_t, Free> data;
    std::int64_t size = 0;
    std::int64_t capacity = 0;

    bool Resize(std::int64_t bytes);
    void Release();
};

// The four converters: true once the destination holds the converted bytes.
bool ConvertSMDtoBIN(const QString& source, const QString& destination);
bool ConvertBINtoSMD(const QString& source, const QString& destination);
bool ConvertMDtoBIN(const QString& source, const QString& destination);
bool ConvertBINtoMD(const QString& source, const QString& destination);

// Rearranges payload bytes of a source (an SMD source without its header) into
// the target layout of a mode; a BIN to SMD target starts with its header.
void Rearrange(std::int32_t mode, const std::uint8_t* source, std::uint8_t* target,
               std::int64_t payload);

// The result that a source which cannot be opened gives.
ConversionResult FromSourceError(SafeFile::SourceError error);

// What the converted bytes become before they are written (a .zip holding
// them, say), or what went wrong.
using Wrap = std::function<EngineError(const char* data, std::int64_t size, QByteArray* wrapped)>;

// Converts files one at a time. It keeps its two working arrays between
// conversions (they grow when a larger file comes along), and the wording of
// why the last conversion failed where the result alone does not say it.
// Its caller owns it; one converter serves one thread.
class Converter {
public:
    // One conversion by mode. An entry at the destination's name is replaced
    // unless existing says to keep it.
    ConversionResult Convert(std::int32_t mode, const QString& source, const QString& destination,
                             SafeFile::Existing existing = SafeFile::Existing::Replace);

    // Converts between any two known layouts: the source is turned into a
    // plain image and that into the target layout. The same layout on both
    // sides writes a byte copy.
    ConversionResult ConvertLayout(RomLayout from, RomLayout to, const QString& source,
                                   const QString& destination,
                                   SafeFile::Existing existing = SafeFile::Existing::Replace);

    // The same in two steps, for a caller that looks at the bytes in
    // between: the source read whole (refused by its size before it is
    // read, and when it changes while it is read); then those bytes
    // converted from a layout, as ConvertLayout would. The second step
    // changes the bytes loaded. An archive is read as its one cartridge
    // image.
    ConversionResult LoadSource(const QString& source, std::int64_t* length);
    // The same for bytes already in memory, as an archive's entry.
    ConversionResult LoadBytes(const QByteArray& bytes, std::int64_t* length);
    ConversionResult ConvertLoaded(RomLayout from, RomLayout to, std::int64_t length,
                                   const QString& destination, SafeFile::Existing existing,
                                   SafeFile::Writer& writer, const Wrap& wrap = {});

    // A source already open, read in pieces, never whole, and refused when
    // it changes meanwhile; in two steps, so that the second may run on
    // another thread (with a converter of its own): the source checked
    // against the conversion and the writer opened; then the content
    // streamed into it.
    // plainSha, when given, is fed the source's plain content on the way.
    ConversionResult OpenInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                              const QString& destination, SafeFile::Existing existing,
                              SafeFile::Writer& writer);
    ConversionResult StreamInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                                SafeFile::Writer& writer, QCryptographicHash* plainSha = nullptr);

    // The same from a source already open, read in pieces, the converted
    // bytes handed to take in order instead of a writer (standard output);
    // take says whether it could take them all.
    ConversionResult StreamTo(RomLayout from, RomLayout to, const SafeFile::Source& in,
                              const std::function<bool(const char* data, std::int64_t size)>& take);

    // The same, handing the converted bytes to take instead of a writer
    // (standard output); take says whether it could take them all.
    ConversionResult
    ConvertLoadedTo(RomLayout from, RomLayout to, std::int64_t length,
                    const std::function<bool(const char* data, std::int64_t size)>& take);

    // The bytes loaded, and the size of the last converted result.
    const std::uint8_t* Loaded() const { return source_.data.get(); }
    std::int64_t ConvertedSize() const { return target_.size; }
    // Why the last conversion failed, in words, where the result does not
    // say it all (a write that failed, an archive refused); or nothing.
    const QString& Detail() const { return detail_; }
    // From which size on a streamed image is shared with a helper thread:
    // small for a caller that converts one file at a time, large for one
    // that already converts several at once.
    void ShareFrom(std::int64_t bytes) { shareFrom_ = bytes; }
    // The threads that help convert a large image: the caller's, shared by
    // its converters; without them the converter starts its own when it
    // first needs one, one a core but this one.
    void ShareHelpers(WorkerPool* helpers) { helpers_ = helpers; }

private:
    // ConvertLayout, leaving the converted bytes in a writer that is open but not
    // committed, so that the caller can commit many files together.
    // Converted then means only that the writer holds the whole content.
    ConversionResult ConvertLayoutInto(RomLayout from, RomLayout to, const QString& source,
                                       const QString& destination, SafeFile::Existing existing,
                                       SafeFile::Writer& writer);

    // The same for a source already open: read in pieces, never whole, and
    // refused when it changes meanwhile.
    ConversionResult ConvertSourceInto(RomLayout from, RomLayout to, const SafeFile::Source& in,
                                       const QString& destination, SafeFile::Existing existing,
                                       SafeFile::Writer& writer);
    // Reads a source whole; with known layouts, its size is held against
    // the conversion's rule before any of it is read.
    ConversionResult Load(const QString& source, std::int64_t* length, RomLayout from,
                          RomLayout to);
    ConversionResult WriteFailure(const SafeFile::Writer& writer);
    ConversionResult Room(std::int64_t length);
    ConversionResult ReadWhole(const SafeFile::Source& in, std::int64_t bytes);
    ConversionResult Ready(RomLayout from, RomLayout to, std::int64_t length, std::int64_t* payload,
                           std::int64_t* targetSize);
    ConversionResult Arrange(RomLayout from, RomLayout to, std::int64_t payload,
                             std::int64_t targetSize, const ByteArray** result);
    ConversionResult Transform(RomLayout from, RomLayout to, std::int64_t payload,
                               std::int64_t targetSize, const QString& destination,
                               SafeFile::Existing existing, SafeFile::Writer& writer,
                               const Wrap& wrap = {});

    using Put =
        std::function<int(std::int64_t offset, const std::uint8_t* data, std::int64_t bytes)>;
    ConversionResult Copy(RomLayout layout, const SafeFile::Source& in, const Put& put,
                          QCryptographicHash* plainSha, int* error);
    WorkerPool& Helpers();
    ConversionResult Pour(RomLayout from, RomLayout to, const SafeFile::Source& in, const Put& put,
                          bool inOrder, QCryptographicHash* plainSha, int* error);

    ByteArray source_; // the source as read
    ByteArray target_; // the target as it will be written
    // A streamed conversion's pieces: plain, arranged, and as read.
    std::vector<std::uint8_t> pieces_[3];
    // The helper's, while it helps with one image.
    std::vector<std::uint8_t> helperPieces_[3];
    WorkerPool* helpers_ = nullptr;
    std::unique_ptr<WorkerPool> ownHelpers_;
    std::int64_t shareFrom_ = std::int64_t(1) << 20;
    QString detail_;
};

// One conversion with a converter of its own, for callers that keep none.
ConversionResult Convert(std::int32_t mode, const QString& source, const QString& destination,
                         SafeFile::Existing existing = SafeFile::Existing::Replace);
ConversionResult ConvertLayout(RomLayout from, RomLayout to, const QString& source,
                               const QString& destination,
                               SafeFile::Existing existing = SafeFile::Existing::Replace);

} // namespace Mod_Convert
