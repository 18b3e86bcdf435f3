#pragma once

#include "Patch.h"
#include "SafeFile.h"

#include <QByteArray>

#include <cstdint>

// Patches made from two images: the smallest of each format this program
// knows how to find, each read back and applied to its source before it is
// handed over.
namespace PatchMaker {

struct Images {
    const std::uint8_t* source = nullptr;
    std::int64_t sourceSize = 0;
    const std::uint8_t* target = nullptr;
    std::int64_t targetSize = 0;
};

// A patch of kind (IPS, BPS or UPS; metadata goes into a BPS) that turns the
// source into the target; why not: an IPS reaches 16 MiB only, and a patch
// that does not give back the target is never handed over.
EngineError Make(Patch::Kind kind, const Images& images, const QByteArray& metadata,
                 QByteArray* patch);

// An image read whole: a file, or the one image of an archive.
EngineError ReadImage(const QString& path, QByteArray* bytes);
// The bytes a patch is made between: an image's plain content (its layout
// undone), or with asIs its bytes as they are; the layout it was in.
EngineError Prepare(QByteArray* bytes, bool asIs, RomLayout* layout);

// An image a patch is made of: its name, its prepared bytes, its layout.
struct Side {
    QString path; // "-" for standard input
    QByteArray bytes;
    RomLayout layout = RomLayout::Unknown;
};

// Makes the patch of original into modified and writes it to output
// (replacing an existing file as existing says); its size in written. Two
// images that are the same are refused unless allowSame, and so is an
// output that is one of the images.
EngineError MakeFile(const Side& original, const Side& modified, Patch::Kind kind,
                     const QByteArray& metadata, bool allowSame, const QString& output,
                     SafeFile::Existing existing, std::int64_t* written);

// The formats' own makers, unchecked.
QByteArray Bps(const Images& images, const QByteArray& metadata);
QByteArray Ups(const Images& images);
// Empty when the target reaches past what an IPS addresses.
QByteArray Ips(const Images& images);

} // namespace PatchMaker
