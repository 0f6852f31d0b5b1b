// Under the desktop harness a real X display with a window manager and a
// system tray is there before the test starts.
#include <QApplication>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

class TestEnvDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void trayIsAvailable()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        QSystemTrayIcon icon{QIcon(pixmap)};
        icon.show();
        QTRY_VERIFY_WITH_TIMEOUT(!icon.geometry().isEmpty(), 10000);
    }

    void windowsBecomeActive()
    {
        QWidget window;
        window.resize(200, 100);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window, 10000));
    }
};

QTEST_MAIN(TestEnvDesktop)
#include "tst_env_desktop.moc"
