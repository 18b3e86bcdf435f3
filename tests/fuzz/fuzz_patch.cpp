// A fuzz target for the patch readers: any bytes are described, and those
// taken as a patch are applied to an image of the size the patch says it
// was made for, and to one of half that size.

#include "Patch.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Images larger than this are not made: the readers' checks of a size are
// what matters, not memory.
constexpr std::int64_t Largest = std::int64_t(16) << 20;

void ApplyTo(const QByteArray& patch, const Patch::Description& d, std::int64_t size) {
    if (size < 0 || size > Largest || d.TargetSize(size) > Largest)
        return;
    std::vector<std::uint8_t> source(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = std::uint8_t(i * 131 + 7);
    std::vector<std::uint8_t> target;
    const EngineError applied =
        Patch::Apply(patch, d, RomInspector::MemoryReader(source.data(), size), size, &target);
    // What the patch makes is what it says it makes.
    if (!applied.Failed() && std::int64_t(target.size()) != d.TargetSize(size))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray patch(reinterpret_cast<const char*>(data), qsizetype(size));
    Patch::Description d;
    if (!Patch::Describe(patch, &d).isEmpty())
        return 0;
    const std::int64_t made = d.kind == Patch::Kind::Ips ? 65536 : d.sourceSize;
    ApplyTo(patch, d, made);
    ApplyTo(patch, d, made / 2);
    return 0;
}
