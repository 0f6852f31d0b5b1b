#pragma once

#include "diag/ZelDateTime.h"
#include "diag/ZelException.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVarLengthArray>
#include <QVariant>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// The in-memory table engine behind the alarm table and its views: tables built
// from field definitions, a cursor, edit/insert/post/cancel with events, views
// fed from a master through a provider with a filter text and an index field,
// data sources that notify the controls, and the data-packet files.
namespace store {

class FilterExpression;
class RowOrder;
struct KeyRange;

// Failure of the engine (required field, absent field, bad value, bad file).
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
};

enum class FieldType { Integer, DateTime, String, Memo, Boolean };

struct FieldDef
{
    QString name;
    FieldType type = FieldType::Integer;
    int size = 0; // strings: the most characters kept; 0 means no limit
    bool required = false;
    bool calculated = false;

    friend bool operator==(const FieldDef &, const FieldDef &) = default;
};

QString FieldTypeName(FieldType type);

// The date-times a field holds and a file carries: the years 1 to 9999 (a
// negative value before 1899-12-30 still counts its time of day forwards).
inline constexpr double MinDateTime = -693594.0; // exclusive: 1 January 0001 is -693593
inline constexpr double MaxDateTime = 2958466.0; // exclusive: 1 January 10000
bool IsValidDateTime(double value);

// The first characters of a text, at most size (none when size is 0 or
// less): a surrogate pair that the cut would split is left out whole.
QString CutText(const QString &text, int size);

// One row: numbers (integers, date-times and booleans are all kept as double)
// and strings in slots assigned per field, and a null bit per field. Rows are
// immutable once posted and shared between a master and its views, so a view
// keeps its snapshot however the master changes afterwards.
struct RowData
{
    quint64 nullMask = 0;
    QVarLengthArray<double, 12> numbers;
    QVarLengthArray<QString, 4> strings;
};
using Row = std::shared_ptr<const RowData>;

// Where each field's value lives in a row: numbers and strings each take the
// next slot of their kind, in field order. Tables and files share this rule.
struct RowLayout
{
    std::vector<int> slots;
    int numbers = 0;
    int strings = 0;
    int fields = 0;

    static RowLayout of(const QList<FieldDef> &defs);
    // A row of the layout with every field null.
    RowData emptyRow() const;
};

class Table;
class Field;

// Text of a field for display (display = true) or for editing.
using GetTextHandler = std::function<QString(const Field &field, bool display)>;

class Field
{
public:
    Field(Table *table, int index, FieldDef def, int slot);

    const QString &fieldName() const { return m_def.name; }
    FieldType dataType() const { return m_def.type; }
    int size() const { return m_def.size; }
    bool required() const { return m_def.required; }
    bool calculated() const { return m_def.calculated; }
    const FieldDef &def() const { return m_def; }
    int index() const { return m_index; }
    Table *dataSet() const { return m_table; }

    bool isNull() const;
    QVariant value() const;
    int asInteger() const;
    TDateTime asDateTime() const;
    double asFloat() const;
    QString asString() const;
    bool asBoolean() const;

    void setValue(const QVariant &value);
    void setAsInteger(int value);
    void setAsDateTime(TDateTime value);
    void setAsString(const QString &value);
    void setAsBoolean(bool value);
    void clear();

    // The text shown for the current value: the get-text handler when there is
    // one, otherwise the engine's own text.
    QString displayText() const;
    QString text() const;

    // Presentation properties used by the grids.
    QString displayLabel;
    bool visible = true;
    bool readOnly = false;
    Qt::Alignment alignment = Qt::AlignLeft;
    int displayWidth = 0;
    // Texts for true and false of a boolean field.
    QString trueText = QStringLiteral("True");
    QString falseText = QStringLiteral("False");
    GetTextHandler onGetText;

    // Slot in the row (numbers or strings according to the type).
    int slot() const { return m_slot; }
    bool isStringType() const { return m_def.type == FieldType::String || m_def.type == FieldType::Memo; }

private:
    QString defaultText() const;
    void checkWritable() const;
    void setNumber(double value);

    Table *m_table;
    int m_index;
    FieldDef m_def;
    int m_slot;
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

class DataSource;

class Table : public QObject
{
    Q_OBJECT

public:
    explicit Table(const QString &name, QObject *parent = nullptr);
    ~Table() override;

