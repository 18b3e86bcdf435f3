// Kestrix: the desktop converter for Sega Genesis / Mega Drive ROM images.

#include "DesktopPlatform.h"
#include "Forms.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(ApplicationName));
    // The desktop entry's ID: docks and task bars match the window to its
    // launcher by it (and, on X11, by the class Kestrix, from the name).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Kestrix"));
    // The program ends by Exit or by closing the main window, never because
    // the main window was hidden while the conversion window takes its place.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform::LoadQtTranslations(QLocale::system());
    DesktopPlatform desktop;
    Forms forms(desktop);
    forms.Start();
    return app.exec();
}
