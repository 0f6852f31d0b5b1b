// The data-file import: numbering after the highest alarm, the source rules
// for old and missing fields, clamping, the name check, the progress window
// and its cancel, and failures that keep what was imported before them.
#include "base/ProgressWindow.h"
#include "base/U_KA_Var.h"
#include "store/D_KA_Alarms.h"
#include "support/TestSupport.h"
#include "support/Failure.h"

#include <QSet>
#include <QTest>
#include <QTimer>

using namespace store;
using namespace testsupport;

namespace {

using T = FieldType;

FieldDef F(const QString &name, T type = T::Integer, int size = 0)
{
    return {name, type, size, false, false};
}

// The fields every source has.
QList<FieldDef> BaseFields()
{
    return {F(QStringLiteral("Number")),
            F(QStringLiteral("Date"), T::DateTime),
            F(QStringLiteral("Title"), T::String, 40),
            F(QStringLiteral("Comments"), T::Memo),
            F(QStringLiteral("Enabled")),
            F(QStringLiteral("Application"), T::String, 300),
            F(QStringLiteral("AppSilent")),
            F(QStringLiteral("Deleted"))};
}

QVariantList BaseRow(const QString &title = QStringLiteral("imported"))
{
    return {99, zel::EncodeDateTime(2026, 3, 10, 8, 0), title, QStringLiteral("notes"), 1, QString(), 0, 0};
}

QString SourceFile(const QString &name = QStringLiteral("source.ka2"))
{
    return QString::fromLocal8Bit(qgetenv("ALMARIK_TEST_ROOT")) + QStringLiteral("/tmp/") + name;
}

QVariant Value(TdmKaAlarms &dm, const QString &field)
{
    return dm.cdsAlarms.fieldByName(field).value();
}

void NoWait(TProgressWindow *, int)
{
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        InitProgramUnits();
        // The progress window's pauses never wait on the clock here.
        TProgressWindow::SetPauseHook(NoWait);
    }

    void init() { FreshStore(); }

    void numbersFollowTheHighestAlarm()
    {
        TdmKaAlarms dm;
        for (int i = 0; i < 7; ++i)
            AddAlarm(dm, zel::EncodeDate(2026, 1, 1 + i));
        QList<FieldDef> fields = BaseFields();
        fields << F(QStringLiteral("Sound"));
        QVariantList a = BaseRow(QStringLiteral("first"));
        QVariantList b = BaseRow(QStringLiteral("second"));
        a[0] = 100;
        b[0] = 3;
        WritePacket(SourceFile(), fields, {a + QVariantList{1}, b + QVariantList{1}});

        ErrorTexts errors;
        dm.ImportDataFile(SourceFile(), false);
        QCOMPARE(errors.texts, QStringList(QStringLiteral("Import successfull !")));
        QCOMPARE(dm.cdsAlarms.recordCount(), 9);
        dm.cdsAlarms.last();
        QCOMPARE(Value(dm, AlarmField::Number), QVariant(9));
        QCOMPARE(Value(dm, AlarmField::Title), QVariant(QStringLiteral("second")));
        dm.cdsAlarms.prior();
        QCOMPARE(Value(dm, AlarmField::Number), QVariant(8));
        QCOMPARE(Value(dm, AlarmField::Title), QVariant(QStringLiteral("first")));

        // The progress window ran to its end and closed.
        TProgressWindow *progress = dm.ProgressDialog();
        QCOMPARE(progress->windowTitle(), QStringLiteral("Processing..."));
        QCOMPARE(progress->maximum(), 2);
        QVERIFY(!progress->isVisible());

        // Importing the same file again doubles its alarms, in silence.
        dm.ImportDataFile(SourceFile(), true);
        QCOMPARE(dm.cdsAlarms.recordCount(), 11);
        QCOMPARE(errors.texts.size(), 1);
    }

