#include "Mod_DefaultOpen.h"

#include "Desktop.h"

namespace Mod_DefaultOpen {

std::int32_t DefaultOpen(Desktop& desktop, const QString& file, std::int32_t showCommand) {
    return desktop.ShellExecute(file, showCommand);
}

} // namespace Mod_DefaultOpen
