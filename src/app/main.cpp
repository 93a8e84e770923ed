#include "common/PendingEvents.h"
#include "common/TerminationSignals.h"
#include "gateway/modProdUpdate.h"
#include "shell/MessageBoxSink.h"
#include "shell/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnell-decryptor"));
    MessageBoxSink messages;
    Messages::setSink(&messages);
    PendingEvents::setHandler([] { QCoreApplication::processEvents(); });
    // Answer files that runs which ended without cleaning up left behind.
    modProdUpdate::sweepStaleAnswerFiles();

    frmMain window;
    TerminationSignals::install(&window, [] { QApplication::closeAllWindows(); });
    window.setCommandLine(QCoreApplication::arguments().mid(1).join(QLatin1Char(' ')));
    if (!window.Form_Load())
        return window.exitCode();
    if (TerminationSignals::requested())
        return 0;
    window.show();
    const int status = QApplication::exec();
    Messages::setSink(nullptr);
    return status;
}
