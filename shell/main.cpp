// Kestrix: the desktop converter for Sega Genesis / Mega Drive ROM images.

#include "AboutInfo.h"
#include "DesktopPlatform.h"
#include "Forms.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    // Asked on a terminal, answered there, as desktop programs do: no
    // window, no display needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: kestrix [--help | --version] [IMAGE PATCH...]\n\n"
                        "Opens the Kestrix window, which converts Sega Genesis / Mega Drive ROM\n"
                        "images between the plain (.bin), SMD (.smd) and MD (.md) layouts.\n"
                        "Given an image and IPS, BPS or UPS patches, it opens the patch window\n"
                        "with them, to apply the patches in the order given; given images alone,\n"
                        "the inspection window, which tells what kestrix-convert info tells.\n"
                        "On the command line, see kestrix-convert --help.\n");
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kestrix %s\n%s\n", KESTRIX_VERSION, AboutInfo::Rights);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(ApplicationName));
    // The desktop entry's ID: docks and task bars match the window to its
    // launcher by it (and, on X11, by the class Kestrix, from the name).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Kestrix"));
    // The program ends by Exit or by closing the main window, never because
    // the main window was hidden while the conversion window takes its place.
    QApplication::setQuitOnLastWindowClosed(false);
    DesktopPlatform desktop;
    Forms forms(desktop);
    forms.Start();
    // Files given to the program open the window they belong in.
    forms.OpenFiles(QApplication::arguments().mid(1));
    return app.exec();
}
