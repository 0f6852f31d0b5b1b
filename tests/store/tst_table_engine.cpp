// The table engine: cursor, changes and their events, required fields, the
// master's order, views as snapshots, display suspension and the item model.
#include "store/TableEngine.h"
#include "store/TableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace store;

namespace {

QList<FieldDef> Fields()
{
    return {
        {QStringLiteral("Number"), FieldType::Integer, 0, true, false},
        {QStringLiteral("Date"), FieldType::DateTime, 0, false, false},
        {QStringLiteral("Title"), FieldType::String, 5, false, false},
        {QStringLiteral("Deleted"), FieldType::Integer, 0, false, false},
        {QStringLiteral("HasTitle"), FieldType::Boolean, 0, false, true},
    };
}

void Add(Table &t, int number, double date, const QString &title, int deleted = 0)
{
    t.appendRecord({number, date, title, deleted});
}

QList<int> Numbers(Table &t)
{
    QList<int> result;
    for (int i = 0; i < t.recordCount(); ++i)
        result.append(t.withRow(i, [&] { return t.fieldByName(QStringLiteral("Number")).asInteger(); }));
    return result;
}

} // namespace

class TestTableEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cursorWalksRowsAndMarksEnds()
    {
        Table t(QStringLiteral("t"));
        t.setFieldDefs(Fields());
        t.createDataSet();
        QVERIFY(t.bof() && t.eof());
        QCOMPARE(t.recordCount(), 0);
        for (int i = 1; i <= 3; ++i)
            Add(t, i, 100 + i, QStringLiteral("a"));
        QCOMPARE(t.recordCount(), 3);

        QList<int> seen;
        t.first();
        QVERIFY(t.bof());
        while (!t.eof()) {
            seen.append(t.fieldByName(QStringLiteral("Number")).asInteger());
            t.next();
        }
        QCOMPARE(seen, QList<int>({1, 2, 3}));
        QCOMPARE(t.fieldByName(QStringLiteral("Number")).asInteger(), 3);

        seen.clear();
        t.last();
        while (!t.bof()) {
            seen.append(t.fieldByName(QStringLiteral("Number")).asInteger());
            t.prior();
        }
        QCOMPARE(seen, QList<int>({3, 2, 1}));
    }

    void changesRunTheirEventsInOrder()
    {
        Table t(QStringLiteral("t"));
        t.setFieldDefs(Fields());
        t.createDataSet();
        QStringList log;
        t.beforeInsert = [&](Table &) { log << QStringLiteral("beforeInsert"); };
        t.afterInsert = [&](Table &x) {
            log << QStringLiteral("afterInsert");
            x.fieldByName(QStringLiteral("Number")).setAsInteger(7);
        };
        t.beforePost = [&](Table &) { log << QStringLiteral("beforePost"); };
        t.afterPost = [&](Table &) { log << QStringLiteral("afterPost"); };
        t.afterCancel = [&](Table &) { log << QStringLiteral("afterCancel"); };
        t.onCalcFields = [](Table &x) {
            x.fieldByName(QStringLiteral("HasTitle")).setAsBoolean(!x.fieldByName(QStringLiteral("Title")).isNull());
        };

        t.append();
        QCOMPARE(t.state(), DataSetState::Insert);
        QCOMPARE(t.fieldByName(QStringLiteral("HasTitle")).asBoolean(), false);
        t.fieldByName(QStringLiteral("Title")).setAsString(QStringLiteral("abcdefgh"));
        // Strings are cut to the field's size; calculated fields follow.
        QCOMPARE(t.fieldByName(QStringLiteral("Title")).asString(), QStringLiteral("abcde"));
        QCOMPARE(t.fieldByName(QStringLiteral("HasTitle")).asBoolean(), true);
        t.post();
        QCOMPARE(t.state(), DataSetState::Browse);
        QCOMPARE(t.fieldByName(QStringLiteral("Number")).asInteger(), 7);

        t.edit();
        t.fieldByName(QStringLiteral("Title")).setAsString(QStringLiteral("x"));
        t.cancel();
        QCOMPARE(t.fieldByName(QStringLiteral("Title")).asString(), QStringLiteral("abcde"));
        QCOMPARE(log, QStringList({QStringLiteral("beforeInsert"), QStringLiteral("afterInsert"),
                                   QStringLiteral("beforePost"), QStringLiteral("afterPost"),
                                   QStringLiteral("afterCancel")}));

        // A calculated field is written only by the calculation.
        t.edit();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, t.fieldByName(QStringLiteral("HasTitle")).setAsBoolean(false));
        t.cancel();
    }

    void nullRequiredFieldFailsThePost()
    {
        Table t(QStringLiteral("t"));
        t.setFieldDefs(Fields());
        t.createDataSet();
        t.append();
        t.fieldByName(QStringLiteral("Title")).setAsString(QStringLiteral("a"));
        try {
            t.post();
            QFAIL("post succeeded");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.message(), QStringLiteral("Field 'Number' must have a value"));
        }
        QCOMPARE(t.state(), DataSetState::Insert);
        QCOMPARE(t.recordCount(), 0);
        t.cancel();
    }

    void fieldsByNameAndBadValues()
    {
        Table t(QStringLiteral("cdsX"));
        t.setFieldDefs(Fields());
        t.createDataSet();
        QVERIFY(t.findField(QStringLiteral("Beep")) == nullptr);
        QVERIFY(t.findField(QStringLiteral("title")) != nullptr);
        try {
            t.fieldByName(QStringLiteral("Beep"));
            QFAIL("no failure");
        } catch (const EDatabaseError &e) {
            QCOMPARE(e.message(), QStringLiteral("cdsX: Field 'Beep' not found"));
        }
        // Writing outside edit mode and writing a bad value fail with a message.
        Add(t, 1, 1, QStringLiteral("a"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, t.fieldByName(QStringLiteral("Number")).setAsInteger(2));
        t.edit();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError,
                                 t.fieldByName(QStringLiteral("Number")).setAsString(QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, t.fieldByName(QStringLiteral("Number")).setValue(qint64(1) << 40));
        t.cancel();
        // Reading text that is no number fails too.
        t.edit();
        t.fieldByName(QStringLiteral("Title")).setAsString(QStringLiteral("x1"));
        QVERIFY_THROWS_EXCEPTION(EConvertError, t.fieldByName(QStringLiteral("Title")).asInteger());
        t.cancel();
    }

    void masterKeepsItsIndexOrder()
    {
        Table t(QStringLiteral("t"));
        t.setFieldDefs(Fields());
        t.setIndexFieldName(QStringLiteral("Number"));
        t.createDataSet();
        for (int n : {5, 2, 9, 2})
            Add(t, n, n, QString::number(n));
        QCOMPARE(Numbers(t), QList<int>({2, 2, 5, 9}));
        // Equal keys stay in the order they came.
        QCOMPARE(t.withRow(1, [&] { return t.fieldByName(QStringLiteral("Title")).asString(); }), QStringLiteral("2"));
        QVERIFY(t.locate(QStringLiteral("Number"), 5));
        QCOMPARE(t.recNo(), 2);
        QVERIFY(!t.locate(QStringLiteral("Number"), 6));
        QCOMPARE(t.recNo(), 2);
        t.edit();
        t.fieldByName(QStringLiteral("Number")).setAsInteger(1);
        t.post();
        QCOMPARE(Numbers(t), QList<int>({1, 2, 2, 9}));
        QCOMPARE(t.recNo(), 0);
        t.deleteRecord();
        QCOMPARE(Numbers(t), QList<int>({2, 2, 9}));
        t.emptyDataSet();
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, t.deleteRecord());
    }

    void viewsAreFilteredSortedSnapshots()
    {
        Table master(QStringLiteral("master"));
        master.setFieldDefs(Fields());
        master.setIndexFieldName(QStringLiteral("Number"));
        master.createDataSet();
        Add(master, 1, 30, QStringLiteral("c"));
        Add(master, 2, 10, QStringLiteral("a"), 1);
        Add(master, 3, 20, QStringLiteral("b"));
        Add(master, 4, 20, QStringLiteral("b2"));

        Table view(QStringLiteral("view"));
        view.setProvider(&master);
        view.setFilter(QStringLiteral("Deleted = 0"));
        view.setIndexFieldName(QStringLiteral("Date"));
        view.open();
        QCOMPARE(Numbers(view), QList<int>({3, 4, 1}));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, view.edit());

        // The view keeps what it read until it is re-read.
        master.locate(QStringLiteral("Number"), 3);
        master.edit();
        master.fieldByName(QStringLiteral("Deleted")).setAsInteger(1);
        master.post();
        QCOMPARE(Numbers(view), QList<int>({3, 4, 1}));
        view.first();
        QCOMPARE(view.fieldByName(QStringLiteral("Deleted")).asInteger(), 0);
        view.refresh();
        QCOMPARE(Numbers(view), QList<int>({4, 1}));
        QCOMPARE(view.recNo(), 0);

        // Sorting a view by another field, as a grid title click does.
        view.setIndexFieldName(QStringLiteral("Title"));
        QCOMPARE(Numbers(view), QList<int>({4, 1}));
        view.setIndexFieldName(QStringLiteral("Number"));
        QCOMPARE(Numbers(view), QList<int>({1, 4}));
    }

    void suspendedDisplayNotifiesOnceAtTheEnd()
    {
        Table t(QStringLiteral("t"));
        t.setFieldDefs(Fields());
        t.createDataSet();
        DataSource ds(QStringLiteral("ds"));
        ds.setDataSet(&t);
        QSignalSpy changes(&ds, &DataSource::dataChange);
        QSignalSpy states(&ds, &DataSource::stateChange);

        t.disableControls();
        t.disableControls();
        Add(t, 1, 1, QStringLiteral("a"));
        Add(t, 2, 2, QStringLiteral("b"));
        t.enableControls();
        QCOMPARE(changes.count(), 0);
        t.enableControls();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().first().value<Field *>(), nullptr);

        changes.clear();
        t.edit();
        QCOMPARE(states.count(), 2);
        t.fieldByName(QStringLiteral("Title")).setAsString(QStringLiteral("z"));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().first().value<Field *>(), &t.fieldByName(QStringLiteral("Title")));
        t.cancel();
    }

    void modelShowsDisplayTexts()
    {
        Table master(QStringLiteral("master"));
        master.setFieldDefs(Fields());
        master.setIndexFieldName(QStringLiteral("Number"));
        master.onCalcFields = [](Table &x) {
            x.fieldByName(QStringLiteral("HasTitle")).setAsBoolean(!x.fieldByName(QStringLiteral("Title")).isNull());
        };
        master.createDataSet();
        Table view(QStringLiteral("view"));
        view.setProvider(&master);
        view.setIndexFieldName(QStringLiteral("Date"));
        view.open();
        DataSource ds(QStringLiteral("ds"));
        ds.setDataSet(&view);
        view.fieldByName(QStringLiteral("Deleted")).onGetText = [](const Field &f, bool display) {
            return display && !f.isNull() ? QStringLiteral("D%1").arg(f.asInteger()) : QString();
        };
        view.fieldByName(QStringLiteral("Date")).visible = false;

        TableModel model(&ds);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 4);
        Add(master, 1, 20, QStringLiteral("late"));
        Add(master, 2, 10, QStringLiteral("early"), 1);
        QCOMPARE(model.rowCount(), 0); // a snapshot until re-read
        view.refresh();
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Title"));
        QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("early"));
        QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("D1"));
        QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("True"));
        QCOMPARE(model.index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::AlignRight);

        QSignalSpy moved(&model, &TableModel::currentRowChanged);
        view.last();
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.first().first().toInt(), 1);
        master.close();
        view.close();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(TestTableEngine)
#include "tst_table_engine.moc"
