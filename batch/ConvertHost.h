#pragma once

struct CommonDialog;
class QWidget;

// What the conversion window needs of the window that opened it.
class ConvertHost {
public:
    virtual ~ConvertHost() = default;
    // The open-file dialog, which belongs to the main window.
    virtual CommonDialog& Dialog() = 0;
    // The window the open-file dialog belongs to.
    virtual QWidget* DialogOwner() = 0;
    // Centres the main window on the screen.
    virtual void CenterMain() = 0;
    // Shows the main window.
    virtual void ShowMain() = 0;
};