    void sourceRules_data()
    {
        QTest::addColumn<QList<FieldDef>>("extraFields");
        QTest::addColumn<QVariantList>("extraValues");
        QTest::addColumn<QVariantList>("baseOverride"); // Enabled, AppSilent, Deleted
        QTest::addColumn<bool>("silent");
        // Expected Enabled, AppSilent, Deleted, Sound, Priority, Period, DateEnd, DateEndUsed
        QTest::addColumn<QVariantList>("expected");

        const QVariant null;
        const double date = zel::EncodeDateTime(2026, 3, 10, 8, 0);
        const double end = zel::EncodeDate(2026, 4, 1);
        const QList<FieldDef> modern = {F(QStringLiteral("Sound")), F(QStringLiteral("Priority")),
                                        F(QStringLiteral("Period")), F(QStringLiteral("DateEnd"), T::DateTime),
                                        F(QStringLiteral("DateEndUsed"))};
        QTest::newRow("modern") << modern << QVariantList{0, 2, 5, end, 1} << QVariantList{1, 1, 1} << false
                                << QVariantList{1, 1, 1, 0, 2, 5, end, 1};
        QTest::newRow("flags clamped") << modern << QVariantList{-1, 7, 12, end, 3} << QVariantList{5, 5, 3} << false
                                       << QVariantList{1, 0, 0, 1, 7, 12, end, 3};
        QTest::newRow("nulls") << modern << QVariantList{0, null, null, null, null} << QVariantList{0, 0, 0} << false
                               << QVariantList{0, 0, 0, 0, 1, 0, null, 0};
        QTest::newRow("Beep beats Sound")
            << QList<FieldDef>{F(QStringLiteral("Beep")), F(QStringLiteral("Sound"))} << QVariantList{0, 1}
            << QVariantList{1, 0, 0} << false << QVariantList{1, 0, 0, 0, 1, 0, 0.0, 0};
        QTest::newRow("null Beep takes Sound")
            << QList<FieldDef>{F(QStringLiteral("Beep")), F(QStringLiteral("Sound"))} << QVariantList{null, 0}
            << QVariantList{1, 0, 0} << false << QVariantList{1, 0, 0, 0, 1, 0, 0.0, 0};
        QTest::newRow("Periodicity") << QList<FieldDef>{F(QStringLiteral("Beep")), F(QStringLiteral("Periodicity"))}
                                     << QVariantList{1, 4} << QVariantList{1, 0, 0} << false
                                     << QVariantList{1, 0, 0, 1, 1, 4, 0.0, 0};
        QTest::newRow("null Periodicity")
            << QList<FieldDef>{F(QStringLiteral("Beep")), F(QStringLiteral("Periodicity")), F(QStringLiteral("Period"))}
            << QVariantList{1, null, 6} << QVariantList{1, 0, 0} << false << QVariantList{1, 0, 0, 1, 1, 0, 0.0, 0};
        QTest::newRow("Period not a number")
            << QList<FieldDef>{F(QStringLiteral("Sound")), F(QStringLiteral("Period"), T::String, 5)}
            << QVariantList{1, QStringLiteral("x")} << QVariantList{1, 0, 0} << false
            << QVariantList{1, 0, 0, 1, 1, 0, 0.0, 0};
        QTest::newRow("no end fields, silent")
            << QList<FieldDef>{F(QStringLiteral("Sound"))} << QVariantList{1} << QVariantList{1, 0, 0} << true
            << QVariantList{1, 0, 0, 1, 1, 0, 0.0, null};
        QTest::newRow("DateEndUsed without DateEnd")
            << QList<FieldDef>{F(QStringLiteral("Sound")), F(QStringLiteral("DateEndUsed"))} << QVariantList{1, 1}
            << QVariantList{1, 0, 0} << false << QVariantList{1, 0, 0, 1, 1, 0, date, 1};
        QTest::newRow("DateEnd without DateEndUsed")
            << QList<FieldDef>{F(QStringLiteral("Sound")), F(QStringLiteral("DateEnd"), T::DateTime)}
            << QVariantList{1, end} << QVariantList{1, 0, 0} << false << QVariantList{1, 0, 0, 1, 1, 0, 0.0, 0};
    }

