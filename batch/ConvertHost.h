#pragma once

#include <cstdint>

struct CommonDialog;
class QWidget;

// What the conversion window needs of the window that opened it.
class ConvertHost {
public:
    // The failures the conversion window reports with a fixed message box.
    enum class Failure {
        Conversion,    // the list entry being converted could not be converted
        UnusableDrive, // the drive picked cannot be used
    };

    virtual ~ConvertHost() = default;
    // The open-file dialog, which belongs to the main window.
    virtual CommonDialog& Dialog() = 0;
    // The window the open-file dialog belongs to.
    virtual QWidget* DialogOwner() = 0;
    // Centres the main window on the screen.
    virtual void CenterMain() = 0;
    // Shows the main window.
    virtual void ShowMain() = 0;
    // Centres a window on the screen.
    virtual void CenterForm(QWidget* form) = 0;
    // Shows the message box of a failure.
    virtual void ShowError(Failure failure) = 0;
};
