// The translator on its own: the language file reader, lists of texts as one
// value, and the walk over a small window (names by ownership, objects held
// in properties, lists, collections, one visit per object, the lookup's
// default), with the file's path and cache.
#include "base/Translator.h"
#include "support/BaseSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// An object held in a property, not a component: a title with a caption.
class Title : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER caption)

public:
    using QObject::QObject;
    QString caption;
};

// A component with a text list, an object held in a property, and a
// collection of such objects; the same title is also the first column's, to
// show it is visited once.
class Holder : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QStringList Lines MEMBER lines)
    Q_PROPERTY(QObject *Title READ titleObject)
    Q_PROPERTY(QObjectList Columns READ columnList)

public:
    explicit Holder(QWidget *parent) : QWidget(parent), title(new ::Title(this))
    {
        title->caption = QStringLiteral("Heading");
        for (const char *c : {"Date", "Text"}) {
            auto *column = new ::Title(this);
            column->caption = QString::fromLatin1(c);
            columns << column;
        }
    }
    QObject *titleObject() const { return title; }
    QObjectList columnList() const
    {
        QObjectList list;
        for (::Title *c : columns)
            list << c;
        return list;
    }

    QStringList lines = {QStringLiteral("one"), QStringLiteral("two")};
    ::Title *title;
    QList<::Title *> columns;
};

// The window: a caption, a panel with a named button inside an unnamed
// frame, a group box, a combo, a list, a menu and its action, an edit box
// holding a user's text, an unnamed label, and a dialog of its own.
struct Window
{
    QWidget window;
    QToolButton *button;
    QGroupBox *group;
    QComboBox *combo;
    QListWidget *list;
    QMenu *menu;
    QAction *action;
    QLineEdit *edit;
    QLabel *unnamed;
    Holder *holder;
    QDialog *dialog;
    QLabel *dialogLabel;

    Window()
    {
        window.setObjectName(QStringLiteral("fmTest"));
        window.setWindowTitle(QStringLiteral("Test window"));
        auto *panel = new QWidget(&window);
        panel->setObjectName(QStringLiteral("pnMain"));
        auto *frame = new QWidget(panel);
        button = new QToolButton(frame);
        button->setObjectName(QStringLiteral("btnGo"));
        button->setText(QStringLiteral("Go"));
        button->setToolTip(QStringLiteral("Go now"));
        group = new QGroupBox(QStringLiteral("Group"), panel);
        group->setObjectName(QStringLiteral("gbxGroup"));
        combo = new QComboBox(group);
        combo->setObjectName(QStringLiteral("cbKind"));
        combo->addItems({QStringLiteral("Low"), QStringLiteral("High")});
        combo->setCurrentIndex(1);
        list = new QListWidget(group);
        list->setObjectName(QStringLiteral("lstNames"));
        list->addItems({QStringLiteral("A"), QStringLiteral("B")});
        menu = new QMenu(QStringLiteral("Menu"), &window);
        menu->setObjectName(QStringLiteral("ppmMenu"));
        action = menu->addAction(QStringLiteral("Open"));
        action->setObjectName(QStringLiteral("miOpen"));
        edit = new QLineEdit(QStringLiteral("typed by the user"), panel);
        edit->setObjectName(QStringLiteral("edtUser"));
        unnamed = new QLabel(QStringLiteral("Unnamed"), panel);
        holder = new Holder(panel);
        holder->setObjectName(QStringLiteral("grdHolder"));
        dialog = new QDialog(&window);
        dialog->setObjectName(QStringLiteral("dlgAsk"));
        dialog->setWindowTitle(QStringLiteral("Ask"));
        auto *dialogFrame = new QWidget(dialog);
        dialogLabel = new QLabel(QStringLiteral("Question"), dialogFrame);
        dialogLabel->setObjectName(QStringLiteral("lbQuestion"));
    }
};

} // namespace

class TestTranslator : public QObject
{
    Q_OBJECT

    QTemporaryDir folder;

