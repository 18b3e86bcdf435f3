// Converts one file through the engine's job, as the conversion window's run
// does (a one-file job, ConvertFile), for measuring its time and memory from
// outside.
// Usage: window-convert FROM TO SOURCE DESTINATION, layouts as plain, smd,
// md or byteswapped.
#include "Mod_File.h"

#include <cstdio>

namespace {

RomLayout Named(const char* name) {
    for (RomLayout layout :
         {RomLayout::Plain, RomLayout::Smd, RomLayout::Md, RomLayout::Byteswapped})
        if (LayoutName(layout) == QLatin1String(name))
            return layout;
    return RomLayout::Unknown;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: window-convert FROM TO SOURCE DESTINATION\n");
        return 2;
    }
    const RomLayout from = Named(argv[1]);
    const RomLayout to = Named(argv[2]);
    for (std::int32_t mode : {SMDtoBIN, BINtoSMD, MDtoBIN, BINtoMD})
        if (SourceLayout(mode) == from && TargetLayout(mode) == to)
            return Mod_File::ConvertFile(QString::fromLocal8Bit(argv[3]),
                                         QString::fromLocal8Bit(argv[4]), mode)
                       ? 0
                       : 1;
    std::fprintf(stderr, "window-convert: no conversion from %s to %s\n", argv[1], argv[2]);
    return 2;
}
