#pragma once

#include <cstdint>

class Forms;

namespace FormLoad {

// Records the mode as the current one and prepares the conversion window's
// captions and the open-file dialog for it.
void SetupConvertWindow(Forms& forms, const std::int16_t& mode);

// Sets the open-file dialog's flags and, for a known mode, its filter.
void SetupFileDialog(Forms& forms, const std::int16_t& mode);

// The dialog's flags: explorer style, file and path must exist, multiple selection.
inline constexpr int DialogFlags = 0x81A00;

} // namespace FormLoad