    // Structure. The field list can be changed only while the table is closed.
    void setFieldDefs(const QList<FieldDef> &defs);
    const QList<FieldDef> &fieldDefs() const { return m_defs; }
    int fieldCount() const { return int(m_fields.size()); }
    Field &field(int index) const;
    Field &fieldByName(const QString &name) const;
    Field *findField(const QString &name) const;

    // Opening and closing. createDataSet opens the table empty; open() of a
    // view re-reads it from its provider.
    void createDataSet();
    void open();
    void close();
    bool active() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // Views: the master they are fed from, the filter text (parsed when set)
    // and the index field that orders them.
    void setProvider(Table *master);
    Table *provider() const { return m_provider; }
    void setFilter(const QString &filter);
    const QString &filter() const { return m_filterText; }
    void setIndexFieldName(const QString &name);
    const QString &indexFieldName() const { return m_indexFieldName; }
    // Re-reads every master row that satisfies the filter, ordered by the
    // index field (stable: equal keys keep the master's order), and goes to
    // the first row. A filter that bounds a number index field (the due
    // view's "Date <= ...", with equalities on other number fields) is read
    // from an order of the master on those fields, kept up to date with the
    // master's rows: only the rows within the bounds are visited.
    void refresh();
    // Whether refresh may read from such an order (the default); off, it
    // tests every master row. Both give the same rows in the same order.
    void setOrderedReads(bool on) { m_orderedReads = on; }
    bool orderedReads() const { return m_orderedReads; }
    // A count that grows with every change of the rows (a post, an append, a
    // delete, a load or any change in bulk); safe to read from any thread.
    quint64 changes() const noexcept { return m_changes.load(std::memory_order_acquire); }
    // How many master rows the last refresh tested against the filter.
    int lastRefreshVisited() const { return m_lastRefreshVisited; }

