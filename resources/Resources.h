#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// Data the program carries inside itself.
namespace Resources {

// Saved settings of the progress bar on the conversion window, as text.
QString ConvertProgressSettings();

// The program icon, worn by every window.
QIcon ProgramIcon();

// The 374 x 161 logo of the main window.
QPixmap Logo();

} // namespace Resources
