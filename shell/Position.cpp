#include "Position.h"

#include "Desktop.h"

namespace Position {

void CenterForm(Desktop& desktop, QWidget* form) {
    if (!form)
        return;
    const float left =
        float(desktop.ScreenSizeTwips().width() - desktop.WindowSizeTwips(form).width()) / 2.0f;
    const float top =
        float(desktop.ScreenSizeTwips().height() - desktop.WindowSizeTwips(form).height()) / 2.0f;
    desktop.MoveWindowTwips(form, left, top);
}

} // namespace Position