    void sourceRules()
    {
        QFETCH(QList<FieldDef>, extraFields);
        QFETCH(QVariantList, extraValues);
        QFETCH(QVariantList, baseOverride);
        QFETCH(bool, silent);
        QFETCH(QVariantList, expected);
        QVariantList row = BaseRow();
        row[4] = baseOverride[0];
        row[6] = baseOverride[1];
        row[7] = baseOverride[2];
        WritePacket(SourceFile(), BaseFields() + extraFields, {row + extraValues});

        TdmKaAlarms dm;
        ErrorTexts errors;
        if (silent)
            dm.Loading = true; // as at start, when the record rules are off
        dm.ImportDataFile(SourceFile(), silent);
        dm.Loading = false;
        QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        const QStringList fields = {AlarmField::Enabled, AlarmField::AppSilent,  AlarmField::Deleted,
                                    AlarmField::Sound,   AlarmField::Priority,   AlarmField::Period,
                                    AlarmField::DateEnd, AlarmField::DateEndUsed};
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant actual = Value(dm, fields[i]);
            QVERIFY2(actual.isNull() == expected[i].isNull() &&
                         (actual.isNull() || actual.toDouble() == expected[i].toDouble()),
                     qPrintable(QStringLiteral("%1 is %2").arg(fields[i], actual.toString())));
        }
        QCOMPARE(Value(dm, AlarmField::Title), QVariant(QStringLiteral("imported")));
        QCOMPARE(Value(dm, AlarmField::Comments), QVariant(QStringLiteral("notes")));
        QCOMPARE(Value(dm, AlarmField::Date), QVariant(zel::EncodeDateTime(2026, 3, 10, 8, 0)));
    }

    void textsAreCutToTheirFields()
    {
        QVariantList row = BaseRow(QString(40, QLatin1Char('t')));
        row[5] = QString(300, QLatin1Char('a'));
        WritePacket(SourceFile(), BaseFields() << F(QStringLiteral("Sound")), {row << 1});
        TdmKaAlarms dm;
        ErrorTexts errors;
        dm.ImportDataFile(SourceFile(), false);
        QCOMPARE(Value(dm, AlarmField::Title).toString().size(), 25);
        QCOMPARE(Value(dm, AlarmField::Application).toString().size(), 255);
        QCOMPARE(Value(dm, AlarmField::IsThereApp), QVariant(true));
    }

    void missingRequiredFieldImportsNothing()
    {
        WritePacket(SourceFile(), BaseFields(), {BaseRow()});
        TdmKaAlarms dm;
        QCOMPARE(FailureOf([&] { dm.ImportDataFile(SourceFile(), true); }),
                 QStringLiteral("cdsImport: Field 'Sound' not found"));
        dm.cdsAlarms.cancel();
        QCOMPARE(dm.cdsAlarms.recordCount(), 0);
    }

    void fileNameCheck_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("message");
        QTest::newRow("capitals") << QStringLiteral("Alarms.KA2") << 0 << QStringLiteral("Incorrect file name !");
        QTest::newRow("French") << QStringLiteral("Alarms.xml") << 1 << QStringLiteral("Nom de fichier incorrect !");
        QTest::newRow("inside the name") << QStringLiteral("copy.ka2.old") << 0 << QString();
        QTest::newRow("backup") << QStringLiteral("Alarms.ka2.bak") << 0 << QString();
    }

    void fileNameCheck()
    {
        QFETCH(QString, name);
        QFETCH(int, language);
        QFETCH(QString, message);
        WritePacket(SourceFile(name), BaseFields() << F(QStringLiteral("Sound")), {BaseRow() << 1});
        TdmKaAlarms dm;
        KaVar::SetLanguageIndex(language);
        try {
            dm.ImportDataFile(SourceFile(name), true);
            QVERIFY(message.isEmpty());
            QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        } catch (const Exception &e) {
            QCOMPARE(e.message(), message);
            QCOMPARE(dm.cdsAlarms.recordCount(), 0);
        }
    }

    // A date-time outside the years 1 to 9999, from a field of another type,
    // fails the import at that record with the table engine's error: it is
    // never saved into a data file that could not be read back.
    void dateOutOfRangeFailsAtItsRecord_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("XML packet") << QStringLiteral("hostile.ka2.xml");
        QTest::newRow("native packet") << QStringLiteral("hostile.ka2");
    }

    void dateOutOfRangeFailsAtItsRecord()
    {
        QFETCH(QString, name);
        QList<FieldDef> fields = BaseFields() << F(QStringLiteral("Sound"));
        fields[1] = F(QStringLiteral("Date")); // declared an integer
        QList<QVariantList> rows;
        for (int date : {46000, 4000000, 46001}) {
            QVariantList row = BaseRow() << 1;
            row[1] = date;
            rows << row;
        }
        WritePacket(SourceFile(name), fields, rows);
        TdmKaAlarms dm;
        ErrorTexts errors;
        QCOMPARE(FailureOf([&] { dm.ImportDataFile(SourceFile(name), false); }),
                 QStringLiteral("The date and time 4000000 of field 'Date' is out of range (years 1 to 9999)"));
        QVERIFY(errors.texts.isEmpty());
        dm.cdsAlarms.cancel();
        QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        // What was saved reads back.
        Table saved(QStringLiteral("saved"));
        saved.loadFromFile(DataFile());
        QCOMPARE(saved.recordCount(), 1);
        QCOMPARE(saved.fieldByName(AlarmField::Date).asDateTime(), 46000.0);
    }

    // While an import runs, its progress window lets other events run: any
    // other append or post of the master is refused until it ends, so the
    // numbers the import gives stay unique.
    void noOtherPostDuringAnImport()
    {
        QList<QVariantList> rows;
        for (int i = 0; i < 20; ++i)
            rows << (BaseRow() << 1);
        WritePacket(SourceFile(), BaseFields() << F(QStringLiteral("Sound")), rows);
        TdmKaAlarms dm;
        AddAlarm(dm, zel::EncodeDate(2026, 1, 1), QStringLiteral("before"));
        ErrorTexts errors;
        QStringList refused;
        QTimer::singleShot(0, &dm, [&] {
            QVERIFY(dm.ImportRunning());
            try {
                AddAlarm(dm, zel::EncodeDate(2026, 5, 1), QStringLiteral("meanwhile"));
            } catch (const Exception &e) {
                refused << e.message();
            }
            // Nor may a second import start.
            try {
                dm.ImportDataFile(SourceFile(), false);
            } catch (const Exception &e) {
                refused << e.message();
            }
        });
        dm.ImportDataFile(SourceFile(), false);
        QVERIFY(!dm.ImportRunning());
        const QString message = QStringLiteral("An import is running: wait until it ends.");
        QCOMPARE(refused, QStringList({message, message}));
        QCOMPARE(errors.texts, QStringList(QStringLiteral("Import successfull !")));
        QCOMPARE(dm.cdsAlarms.recordCount(), 21);
        QSet<int> numbers;
        for (int i = 0; i < dm.cdsAlarms.recordCount(); ++i)
            numbers << dm.cdsAlarms.withRow(i, [&] { return Value(dm, AlarmField::Number).toInt(); });
        QCOMPARE(numbers.size(), 21);
        // After the import, posting works again.
        AddAlarm(dm, zel::EncodeDate(2026, 5, 1), QStringLiteral("after"));
        QCOMPARE(dm.NextNumber(), 23);
    }

    void xmlPacketsAreRead()
    {
        WritePacket(SourceFile(QStringLiteral("export.ka2.xml")), BaseFields() << F(QStringLiteral("Sound")),
                    {BaseRow() << 0});
        TdmKaAlarms dm;
        dm.ImportDataFile(SourceFile(QStringLiteral("export.ka2.xml")), true);
        QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        QCOMPARE(Value(dm, AlarmField::Sound), QVariant(0));
    }

    void progressTempo_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("tempo");
        QTest::newRow("5") << 5 << 250;
        QTest::newRow("6") << 6 << 100;
        QTest::newRow("10") << 10 << 100;
        QTest::newRow("11") << 11 << 25;
        QTest::newRow("16") << 16 << 0;
    }

    void progressTempo()
    {
        QFETCH(int, records);
        QFETCH(int, tempo);
        QList<QVariantList> rows;
        for (int i = 0; i < records; ++i)
            rows << (BaseRow() << 1);
        WritePacket(SourceFile(), BaseFields() << F(QStringLiteral("Sound")), rows);
        TdmKaAlarms dm;
        ErrorTexts errors;
        // Each pause is recorded with the line shown; nothing waits.
        QStringList lines;
        QList<int> pauses;
        TProgressWindow::SetPauseHook([&](TProgressWindow *window, int ms) {
            pauses << ms;
            const QString line = window->statusLine1();
            if (!line.isEmpty() && (lines.isEmpty() || lines.last() != line))
                lines << line;
        });
        dm.ImportDataFile(SourceFile(), false);
        TProgressWindow::SetPauseHook(NoWait);
        QCOMPARE(dm.ProgressDialog()->tempo(), tempo);
        QCOMPARE(dm.cdsAlarms.recordCount(), records);
        // One pause per record and one more at the end, each of the tempo.
        QCOMPARE(pauses, tempo > 0 ? QList<int>(records + 1, tempo) : QList<int>());
        if (tempo > 0) {
            QCOMPARE(lines.first(), QStringLiteral("Record 1"));
            QCOMPARE(lines.last(), QStringLiteral("Record ") + QString::number(records));
        }
    }

    void closingTheProgressWindowCancels()
    {
        QList<QVariantList> rows;
        for (int i = 0; i < 3; ++i)
            rows << (BaseRow() << 1);
        WritePacket(SourceFile(), BaseFields() << F(QStringLiteral("Sound")), rows);
        TdmKaAlarms dm;
        ErrorTexts errors;
        // Closed by the user during the pause after the first record.
        TProgressWindow::SetPauseHook([](TProgressWindow *window, int) { window->close(); });
        QVERIFY_THROWS_EXCEPTION(EAbort, dm.ImportDataFile(SourceFile(), false));
        TProgressWindow::SetPauseHook(NoWait);
        QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        QVERIFY(errors.texts.isEmpty());
    }

    void emptyTitleStopsANormalImport()
    {
        QList<QVariantList> rows = {BaseRow(QStringLiteral("a")) << 1, BaseRow(QString()) << 1,
                                    BaseRow(QStringLiteral("c")) << 1};
        WritePacket(SourceFile(), BaseFields() << F(QStringLiteral("Sound")), rows);
        TdmKaAlarms dm;
        ErrorTexts errors;
        QCOMPARE(FailureOf([&] { dm.ImportDataFile(SourceFile(), false); }), QStringLiteral("Enter a Title !"));
        QVERIFY(errors.texts.isEmpty());
        // The first record is saved; the failing one waits unposted.
        QCOMPARE(dm.cdsAlarms.recordCount(), 1);
        QCOMPARE(dm.cdsAlarms.state(), DataSetState::Insert);
        dm.cdsAlarms.cancel();
        Table saved(QStringLiteral("saved"));
        saved.loadFromFile(DataFile());
        QCOMPARE(saved.recordCount(), 1);
    }
};

QTEST_MAIN(TestImport)
#include "tst_import.moc"