    // A language file of this run with these lines.
    QString LanguageFile(const QString &name, const QByteArray &lines)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(lines);
        return path;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(folder.isValid()); }

    void readsTheSection_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QByteArray plain = "[Translations]\nfmA.Caption=Alarme\n";
        QTest::newRow("plain") << plain << "fmA.Caption"
                               << "Alarme";
        QTest::newRow("key in another case") << plain << "FMA.caption"
                                             << "Alarme";
        QTest::newRow("section in another case") << QByteArray("[translations]\nk=v\n") << "k"
                                                 << "v";
        QTest::newRow("commas kept") << QByteArray("[Translations]\nk = Bas,,Haut , Normal\n") << "k"
                                     << "Bas,,Haut , Normal";
        QTest::newRow("equals sign in the value") << QByteArray("[Translations]\nk=a=b\n") << "k"
                                                  << "a=b";
        QTest::newRow("quotes keep blanks") << QByteArray("[Translations]\nk=\" Alarmes  \"\n") << "k"
                                            << " Alarmes  ";
        QTest::newRow("CR LF, BOM, UTF-8")
            << QByteArray("\xEF\xBB\xBF[Translations]\r\nk=F\xC3\xA9vrier\r\n") << "k" << QString::fromUtf8("Février");
        QTest::newRow("comments") << QByteArray("[Translations]\n;k=no\n#k=no\nk=yes\n") << "k"
                                  << "yes";
        QTest::newRow("first line wins") << QByteArray("[Translations]\nk=first\nK=second\n") << "k"
                                         << "first";
        QTest::newRow("other section") << QByteArray("[Other]\nk=no\n[Translations]\nj=x\n") << "k" << QString();
        QTest::newRow("after another section")
            << QByteArray("[Translations]\nj=x\n[Other]\nk=no\n") << "k" << QString();
        QTest::newRow("line without a sign") << QByteArray("[Translations]\nk\n=v\nk=v\n") << "k"
                                             << "v";
        QTest::newRow("empty value") << QByteArray("[Translations]\nk=\n") << "k" << QString(QLatin1String(""));
    }

    void readsTheSection()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QHash<QString, QString> section = lang::ReadIniSection(file, QStringLiteral("Translations"));
        QCOMPARE(section.value(key.toLower()), value);
        QCOMPARE(section.contains(key.toLower()), !value.isNull());
    }

    void textLists_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("two items") << "A,B" << QStringList{QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("doubled comma") << "A,,B" << QStringList{QStringLiteral("A,B")};
        QTest::newRow("comma at an item's end") << "A,,,B" << QStringList{QStringLiteral("A,"), QStringLiteral("B")};
        QTest::newRow("empty item") << "A,,,,,B" << QStringList{QStringLiteral("A,,"), QStringLiteral("B")};
        QTest::newRow("empty items") << "A,,B," << QStringList{QStringLiteral("A,B"), QString()};
        QTest::newRow("one item") << "Idle" << QStringList{QStringLiteral("Idle")};
        QTest::newRow("none") << "" << QStringList();
    }

    void textLists()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, items);
        QCOMPARE(lang::SplitTexts(value), items);
        QCOMPARE(lang::JoinTexts(items), value);
    }

    void keysFollowOwnershipNotNesting()
    {
        Window w;
        const QHash<QString, QString> texts = TTranslator::Texts(&w.window);
        const QHash<QString, QString> expected = {
            {QStringLiteral("fmTest.Caption"), QStringLiteral("Test window")},
            {QStringLiteral("fmTest.btnGo.Caption"), QStringLiteral("Go")},
            {QStringLiteral("fmTest.btnGo.Hint"), QStringLiteral("Go now")},
            {QStringLiteral("fmTest.gbxGroup.Caption"), QStringLiteral("Group")},
            {QStringLiteral("fmTest.cbKind.Items"), QStringLiteral("Low,High")},
            {QStringLiteral("fmTest.lstNames.Items"), QStringLiteral("A,B")},
            {QStringLiteral("fmTest.ppmMenu.Caption"), QStringLiteral("Menu")},
            {QStringLiteral("fmTest.miOpen.Caption"), QStringLiteral("Open")},
            {QStringLiteral("fmTest.edtUser.Text"), QStringLiteral("typed by the user")},
            {QStringLiteral("fmTest.grdHolder.Lines"), QStringLiteral("one,two")},
            {QStringLiteral("fmTest.grdHolder.Title.Caption"), QStringLiteral("Heading")},
            {QStringLiteral("fmTest.grdHolder.Columns.0.Caption"), QStringLiteral("Date")},
            {QStringLiteral("fmTest.grdHolder.Columns.1.Caption"), QStringLiteral("Text")},
            {QStringLiteral("fmTest.dlgAsk.Caption"), QStringLiteral("Ask")},
            {QStringLiteral("fmTest.dlgAsk.lbQuestion.Caption"), QStringLiteral("Question")},
        };
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(texts.value(it.key(), QStringLiteral("<missing>")), it.value());
        // Unnamed objects are passed through, never keyed; a dialog's own
        // objects sit under the dialog; the name itself is no text.
        for (const QString &key : texts.keys()) {
            QVERIFY2(!key.contains(QLatin1String("..")), qPrintable(key));
            QVERIFY2(!key.startsWith(QLatin1String("fmTest.lbQuestion.")), qPrintable(key));
            QVERIFY2(!key.endsWith(QLatin1String(".ObjectName")), qPrintable(key));
            QVERIFY2(texts.value(key) != QLatin1String("Unnamed"), qPrintable(key));
        }
    }

    void translatesFromTheFile()
    {
        Window w;
        TTranslator translator;
        translator.SetLanguageFile(LanguageFile(QStringLiteral("French.lang"), QByteArray(R"([Translations]
FMTEST.caption=Fenêtre de test
fmTest.btnGo.Caption=Aller
fmTest.btnGo.Hint=Y aller maintenant
fmTest.gbxGroup.Caption=Groupe
fmTest.cbKind.Items=Bas,Haut,,très
fmTest.lstNames.Items=A,,B
fmTest.miOpen.Caption=Ouvrir
fmTest.grdHolder.Lines=un
fmTest.grdHolder.Title.Caption=Titre
fmTest.grdHolder.Columns.1.Caption=Texte
fmTest.dlgAsk.lbQuestion.Caption=Question ?
)")));
        translator.Translate(&w.window);
        QCOMPARE(w.window.windowTitle(), QString::fromUtf8("Fenêtre de test"));
        QCOMPARE(w.button->text(), QStringLiteral("Aller"));
        QCOMPARE(w.button->toolTip(), QStringLiteral("Y aller maintenant"));
        QCOMPARE(w.group->title(), QStringLiteral("Groupe"));
        // Lists: one comma separates, two give a comma; the selection stays.
        QCOMPARE(w.combo->count(), 2);
        QCOMPARE(w.combo->itemText(0), QStringLiteral("Bas"));
        QCOMPARE(w.combo->itemText(1), QString::fromUtf8("Haut,très"));
        QCOMPARE(w.combo->currentIndex(), 1);
        QCOMPARE(w.list->count(), 1);
        QCOMPARE(w.list->item(0)->text(), QStringLiteral("A,B"));
        QCOMPARE(w.action->text(), QStringLiteral("Ouvrir"));
        QCOMPARE(w.holder->lines, QStringList{QStringLiteral("un")});
        // The title held in a property changes once, not again as column 0.
        QCOMPARE(w.holder->title->caption, QStringLiteral("Titre"));
        QCOMPARE(w.holder->columns[0]->caption, QStringLiteral("Date"));
        QCOMPARE(w.holder->columns[1]->caption, QStringLiteral("Texte"));
        QCOMPARE(w.dialogLabel->text(), QStringLiteral("Question ?"));
        // What the file does not name stays.
        QCOMPARE(w.menu->title(), QStringLiteral("Menu"));
        QCOMPARE(w.edit->text(), QStringLiteral("typed by the user"));
        QCOMPARE(w.dialog->windowTitle(), QStringLiteral("Ask"));
    }

    void oneVisitPerObject()
    {
        // The first column is the title held in the property: a key for the
        // column would apply to it a second time.
        Window w;
        w.holder->columns[0] = w.holder->title;
        const QHash<QString, QString> texts = TTranslator::Texts(&w.window);
        QVERIFY(texts.contains(QStringLiteral("fmTest.grdHolder.Title.Caption")));
        QVERIFY(!texts.contains(QStringLiteral("fmTest.grdHolder.Columns.0.Caption")));
        QVERIFY(texts.contains(QStringLiteral("fmTest.grdHolder.Columns.1.Caption")));
    }

    void missingFileOrKeyChangesNothing()
    {
        for (const QString &file :
             {folder.filePath(QStringLiteral("none.lang")),
              LanguageFile(QStringLiteral("Other.lang"), "[Translations]\nfmTest.x.Caption=y\n"), QString()}) {
            Window w;
            const QHash<QString, QString> before = TTranslator::Texts(&w.window);
            TTranslator translator;
            translator.SetLanguageFile(file);
            translator.Translate(&w.window);
            QCOMPARE(TTranslator::Texts(&w.window), before);
        }
    }

    void changingThePathDropsWhatWasRead()
    {
        const QString first = LanguageFile(QStringLiteral("A.lang"), "[Translations]\nk=first\n");
        const QString second = LanguageFile(QStringLiteral("B.lang"), "[Translations]\nk=second\n");
        TTranslator translator;
        translator.SetLanguageFile(first);
        QCOMPARE(translator.LanguageFile(), first);
        QCOMPARE(translator.Lookup(QStringLiteral("k"), QStringLiteral("none")), QStringLiteral("first"));
        // The same path again keeps what was read.
        LanguageFile(QStringLiteral("A.lang"), "[Translations]\nk=rewritten\n");
        translator.SetLanguageFile(first);
        QCOMPARE(translator.Lookup(QStringLiteral("k"), QStringLiteral("none")), QStringLiteral("first"));
        translator.SetLanguageFile(second);
        QCOMPARE(translator.Lookup(QStringLiteral("K"), QStringLiteral("none")), QStringLiteral("second"));
        translator.SetLanguageFile(first);
        QCOMPARE(translator.Lookup(QStringLiteral("k"), QStringLiteral("none")), QStringLiteral("rewritten"));
        QCOMPARE(translator.Lookup(QStringLiteral("missing"), QStringLiteral("none")), QStringLiteral("none"));
    }
};

QTEST_MAIN(TestTranslator)
#include "tst_translator.moc"
