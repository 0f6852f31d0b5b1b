// The alarm table and its views: numbering, defaults on insert, the title
// rule, views as snapshots kept in step by RefreshSource, the display texts of
// coded fields in both languages, and the up-calls to the main window.
#include "base/U_KA_Var.h"
#include "store/D_KA_Alarms.h"
#include "store/TableModel.h"
#include "support/TestSupport.h"
#include "support/Failure.h"

#include <QAbstractItemModelTester>
#include <QTest>

using namespace store;
using namespace testsupport;

namespace {

TDateTime Day(int day, int hour = 9)
{
    return zel::EncodeDateTime(2026, 3, day, hour, 0);
}

int Number(const Table &t)
{
    return t.fieldByName(AlarmField::Number).asInteger();
}

QString Text(const Table &t, const QString &field)
{
    return t.fieldByName(field).displayText();
}

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { InitProgramUnits(); }

    void init() { FreshStore(); }

    void numbering()
    {
        TdmKaAlarms dm;
        QCOMPARE(dm.NextNumber(), 1);
        AddAlarm(dm, Day(1));
        AddAlarm(dm, Day(2));
        // A record numbered by hand, as the imports do.
        dm.cdsAlarms.append();
        dm.cdsAlarms.fieldByName(AlarmField::Number).setAsInteger(5);
        dm.cdsAlarms.fieldByName(AlarmField::Title).setAsString(QStringLiteral("five"));
        dm.cdsAlarms.post();
        QCOMPARE(dm.NextNumber(), 6);
        // The master's cursor does not move.
        dm.LocateNumber(dm.cdsAlarms, 2, true);
        QCOMPARE(dm.NextNumber(), 6);
        QCOMPARE(Number(dm.cdsAlarms), 2);
        // The highest number is reused once its alarm is removed.
        dm.LocateNumber(dm.cdsAlarms, 5, true);
        dm.cdsAlarms.deleteRecord();
        QCOMPARE(dm.NextNumber(), 3);
    }

