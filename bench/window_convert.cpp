// Converts one file as the conversion window's run does (the engine's
// ConvertLayout), for measuring its time and memory from outside.
// Usage: window-convert FROM TO SOURCE DESTINATION, layouts as plain, smd,
// md or byteswapped.
#include "Mod_Convert.h"

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
    const EngineError error = Mod_Convert::ConvertLayout(from, to, QString::fromLocal8Bit(argv[3]),
                                                         QString::fromLocal8Bit(argv[4]));
    return error.Failed() ? 1 : 0;
}
