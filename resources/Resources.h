#pragma once

#include <QString>

// Data the program carries inside itself.
namespace Resources {

// Saved settings of the progress bar on the conversion window, as text.
QString ConvertProgressSettings();

} // namespace Resources