    void newRecordDefaultsAndTitleRule_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("message");
        QTest::newRow("English") << 0 << QStringLiteral("Enter a Title !");
        QTest::newRow("French") << 1 << QStringLiteral("Entrez un titre !");
    }

    void newRecordDefaultsAndTitleRule()
    {
        QFETCH(int, language);
        QFETCH(QString, message);
        FixedClock clock(QDateTime(QDate(2026, 3, 10), QTime(10, 0, 0)));
        TdmKaAlarms dm;
        KaVar::SetLanguageIndex(language);
        AddAlarm(dm, Day(1));
        Table &t = dm.cdsAlarms;
        t.append();
        QVERIFY(dm.Inserting);
        QCOMPARE(dm.NewNumber, 2);
        QCOMPARE(Number(t), 2);
        QCOMPARE(t.fieldByName(AlarmField::Date).asDateTime(), zel::EncodeDateTime(2026, 3, 10, 10, 5, 0));
        for (const QString &field : {AlarmField::Enabled, AlarmField::Sound, AlarmField::Priority})
            QCOMPARE(t.fieldByName(field).asInteger(), 1);
        for (const QString &field :
             {AlarmField::Period, AlarmField::DateEndUsed, AlarmField::Deleted, AlarmField::AppSilent})
            QCOMPARE(t.fieldByName(field).value(), QVariant(0));
        for (const QString &field : {AlarmField::Title, AlarmField::Comments, AlarmField::Application})
            QCOMPARE(t.fieldByName(field).asString(), QString());
        QVERIFY(t.fieldByName(AlarmField::DateEnd).isNull());
        QCOMPARE(t.fieldByName(AlarmField::IsThereApp).asBoolean(), false);

        const QByteArray before = [] {
            QFile f(DataFile());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QCOMPARE(FailureOf([&t] { t.post(); }), message);
        QCOMPARE(t.state(), DataSetState::Insert);
        QVERIFY(dm.Inserting);
        QFile f(DataFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before); // nothing saved

        t.fieldByName(AlarmField::Title).setAsString(QString(30, QLatin1Char('t')));
        QCOMPARE(t.fieldByName(AlarmField::Title).asString(), QString(25, QLatin1Char('t')));
        t.post();
        QVERIFY(!dm.Inserting);
        t.append();
        t.cancel();
        QVERIFY(!dm.Inserting);
        QCOMPARE(t.recordCount(), 2);
    }

    void locateNumberFailsOnlyWhenAsked_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("message");
        QTest::newRow("English") << 0 << QStringLiteral("Alarm not found [ Number = 42 ]");
        QTest::newRow("French") << 1 << QStringLiteral("Alarme non trouv\u00e9e [ Number = 42 ]");
    }

    void locateNumberFailsOnlyWhenAsked()
    {
        QFETCH(int, language);
        QFETCH(QString, message);
        TdmKaAlarms dm;
        KaVar::SetLanguageIndex(language);
        AddAlarm(dm, Day(1));
        AddAlarm(dm, Day(2));
        dm.LocateNumber(dm.cdsAlarms, 1, true);
        dm.LocateNumber(dm.cdsAlarms, 42, false);
        QCOMPARE(Number(dm.cdsAlarms), 1);
        QCOMPARE(FailureOf([&dm] { dm.LocateNumber(dm.cdsAlarms, 42, true); }), message);
    }

    void viewsAreSnapshotsUntilRefreshed()
    {
        FakeHost host; // outlives the data module, which calls it up to its end
        TdmKaAlarms dm;
        dm.SetHost(&host);
        AddAlarm(dm, Day(3), QStringLiteral("third"));
        AddAlarm(dm, Day(1), QStringLiteral("first"));
        AddAlarm(dm, Day(2), QStringLiteral("second"));
        dm.RefreshSource(dm.dsList);
        QCOMPARE(dm.cdsList.recordCount(), 3);
        QCOMPARE(Number(dm.cdsList), 2); // ordered by date

        // The list view's current alarm becomes the master's current record.
        dm.cdsList.next();
        QCOMPARE(Number(dm.cdsList), 3);
        QCOMPARE(Number(dm.cdsAlarms), 3);

        // Moved to the trash in the master: the list shows it until re-read.
        dm.LocateNumber(dm.cdsAlarms, 2, true);
        dm.cdsAlarms.edit();
        dm.cdsAlarms.fieldByName(AlarmField::Deleted).setAsInteger(1);
        dm.cdsAlarms.post();
        QCOMPARE(dm.cdsList.recordCount(), 3);
        host.pageTag = 1;
        dm.RefreshCurrentView();
        QCOMPARE(dm.cdsList.recordCount(), 2);
        // The cursor stays on the alarm it was on.
        QCOMPARE(Number(dm.cdsList), 3);

        // When that alarm is gone, it goes to the first row.
        dm.LocateNumber(dm.cdsAlarms, 3, true);
        dm.cdsAlarms.edit();
        dm.cdsAlarms.fieldByName(AlarmField::Deleted).setAsInteger(1);
        dm.cdsAlarms.post();
        dm.RefreshCurrentView();
        QCOMPARE(dm.cdsList.recordCount(), 1);
        QCOMPARE(dm.cdsList.recNo(), 0);
        QCOMPARE(Number(dm.cdsList), 1);

        // The trash page's view is re-read only when it is in front.
        QCOMPARE(dm.cdsTrash.recordCount(), 0);
        host.pageTag = 3;
        dm.RefreshCurrentView();
        QCOMPARE(dm.cdsTrash.recordCount(), 0);
        host.pageTag = 2;
        dm.RefreshCurrentView();
        QCOMPARE(dm.cdsTrash.recordCount(), 2);
    }

    void dataChangeRepaintsAndFollowsThePeriodicity()
    {
        FakeHost host; // outlives the data module, which calls it up to its end
        TdmKaAlarms dm;
        AddAlarm(dm, Day(1), QStringLiteral("a"), 0, 1, 4);
        AddAlarm(dm, Day(2), QStringLiteral("b"), 0, 1, 6);
        // Without a main window nothing is called up.
        dm.RefreshSource(dm.dsList);
        QCOMPARE(host.repaints, 0);

        dm.SetHost(&host);
        host.boundField = &dm.cdsAlarms.fieldByName(AlarmField::Period);
        dm.RefreshSource(dm.dsList);
        QVERIFY(host.repaints > 0);
        QCOMPARE(host.periodicityIndex, 4);
        dm.cdsList.next();
        QCOMPARE(host.periodicityIndex, 6);

        // A view row whose alarm is gone from the master fails, and the window
        // is still repainted.
        dm.cdsAlarms.last();
        dm.cdsAlarms.deleteRecord();
        const int repaints = host.repaints;
        QVERIFY_THROWS_EXCEPTION(Exception, dm.DataChange(&dm.dsList, nullptr));
        QCOMPARE(host.repaints, repaints + 1);
    }

    void displayTexts_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("texts"); // Deleted, Enabled, Period, Priority, AppSilent
        QTest::newRow("English") << 0
                                 << QStringList{QStringLiteral("True"), QStringLiteral("Off"),
                                                QStringLiteral("Every week"), QStringLiteral("High"),
                                                QStringLiteral("False")};
        QTest::newRow("French") << 1
                                << QStringList{QStringLiteral("Vrai"), QStringLiteral("Off"),
                                               QStringLiteral("Toutes les semaines"), QStringLiteral("Haute"),
                                               QStringLiteral("Faux")};
    }

    void displayTexts()
    {
        QFETCH(int, language);
        QFETCH(QStringList, texts);
        FakeHost host; // outlives the data module, which calls it up to its end
        TdmKaAlarms dm;
        host.language = language;
        KaVar::SetLanguageIndex(language);
        dm.SetHost(&host);
        AddAlarm(dm, Day(1), QStringLiteral("trashed"), 1, 0, 4, QStringLiteral("notes.txt"));
        dm.cdsAlarms.edit();
        dm.cdsAlarms.fieldByName(AlarmField::Priority).setAsInteger(2);
        dm.cdsAlarms.post();
        AddAlarm(dm, Day(2), QStringLiteral("plain"), 0, 1, 11);
        host.pageTag = 2;
        dm.RefreshCurrentView();
        const Table &trash = dm.cdsTrash;
        QCOMPARE(Text(trash, AlarmField::Deleted), texts[0]);
        QCOMPARE(Text(trash, AlarmField::Enabled), texts[1]);
        QCOMPARE(Text(trash, AlarmField::Period), texts[2]);
        QCOMPARE(Text(trash, AlarmField::Priority), texts[3]);
        QCOMPARE(Text(trash, AlarmField::AppSilent), texts[4]);
        QCOMPARE(Text(trash, AlarmField::IsThereApp), QStringLiteral("X"));
        QCOMPARE(Text(trash, AlarmField::Date), zel::DateTimeToStr(Day(1)));
        QCOMPARE(trash.fieldByName(AlarmField::Deleted).text(), QString()); // not for display

        dm.RefreshSource(dm.dsList);
        QCOMPARE(Text(dm.cdsList, AlarmField::IsThereApp), QString());
        // A periodicity without a name, only possible from an import, shows its number.
        QCOMPARE(Text(dm.cdsList, AlarmField::Period), QStringLiteral("11"));
        // The master shows only the periodicity through its name table.
        QCOMPARE(Text(dm.cdsAlarms, AlarmField::Enabled), QStringLiteral("1"));

        dm.SetHost(nullptr);
        QCOMPARE(Text(trash, AlarmField::Period), QString());
        QCOMPARE(Text(trash, AlarmField::Enabled), texts[1]);
    }

    void checkViewDateText()
    {
        TdmKaAlarms dm;
        AddAlarm(dm, zel::EncodeDateTime(2026, 3, 10, 8, 30));
        dm.cdsThread.refresh();
        QCOMPARE(Text(dm.cdsThread, AlarmField::Date), QStringLiteral("3/10/2026 08:30"));
        QCOMPARE(dm.cdsThread.fieldByName(AlarmField::Date).text(), QString());
    }

    void listGridModel()
    {
        FakeHost host; // outlives the data module, which calls it up to its end
        TdmKaAlarms dm;
        dm.SetHost(&host);
        TableModel model(&dm.dsList);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        AddAlarm(dm, Day(2), QStringLiteral("two"), 0, 1, 2);
        AddAlarm(dm, Day(1), QStringLiteral("one"));
        dm.RefreshSource(dm.dsList);
        QCOMPARE(model.rowCount(), 2);
        QStringList headers;
        for (int c = 0; c < model.columnCount(); ++c)
            headers << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers,
                 QStringList({QStringLiteral("Date"), QStringLiteral("DateEnd"), QStringLiteral("DateEndUsed"),
                              QStringLiteral("Title"), QStringLiteral("On"), QStringLiteral("Priority"),
                              QStringLiteral("Comments"), QStringLiteral("Sound"), QStringLiteral("Periodicity"),
                              QStringLiteral("Application"), QStringLiteral("App Silent")}));
        QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("one"));
        QCOMPARE(model.index(1, 8).data().toString(), QStringLiteral("Every day"));
        QCOMPARE(model.index(1, 4).data().toString(), QStringLiteral("On"));
    }
};

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
