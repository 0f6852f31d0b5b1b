// Filter texts of the views: the forms the program writes, parsed once and
// evaluated against rows, and every date literal the program writes read back.
#include "base/U_KA_Var.h"
#include "store/FilterExpression.h"
#include "store/TableEngine.h"
#include "support/Failure.h"

#include <QTest>

using testsupport::FailureOf;

using namespace store;

namespace {

QList<FieldDef> Fields()
{
    return {
        {QStringLiteral("Number"), FieldType::Integer, 0, true, false},
        {QStringLiteral("Date"), FieldType::DateTime, 0, false, false},
        {QStringLiteral("Title"), FieldType::String, 25, false, false},
        {QStringLiteral("Enabled"), FieldType::Integer, 0, false, false},
        {QStringLiteral("Deleted"), FieldType::Integer, 0, false, false},
    };
}

TDateTime At(int hour, int minute, int second = 0)
{
    return zel::EncodeDateTime(2026, 3, 10, hour, minute, second);
}

// Restores the process's date formats after a test changed them.
struct FormatsGuard
{
    zel::FormatSettings saved = zel::Formats();
    ~FormatsGuard() { zel::Formats() = saved; }
};

} // namespace

class TestFilter : public QObject
{
    Q_OBJECT

    Table m_master{QStringLiteral("master")};

private Q_SLOTS:
    void initTestCase()
    {
        KaVar::Initialize();
        m_master.setFieldDefs(Fields());
        m_master.setIndexFieldName(QStringLiteral("Number"));
        m_master.createDataSet();
        m_master.appendRecord({1, At(8, 0), QStringLiteral("O'Brien"), 1, 0});
        m_master.appendRecord({2, At(8, 0, 30), QStringLiteral("b"), 0, 0});
        m_master.appendRecord({3, At(8, 1), QStringLiteral("c"), 1, 1});
        m_master.appendRecord({4, QVariant(), QStringLiteral("d"), 1, 0});
    }

