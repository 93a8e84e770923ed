// The floor of the desktop program's start: a Qt main window with the same
// five tabs and nothing in them, started as a whole process, shown, painted
// once and ended, as the program does when VARNELL_QUIT_WHEN_SHOWN is set.
// Only the start-up benchmark runs it.
#include "app/QuitWhenPainted.h"

#include <QApplication>
#include <QMainWindow>
#include <QTabWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Varnell Decryptor"));
    auto *tabs = new QTabWidget(&window);
    for (const char *caption : {"&Decryption Utility", "Decryption &Settings",
                                "&Product Properties", "Server &Information", "&Usage Statistics"})
        tabs->addTab(new QWidget, QString::fromUtf8(caption));
    window.setCentralWidget(tabs);
    // 8500 x 6500 twips at 96 dpi.
    window.resize(567, 433);
    new QuitWhenPainted(&window);
    window.show();
    return QApplication::exec();
}
