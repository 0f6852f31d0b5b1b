// The file dialogs as the program prepares them: the filters and default
// extension of an ordinary dialog, and the program picker, whose first filter
// lists the files that can be run where programs carry no extension.
#include "base/U_KA_Var.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The names the dialog lists in its folder, sorted.
QStringList Listed(QFileDialog &dialog)
{
    auto *view = dialog.findChild<QAbstractItemView *>(QStringLiteral("listView"));
    if (!view)
        return {QStringLiteral("(no list)")};
    QStringList names;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < view->model()->rowCount(root); ++row)
        names << view->model()->index(row, 0, root).data().toString();
    names.sort();
    return names;
}

void Touch(const QString &path, QFileDevice::Permissions permissions)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n");
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

} // namespace

class TestFileDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ordinaryDialog()
    {
        QFileDialog dialog;
        SetupFileDialog(dialog, {QStringLiteral("Select file"), QStringLiteral("Wave files|*.wav|Any file|*.*"),
                                 QStringLiteral("wav"), QDir::tempPath(), false});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select file"));
        QCOMPARE(dialog.nameFilters(),
                 QStringList({QStringLiteral("Wave files (*.wav)"), QStringLiteral("Any file (*.*)")}));
        QCOMPARE(dialog.defaultSuffix(), QStringLiteral("wav"));
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
    }

    void programPicker()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows programs are found by their extensions");
#endif
        QTemporaryDir dir;
        const QFileDevice::Permissions readable =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
        const QFileDevice::Permissions runnable =
            readable | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        Touch(dir.filePath(QStringLiteral("tool")), runnable);
        Touch(dir.filePath(QStringLiteral("notes.txt")), readable);
        Touch(dir.filePath(QStringLiteral("data")), readable);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));

        QFileDialog dialog;
        FileDialogRequest request;
        request.title = QStringLiteral("Select Application File...");
        request.filter = QStringLiteral("Program Files|*.exe;*.com;*.bat|All Files|*.*");
        request.defaultExtension = QStringLiteral("exe");
        request.folder = dir.path();
        request.programs = true;
        SetupFileDialog(dialog, request);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Application File..."));

        // The captions stay as they are, without patterns.
        auto *filters = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(filters);
        QCOMPARE(filters->count(), 2);
        QCOMPARE(filters->itemText(0), QStringLiteral("Program Files"));
        QCOMPARE(filters->itemText(1), QStringLiteral("All Files"));

        // Programs: the runnable files and the folders to reach them.
        const QStringList programs = {QStringLiteral("sub"), QStringLiteral("tool")};
        QTRY_COMPARE(Listed(dialog), programs);
        // All files: every file, extension or not.
        QTest::keyClick(filters, Qt::Key_Down);
        QCOMPARE(filters->currentIndex(), 1);
        const QStringList all = {QStringLiteral("data"), QStringLiteral("notes.txt"), QStringLiteral("sub"),
                                 QStringLiteral("tool")};
        QTRY_COMPARE(Listed(dialog), all);
        QTest::keyClick(filters, Qt::Key_Up);
        QTRY_COMPARE(Listed(dialog), programs);

        // A program is chosen as it is named (typed here): no extension is
        // added.
        auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(QStringLiteral("tool"));
        static_cast<QDialog &>(dialog).accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.selectedFiles(), QStringList(dir.filePath(QStringLiteral("tool"))));
    }
};

QTEST_MAIN(TestFileDialog)
#include "tst_file_dialog.moc"
