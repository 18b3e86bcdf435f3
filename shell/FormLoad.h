#pragma once

#include "CommonDialog.h"

#include <cstdint>

class Forms;

namespace FormLoad {

// Records the mode as the current one and prepares the conversion window's
// captions and the open-file dialog for it.
void SetupConvertWindow(Forms& forms, const std::int16_t& mode);

// Sets the open-file dialog's flags and, for a known mode, its filter.
void SetupFileDialog(Forms& forms, const std::int16_t& mode);

// The dialog's flags: explorer style, file and path must exist, multiple selection.
inline constexpr int DialogFlags = CommonDialog::Explorer | CommonDialog::FileMustExist |
                                   CommonDialog::PathMustExist | CommonDialog::AllowMultiSelect;

} // namespace FormLoad
