#pragma once

class Desktop;
class QWidget;

namespace Position {

// Centres a window, by its outer size, on the whole primary screen. A window
// larger than the screen gets a negative left or top edge.
void CenterForm(Desktop& desktop, QWidget* form);

} // namespace Position
