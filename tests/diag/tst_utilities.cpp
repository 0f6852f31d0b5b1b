// The support library's routines: path delimiters, list lookup, the error box
// and opening files through the desktop with readable errors.
#include "diag/U_ZEL_Utilities.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Captures the text of ErrorBox while alive.
struct ErrorBoxes
{
    ErrorBoxes()
    {
        SetErrorBoxHook([this](const QString &text) { texts << text; });
    }
    ~ErrorBoxes() { SetErrorBoxHook({}); }
    QStringList texts;
};

} // namespace

class TestUtilities : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void trailingDelimiters_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("removed");
        const QString s = QDir::separator();
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("without") << QStringLiteral("a") + s + QStringLiteral("b")
                                 << QStringLiteral("a") + s + QStringLiteral("b") + s
                                 << QStringLiteral("a") + s + QStringLiteral("b");
        QTest::newRow("with") << QStringLiteral("a") + s << QStringLiteral("a") + s << QStringLiteral("a");
        QTest::newRow("two") << QStringLiteral("a") + s + s << QStringLiteral("a") + s + s << QStringLiteral("a") + s;
        QTest::newRow("root") << s << s << QString();
    }

    void trailingDelimiters()
    {
        QFETCH(QString, path);
        QFETCH(QString, added);
        QFETCH(QString, removed);
        QCOMPARE(AddTrailingBackslash(path), added);
        QCOMPARE(RemoveTrailingBackslash(path), removed);
    }

    void indexOfTextIgnoresCase()
    {
        const QStringList list = {QStringLiteral(".ka2"), QStringLiteral(".XML"), QStringLiteral(".csv")};
        QCOMPARE(IndexOfText(QStringLiteral(".xml"), list), 1);
        QCOMPARE(IndexOfText(QStringLiteral(".KA2"), list), 0);
        QCOMPARE(IndexOfText(QStringLiteral(".htm"), list), -1);
        QCOMPARE(IndexOfText(QString(), {}), -1);
    }

    void errorBoxAbortsSilently()
    {
        ErrorBoxes boxes;
        QVERIFY_THROWS_EXCEPTION(EAbort, ErrorBox(QStringLiteral("bad")));
        QCOMPARE(boxes.texts, QStringList(QStringLiteral("bad")));
    }

    void shellResults_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << QStringLiteral("%1/none.txt") << 2 << QStringLiteral("File not found");
        QTest::newRow("missing folder") << QStringLiteral("%1/nowhere/none.txt") << 3
                                        << QStringLiteral("Path not found");
        QTest::newRow("no association") << QStringLiteral("%1/notes.zzalarm") << 31
                                        << QStringLiteral("No association found");
        QTest::newRow("program that cannot start")
            << QStringLiteral("%1/broken.sh") << 5 << QStringLiteral("Access denied");
    }

    void shellResults()
    {
        QFETCH(QString, target);
        QFETCH(int, result);
        QFETCH(QString, reason);
        QFile document(m_dir.filePath(QStringLiteral("notes.zzalarm")));
        QVERIFY(document.open(QIODevice::WriteOnly));
        document.write("\x01\x02 data of no known kind");
        document.close();
        // A script whose interpreter does not exist: the system refuses to start it.
        QFile program(m_dir.filePath(QStringLiteral("broken.sh")));
        QVERIFY(program.open(QIODevice::WriteOnly));
        program.write("#!/nonexistent/interpreter\n");
        program.close();
        QVERIFY(program.setPermissions(program.permissions() | QFile::ExeOwner));
        const QString file = target.arg(m_dir.path());
        QCOMPARE(ShellExecute(file, 0, QString(), QString(), SW_SHOW), result);

        // ExecuteFile reports it and ends the command silently.
        ErrorBoxes boxes;
        QVERIFY_THROWS_EXCEPTION(EAbort, ExecuteFile(file, 0, QStringLiteral("-x"), SW_SHOW, QString()));
        QCOMPARE(boxes.texts.size(), 1);
        const QFileInfo info(file);
        QCOMPARE(boxes.texts[0], QStringLiteral("Error on executing :\r\n\r\n   File : ") + info.fileName() +
                                     QStringLiteral("\r\n   Params : -x\r\n   Path : ") +
                                     QDir::toNativeSeparators(info.path()) + QDir::separator() +
                                     QStringLiteral("\r\n\r\n   Message : ") + reason);
    }

    void programsStartAndAddressesOpen()
    {
        // A program starts detached, with its parameters.
        const QString marker = m_dir.filePath(QStringLiteral("started"));
        const QString script = m_dir.filePath(QStringLiteral("run.sh"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho \"$1\" > \"$2\"\n");
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
        QVERIFY(ShellExecute(script, 0, QStringLiteral("hello ") + marker, QString(), SW_SHOW) > 32);
        QTRY_VERIFY(QFile::exists(marker));

        // Addresses and mail links go to the desktop's handler.
        QStringList opened;
        SetOpenUrlHook([&](const QString &url) {
            opened << url;
            return url.startsWith(QLatin1String("https:"));
        });
        QVERIFY(ShellExecute(QStringLiteral("https://example.org/a?b=c"), 0, QString(), QString(), SW_SHOW) > 32);
        QCOMPARE(ShellExecute(QStringLiteral("mailto:someone@example.org"), 1, QString(), QString(), SW_SHOW), 31);
        SetOpenUrlHook({});
        QCOMPARE(opened, QStringList({QStringLiteral("https://example.org/a?b=c"),
                                      QStringLiteral("mailto:someone@example.org")}));
    }

    // What a file is decides whether it starts as a program or opens in its
    // program; a colon in a relative name does not make it an address.
    void programOrDocument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("executable");
        QTest::addColumn<bool>("program");
        QTest::newRow("document with the executable bit")
            << QStringLiteral("notes.txt") << QByteArray("plain notes\n") << true << false;
        QTest::newRow("document") << QStringLiteral("notes.txt") << QByteArray("plain notes\n") << false << false;
        QTest::newRow("colon in the name")
            << QStringLiteral("Meeting:agenda.txt") << QByteArray("agenda\n") << false << false;
        QTest::newRow("script") << QStringLiteral("run") << QByteArray("#!/bin/sh\ntouch \"$0.started\"\n") << true
                                << true;
        QTest::newRow("script without its bit")
            << QStringLiteral("run") << QByteArray("#!/bin/sh\ntouch x\n") << false << false;
    }

    void programOrDocument()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, executable);
        QFETCH(bool, program);
        // A viewer for plain texts, so that documents have their program.
        const QString applications = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
        QDir().mkpath(applications);
        QFile viewer(applications + QStringLiteral("/almarik-viewer.desktop"));
        QVERIFY(viewer.open(QIODevice::WriteOnly));
        viewer.write("[Desktop Entry]\nType=Application\nName=Viewer\nExec=true %f\nMimeType=text/plain;\n");
        viewer.close();
        QFile defaults(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mimeapps.list"));
        QVERIFY(defaults.open(QIODevice::WriteOnly));
        defaults.write("[Default Applications]\ntext/plain=almarik-viewer.desktop\n");
        defaults.close();

        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        if (executable)
            QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
        QStringList opened;
        SetOpenUrlHook([&](const QString &url) {
            opened << url;
            return true;
        });
        // Given by its folder and its relative name, as a working folder.
        const int result = ShellExecute(name, 0, QString(), dir.path(), SW_SHOW);
        SetOpenUrlHook({});
        QVERIFY2(result > 32, qPrintable(QString::number(result)));
        if (program) {
            QVERIFY(opened.isEmpty());
            QTRY_VERIFY(QFile::exists(dir.filePath(name) + QStringLiteral(".started")));
        } else {
            QCOMPARE(opened, QStringList(QUrl::fromLocalFile(dir.filePath(name)).toString()));
        }
    }

    // The box of ErrorBox comes to the front, active and on top, even when
    // the program has no window shown (it sits in the tray).
    void errorBoxComesToTheFront()
    {
        QVERIFY(QApplication::topLevelWidgets().isEmpty() || !QApplication::activeWindow());
        bool onTop = false;
        bool active = false;
        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            QTRY_VERIFY(box->isActiveWindow());
            active = box->isActiveWindow();
            box->close();
        });
        QTimer::singleShot(5000, this, [] {
            if (QWidget *box = QApplication::activeModalWidget())
                box->close();
        });
        QVERIFY_THROWS_EXCEPTION(EAbort, ErrorBox(QStringLiteral("bad")));
        QVERIFY(onTop);
        QVERIFY(active);
    }

    void safeFreeClearsThePointer()
    {
        auto *object = new QObject;
        QPointer<QObject> watch(object);
        SafeFree(object);
        QVERIFY(object == nullptr);
        QVERIFY(watch.isNull());
        SafeFree(object); // nothing to free
    }
};

QTEST_MAIN(TestUtilities)
#include "tst_utilities.moc"
