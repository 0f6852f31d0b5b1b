// Exit code 0 when the display has a system tray, 1 otherwise. Used by the
// desktop harness before it starts a test.
#include <QApplication>
#include <QSystemTrayIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1;
}
