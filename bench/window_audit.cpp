// Audits a collection through the audit window (offscreen), as a user's Run
// does, for measuring its time and memory from outside, and for seeing that
// the window's thread stays free: the longest the window's event loop went
// without running is printed beside the counts.
// Usage: window-audit DAT FOLDER
#include "Form_Audit.h"
#include "ScriptedDesktop.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window-audit DAT FOLDER\n");
        return 2;
    }
    ScriptedDesktop desktop;
    Form_Audit window(desktop);
    window.show();
    window.AddDats({QString::fromLocal8Bit(argv[1])});
    window.AddSources({QString::fromLocal8Bit(argv[2])});
    // A tick every 10 ms: the largest gap between two is how long the
    // window could not answer.
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    QObject::connect(&window, &Form_Audit::Audited, [&] {
        std::printf("%.2f s, the window's loop at most %lld ms without running\n%s\n%s\n",
                    double(clock.elapsed()) / 1000, static_cast<long long>(longest),
                    qPrintable(window.Label_Counts->text()),
                    qPrintable(window.Label_Result->text()));
        app.quit();
    });
    clock.start();
    tick.start(10);
    window.Run();
    return app.exec();
}
