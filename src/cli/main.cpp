#include "cli/Cli.h"
#include "common/SecretMemory.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QtMessageHandler usualHandler = nullptr;

// Only failures get through: the GUI application's start-up warnings (a
// user without a runtime folder, as root in a container) concern windows,
// which this command never shows.
void failuresOnly(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    if (usualHandler)
        usualHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    SecretMemory::protectProcess();
    // Drawing pages needs the fonts that come with a GUI application; it
    // runs on the offscreen platform, so that no display is needed.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "print") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        usualHandler = qInstallMessageHandler(failuresOnly);
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(usualHandler);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("varnell"));
    int status = Cli::run(QCoreApplication::arguments().mid(1));
    // The output must have reached standard output: behind a redirection to
    // a full disk it did not, and that is no success.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "varnell: cannot write the output: %s\n",
                     errno != 0 ? std::strerror(errno) : "write error");
        if (status == 0)
            status = 1;
    }
    return status;
}
