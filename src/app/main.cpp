#include "QuitWhenPainted.h"
#include "common/PendingEvents.h"
#include "common/SecretMemory.h"
#include "common/TerminationSignals.h"
#include "gateway/HttpClient.h"
#include "gateway/modProdUpdate.h"
#include "shell/AppIcon.h"
#include "shell/MessageBoxSink.h"
#include "shell/WaitFeedback.h"
#include "shell/frmMain.h"
#include "store/StoreDatabase.h"
#include "store/modPublic.h"

#include <QApplication>
#include <QScopeGuard>

int main(int argc, char *argv[])
{
    SecretMemory::protectProcess();
    // A termination request during the first moments waits for its handler.
    TerminationSignals::holdUntilInstalled();
    // The store's key is derived while the toolkit starts.
    const StoreDatabase::KeyPreparation storeKey(modPublic::systemDirectoryFromEnvironment() +
                                                 QLatin1Char('/') + modPublic::storeFileName());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnell-decryptor"));
    // The taskbar finds the launcher entry, and with it the icon, by this
    // name on Wayland; on X11 it shows the windows' own icon.
    QGuiApplication::setDesktopFileName(AppIcon::desktopId());
    QApplication::setWindowIcon(AppIcon::icon());
    // A termination request is handled from here on, also while the window
    // is being made: it closes the windows there are and ends any wait; no
    // request is sent after it.
    TerminationSignals::install(&app, [] {
        Http::shutDown();
        QApplication::closeAllWindows();
    });
    MessageBoxSink messages;
    Messages::setSink(&messages);
    PendingEvents::setHandler([] { QCoreApplication::processEvents(); });
    // Answer files that runs which ended without cleaning up left behind.
    modProdUpdate::sweepStaleAnswerFiles();

    frmMain window;
    WaitFeedback waiting(&window);
    Http::setWaitObserver(&waiting);
    const auto detach = qScopeGuard([] {
        Http::setWaitObserver(nullptr);
        Messages::setSink(nullptr);
    });
    window.setCommandLine(QCoreApplication::arguments().mid(1).join(QLatin1Char(' ')));
    if (!window.Form_Load())
        return window.exitCode();
    if (TerminationSignals::requested())
        return 0;
    window.show();
    // For start-up measurements: end once the window has been painted,
    // saving nothing.
    if (qEnvironmentVariableIsSet("VARNELL_QUIT_WHEN_SHOWN"))
        new QuitWhenPainted(&window);
    return QApplication::exec();
}