    // Cursor.
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    void setRecNo(int recNo); // 0-based position
    int recNo() const { return m_cursor; }
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    int recordCount() const { return int(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }

    // Goes to the first row whose field equals the value; false when none.
    bool locate(const QString &fieldName, const QVariant &value);

    // Changes.
    void append();
    void appendRecord(const QVariantList &values);
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    // Removes every row (the table stays open).
    void emptyDataSet();

    // Events of the master table.
    std::function<void(Table &)> beforeInsert;
    std::function<void(Table &)> afterInsert;
    std::function<void(Table &)> beforePost;
    std::function<void(Table &)> afterPost;
    std::function<void(Table &)> afterCancel;
    std::function<void(Table &)> onCalcFields;

    // Suspends the notifications to the data sources; nested. When the last
    // suspension ends, the data sources are told that the data set changed.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Files. The file name is where the owner saves the table; saveToFile
    // writes the whole table (atomic replace), loadFromFile replaces the
    // structure and rows with a file's and makes the table read-only.
    QString fileName;
    enum class FileFormat { Binary, Xml };
    void saveToFile(const QString &fileName, FileFormat format = FileFormat::Binary) const;
    // The bytes saveToFile writes; fails, naming the file, on a value the
    // file could not carry back.
    QByteArray saveToBytes(const QString &fileName, FileFormat format = FileFormat::Binary) const;
    void loadFromFile(const QString &fileName);

    // Rows, for the engine's own readers and writers and the item models.
    const std::vector<Row> &rows() const { return m_rows; }
    // Reads fields on the given row instead of the cursor while the function
    // runs (no cursor move, no notification).
    template <typename F>
    auto withRow(int index, F &&function) const
    {
        const RowData *saved = m_peek;
        m_peek = m_rows.at(size_t(index)).get();
        struct Restore
        {
            const Table *t;
            const RowData *p;
            ~Restore() { t->m_peek = p; }
        } restore{this, saved};
        return function();
    }

    // Field storage used by Field.
    const RowData *readRow() const;
    RowData *writeRow();
    bool calculating() const { return m_calculating; }

    // Builds a field list for a view: the master's fields, the calculated ones
    // made ordinary read-only fields holding the master's values.
    static QList<FieldDef> viewDefs(const QList<FieldDef> &masterDefs);

private:
    friend class DataSource;
    friend class Field;
    void checkActive() const;
    void checkBrowseMode();
    void checkWritable() const;
    void buildFields();
    void calculateFields();
    void checkRequiredFields() const;
    int insertPosition(const RowData &row) const;
    void setCursor(int index);
    // The one order of the rows of a table with an index field: a null key
    // first, then numbers ascending or texts ascending without regard to
    // case. Negative, zero or positive as a comes before, with or after b.
    int compareRows(const RowData &a, const RowData &b) const;
    // The key compareRows orders rows of a number index field by: the
    // number, a null key below every number.
    double numberKey(const RowData &row) const;
    void updateIndexField();
    // Reads the view's rows from an order of the master; false when the
    // order cannot answer (the caller then tests every row).
    bool readFromOrder(const FilterExpression &filter, const KeyRange &range);
    // The master's order on the range's fields, made when it has none.
    RowOrder &rowOrder(const KeyRange &range);
    // Positions of some of the rows in this table's order; false when one is
    // not there.
    bool positionsOf(const std::vector<const RowData *> &rows, std::vector<size_t> &positions) const;
    // Keep the orders in step with a row put in or taken out of m_rows.
    void rowAdded(const Row &row) noexcept;
    void rowRemoved(const RowData &row) noexcept;
    void dropOrders() noexcept;
    void fieldChanged(Field *field);
    void notifyDataSetChange();
    void notifyScroll();
    void notifyState();
    void notifyUpdateData();
    void setState(DataSetState state);
    template <typename F>
    void forEachSource(F &&function);

    QList<FieldDef> m_defs;
    std::vector<std::unique_ptr<Field>> m_fields;
    RowLayout m_layout;
    std::vector<Row> m_rows;
    int m_cursor = -1;
    bool m_bof = true;
    bool m_eof = true;
    DataSetState m_state = DataSetState::Inactive;
    bool m_readOnly = false;
    // The row being edited or inserted, and where an edited row sits.
    std::unique_ptr<RowData> m_buffer;
    int m_editIndex = -1;
    mutable const RowData *m_peek = nullptr;
    bool m_calculating = false;

    QPointer<Table> m_provider;
    QString m_filterText;
    std::shared_ptr<const FilterExpression> m_filter;
    QString m_indexFieldName;
    int m_indexField = -1;
    int m_indexSlot = -1;
    bool m_indexIsString = false;

    // Orders of the rows that views of this table read from.
    std::vector<std::unique_ptr<RowOrder>> m_orders;
    bool m_orderedReads = true;
    std::atomic<quint64> m_changes{0};
    int m_lastRefreshVisited = 0;

    int m_disableCount = 0;
    bool m_pendingChange = false;
    QList<QPointer<DataSource>> m_sources;
};

// Suspends the display updates of a table while alive: whatever way the scope
// is left (return, exception), the suspension ends. Ending it notifies the
// data sources, which may fail: on a normal exit that failure goes on to the
// caller; while an exception already unwinds the scope it is dropped, so the
// first failure is the one reported.
class DisplaySuspension
{
public:
    explicit DisplaySuspension(Table &table) : DisplaySuspension(&table) {}
    // A null table suspends nothing (a suspension that only applies sometimes).
    explicit DisplaySuspension(Table *table) : m_table(table), m_unwinding(std::uncaught_exceptions())
    {
        if (m_table)
            m_table->disableControls();
    }
    ~DisplaySuspension() noexcept(false)
    {
        if (!m_table)
            return;
        if (std::uncaught_exceptions() > m_unwinding) {
            try {
                m_table->enableControls();
            } catch (...) {
            }
            return;
        }
        m_table->enableControls();
    }
    DisplaySuspension(const DisplaySuspension &) = delete;
    DisplaySuspension &operator=(const DisplaySuspension &) = delete;

private:
    Table *m_table;
    int m_unwinding;
};

// Links a table to the controls that show it: forwards the data-change and
// state-change notifications of its table.
class DataSource : public QObject
{
    Q_OBJECT

public:
    explicit DataSource(const QString &name, QObject *parent = nullptr);
    ~DataSource() override;

    void setDataSet(Table *table);
    Table *dataSet() const { return m_table; }
    bool autoEdit = false;

    // Handlers called directly by the table before the signals are emitted;
    // their exceptions reach whoever changed the table.
    std::function<void(DataSource *, Field *)> onDataChange;
    std::function<void(DataSource *)> onStateChange;
    std::function<void(DataSource *)> onUpdateData;

Q_SIGNALS:
    // A field of the current record changed (field set), or the record or the
    // data set changed or scrolled (field null).
    void dataChange(store::Field *field);
    void stateChange();
    void updateData();
    // The rows may have changed (re-read, rows added or removed): models reset.
    void rowsChanged();
    // The current row moved.
    void scrolled();
    // The current record's values changed.
    void recordChanged(store::Field *field);

private:
    QPointer<Table> m_table;
};

} // namespace store