    void filters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QList<int>>("numbers");
        const QString eight = zel::DateTimeToStr(At(8, 0));
        const QString eightOne = zel::DateTimeToStr(At(8, 1));
        const QString midnight = zel::DateTimeToStr(At(0, 0));
        QTest::newRow("none") << QString() << QList<int>{1, 2, 3, 4};
        QTest::newRow("not deleted") << QStringLiteral("Deleted = 0") << QList<int>{1, 2, 4};
        QTest::newRow("trash") << QStringLiteral("Deleted = 1") << QList<int>{3};
        QTest::newRow("and") << QStringLiteral("Deleted = 0 and Enabled = 1") << QList<int>{1, 4};
        QTest::newRow("due check") << QStringLiteral("Deleted = 0 and Enabled = 1 and Date <= '%1'").arg(eight)
                                   << QList<int>{1};
        // The seconds of a stored date count: 08:00:30 is later than "08:00".
        QTest::newRow("minute resolution") << QStringLiteral("Date <= '%1'").arg(eight) << QList<int>{1};
        QTest::newRow("at or after") << QStringLiteral("Date >= '%1'").arg(eightOne) << QList<int>{3};
        QTest::newRow("before") << QStringLiteral("Date < '%1'").arg(eightOne) << QList<int>{1, 2};
        QTest::newRow("midnight literal") << QStringLiteral("Date < '%1'").arg(midnight) << QList<int>{};
        QTest::newRow("doubled quote") << QStringLiteral("Title = 'O''Brien'") << QList<int>{1};
        QTest::newRow("case and blanks") << QStringLiteral("  deleted=0 AND enabled=1 ") << QList<int>{1, 4};
        QTest::newRow("other operators") << QStringLiteral("Number > 1 and Number <> 3") << QList<int>{2, 4};
    }

    void filters()
    {
        QFETCH(QString, filter);
        QFETCH(QList<int>, numbers);
        Table view(QStringLiteral("view"));
        view.setProvider(&m_master);
        view.setFilter(filter);
        view.open();
        QList<int> found;
        for (view.first(); !view.eof(); view.next())
            found.append(view.fieldByName(QStringLiteral("Number")).asInteger());
        QCOMPARE(found, numbers);
    }

    void badFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::newRow("no operator") << QStringLiteral("Deleted");
        QTest::newRow("no value") << QStringLiteral("Deleted = ");
        QTest::newRow("double equal") << QStringLiteral("Deleted == 0");
        QTest::newRow("absent field") << QStringLiteral("Beep = 1");
        QTest::newRow("or") << QStringLiteral("Deleted = 0 or Enabled = 1");
        QTest::newRow("bad date") << QStringLiteral("Date <= 'tomorrow'");
        QTest::newRow("unterminated") << QStringLiteral("Date <= '3/10/2026");
        QTest::newRow("number for text") << QStringLiteral("Title = 5");
        QTest::newRow("stray character") << QStringLiteral("Deleted = 0 ; drop");
    }

    void badFilters()
    {
        QFETCH(QString, filter);
        Table view(QStringLiteral("view"));
        view.setProvider(&m_master);
        const QString failure = FailureOf([&] { view.setFilter(filter); });
        QVERIFY2(failure.contains(QLatin1Char('"') + filter + QLatin1Char('"')), qPrintable(failure));
    }

    void fourDigitYears_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en_US") << QStringLiteral("M/d/yy") << QStringLiteral("M/d/yyyy");
        QTest::newRow("de_DE") << QStringLiteral("dd.MM.yy") << QStringLiteral("dd.MM.yyyy");
        QTest::newRow("one y") << QStringLiteral("y/M/d") << QStringLiteral("yyyy/M/d");
        QTest::newRow("already") << QStringLiteral("dd/MM/yyyy") << QStringLiteral("dd/MM/yyyy");
    }

    void fourDigitYears()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, expected);
        QCOMPARE(zel::FourDigitYearPattern(pattern), expected);
    }

    // Every date-time the program writes, in several locales, reads back as
    // the same minute, and as a filter literal selects exactly that minute.
    void dateLiteralsRoundTrip_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : {"en_US", "fr_FR", "de_DE", "ja_JP", "C"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void dateLiteralsRoundTrip()
    {
        QFETCH(QString, locale);
        FormatsGuard guard;
        zel::FormatSettings &f = zel::Formats();
        f.locale = QLocale(locale);
        f.shortDateFormat = zel::FourDigitYearPattern(f.locale.dateFormat(QLocale::ShortFormat));

        const QList<TDateTime> values = {
            zel::EncodeDateTime(2026, 12, 10, 11, 38, 42), zel::EncodeDateTime(2026, 1, 1, 0, 0),
            zel::EncodeDateTime(1930, 6, 15, 23, 59, 59),  zel::EncodeDateTime(2099, 2, 28, 0, 1),
            zel::EncodeDateTime(2024, 2, 29, 12, 0),       zel::EncodeDateTime(2001, 9, 9, 1, 46, 40, 500),
        };
        for (TDateTime value : values) {
            const QString text = zel::DateTimeToStr(value);
            const TDateTime minute = zel::RoundToMs(std::floor(value * 1440.0 + 1e-9) / 1440.0);
            QVERIFY2(text.contains(QString::number(zel::ToQDate(value).year())), qPrintable(text));
            QCOMPARE(zel::StrToDateTime(text), minute);

            Table master(QStringLiteral("m"));
            master.setFieldDefs(Fields());
            master.createDataSet();
            master.appendRecord({1, minute, QStringLiteral("a"), 1, 0});
            master.appendRecord({2, minute + zel::OneMinute, QStringLiteral("b"), 1, 0});
            Table view(QStringLiteral("v"));
            view.setProvider(&master);
            view.setFilter(
                QStringLiteral("Date = '%1'").arg(QString(text).replace(QLatin1Char('\''), QStringLiteral("''"))));
            view.open();
            QCOMPARE(view.recordCount(), 1);
            QCOMPARE(view.fieldByName(QStringLiteral("Number")).asInteger(), 1);
        }
    }

    // In every locale Qt knows, the due filter of a fixed moment reads its
    // date literal back as the same minute: the literal's digits are ASCII
    // whatever digits the locale has (Chakma's and Adlam's cannot be read
    // back by Qt), the rest of the short date is the locale's.
    void dueFilterRoundTripsInEveryLocale()
    {
        FormatsGuard guard;
        zel::FormatSettings &f = zel::Formats();
        const TDateTime moment = zel::EncodeDateTime(2026, 12, 10, 18, 47);
        Table master(QStringLiteral("m"));
        master.setFieldDefs(Fields());
        master.createDataSet();
        master.appendRecord({1, moment, QStringLiteral("due"), 1, 0});
        master.appendRecord({2, moment + zel::OneMinute, QStringLiteral("next minute"), 1, 0});
        QStringList failed;
        int locales = 0;
        int otherDigits = 0;
        for (const QLocale &locale :
             QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            ++locales;
            otherDigits += locale.zeroDigit() != QLatin1String("0");
            f.locale = locale;
            f.shortDateFormat = zel::FourDigitYearPattern(locale.dateFormat(QLocale::ShortFormat));
            const QString literal = zel::DateTimeToStr(moment);
            TDateTime back = 0;
            if (!zel::TryStrToDateTime(literal, back) || back != moment) {
                failed << locale.name() + QStringLiteral(": ") + literal;
                continue;
            }
            Table view(QStringLiteral("v"));
            view.setProvider(&master);
            view.setFilter(QStringLiteral("Deleted = 0 and Enabled = 1 and Date <= '") +
                           QString(literal).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\''));
            view.open();
            if (view.recordCount() != 1 || view.fieldByName(QStringLiteral("Number")).asInteger() != 1)
                failed << locale.name() + QStringLiteral(": filter ") + view.filter();
        }
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QStringLiteral("\n"))));
        QVERIFY(locales > 100);
        QVERIFY(otherDigits > 0);
    }

    // The locale's own digits are still read (a text typed by the user).
    void localeDigitsAreRead()
    {
        FormatsGuard guard;
        zel::FormatSettings &f = zel::Formats();
        f.locale = QLocale(QLocale::Arabic, QLocale::Egypt);
        f.shortDateFormat = QStringLiteral("d/M/yyyy");
        const QString text = f.locale.toString(QDate(2026, 3, 10), f.shortDateFormat) + QLatin1Char(' ') +
                             f.locale.toString(QTime(8, 5), QStringLiteral("HH:mm"));
        QVERIFY(text.front().unicode() > 0x7f);
        QCOMPARE(zel::StrToDateTime(text), zel::EncodeDateTime(2026, 3, 10, 8, 5));
        QCOMPARE(zel::DateTimeToStr(zel::EncodeDateTime(2026, 3, 10, 8, 5)), QStringLiteral("10/3/2026 08:05"));
    }

    void timeFormatIsHoursAndMinutes()
    {
        QCOMPARE(zel::DateTimeToStr(zel::EncodeDateTime(2026, 3, 10, 8, 5, 59)), QStringLiteral("3/10/2026 08:05"));
        QCOMPARE(zel::DateTimeToStr(zel::EncodeDate(2026, 3, 10)), QStringLiteral("3/10/2026"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, zel::StrToDateTime(QStringLiteral("3/10/2026 25:00")));
    }
};

QTEST_MAIN(TestFilter)
#include "tst_filter.moc"
