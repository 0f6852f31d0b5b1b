#include "base/U_KA_Var.h"

#include "base/MessageForm.h"
#include "base/TPlayer.h"
#include "diag/U_ZEL_System.h"
#include "diag/U_ZEL_Utilities.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QStandardPaths>

namespace {

TPlayer *g_player = nullptr;
KaVar::Folders g_folders;
bool g_initialized = false;

std::function<void(const QString &)> &ErrorTextHook()
{
    static std::function<void(const QString &)> hook;
    return hook;
}

std::function<QString(const FileDialogRequest &)> &FileDialogHook()
{
    static std::function<QString(const FileDialogRequest &)> hook;
    return hook;
}

std::function<int(const MessageDialogRequest &)> &MessageDialogHook()
{
    static std::function<int(const MessageDialogRequest &)> hook;
    return hook;
}

// The window a message belongs to: the one the user works in when it opens
// (a menu that is closing, or a window being hidden, is none).
QWidget *ActiveWindow()
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window)
        window = QApplication::activeWindow();
    if (window && (!window->isVisible() || window->windowType() == Qt::Popup))
        return nullptr;
    return window;
}

} // namespace

namespace KaVar {

void Initialize()
{
    // In this order: the build date, the time formats, the title, the folders
    // and files, then the user's data folder is created (its result is not
    // checked: a failure shows when the data file is written).
    zel::FormatSettings &formats = zel::Formats();
    formats.shortTimeFormat = QLatin1String(TimeFormat);
    formats.longTimeFormat = QLatin1String(TimeFormat);
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QGuiApplication::setApplicationDisplayName(AppTitle());
    const TZELApplication *application = ZELApplication();
    const TZELWindows *windows = ZELWindows();
    const QString root =
        application ? application->RootPath
                    : AddTrailingBackslash(QDir::toNativeSeparators(
                          QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath()));
    const QString appData =
        windows ? windows->AppData : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    g_folders = FoldersFor(root, appData);
    g_initialized = true;
    if (!g_player)
        g_player = new TPlayer;
    QDir().mkpath(g_folders.UserDataDir);
}

void Finalize()
{
    delete g_player;
    g_player = nullptr;
}

TPlayer *Player()
{
    return g_player;
}

QString AppTitle()
{
    return QStringLiteral("Almarik 2");
}

TDateTime BuildDate()
{
    return zel::EncodeDate(2002, 11, 7);
}

Folders FoldersFor(const QString &rootPath, const QString &appData)
{
    const QString sep = QDir::separator();
    Folders f;
    f.AppRootDir = AddTrailingBackslash(rootPath);
    f.DocsDir = f.AppRootDir + QStringLiteral("Docs") + sep;
    f.HelpDir = f.DocsDir + QStringLiteral("Help") + sep;
    f.LangDir = f.AppRootDir + QStringLiteral("Lang") + sep;
    f.LegacyDataDir = f.AppRootDir + QStringLiteral("Datas") + sep;
    f.SoundDir = f.AppRootDir + QStringLiteral("Sound") + sep;
    f.UserDataDir = AddTrailingBackslash(appData) + QStringLiteral("Morvane") + sep + QStringLiteral("Almarik") + sep;
    f.HelpFile = f.HelpDir + QStringLiteral("index.htm");
    f.LicenseFile = f.DocsDir + QStringLiteral("License.rtf");
    f.ReadmeFile = f.DocsDir + QStringLiteral("Readme.rtf");
    return f;
}

const Folders &Paths()
{
    if (!g_initialized)
        Initialize();
    return g_folders;
}

void SetPaths(const Folders &folders)
{
    g_folders = folders;
    g_initialized = true;
}

QString AppRootDir()
{
    return Paths().AppRootDir;
}

QString DocsDir()
{
    return Paths().DocsDir;
}

QString HelpDir()
{
    return Paths().HelpDir;
}

QString LangDir()
{
    return Paths().LangDir;
}

QString LegacyDataDir()
{
    return Paths().LegacyDataDir;
}

QString SoundDir()
{
    return Paths().SoundDir;
}

QString UserDataDir()
{
    return Paths().UserDataDir;
}

QString HelpFile()
{
    return Paths().HelpFile;
}

QString LicenseFile()
{
    return Paths().LicenseFile;
}

QString ReadmeFile()
{
    return Paths().ReadmeFile;
}

// One language for the program and its support library.
int LanguageIndex()
{
    return ZelLanguageIndex();
}

void SetLanguageIndex(int index)
{
    SetZelLanguageIndex(index);
}

QString Tr(const QString &english, const QString &french)
{
    return ZelTr(english, french);
}

QString SiteAddress()
{
    // No address is built in: the program never asks a server nobody set,
    // so the weekly update check cannot end in an error at every start
    // where no server answers.
    return qEnvironmentVariable("ALMARIK_SITE_URL").trimmed();
}

QString RequiredSiteAddress()
{
    const QString site = SiteAddress();
    if (site.isEmpty())
        throw Exception(Tr(QStringLiteral("No web site address is set"),
                           QStringLiteral("Aucune adresse de site web n'est définie")));
    return site;
}

QString SupportMail()
{
    return QStringLiteral("almarik@morvane.example");
}

} // namespace KaVar

void ShowErrorText(const QString &text)
{
    if (const auto &hook = ErrorTextHook()) {
        hook(text);
        return;
    }
    // At the end of the session nobody is there to read it.
    if (ZelSessionEnded())
        return;
    // The texts carry Windows line breaks; the box shows one break for each.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::NoIcon, KaVar::AppTitle(), shown, QMessageBox::Ok, ActiveWindow());
    if (box.parentWidget() && box.parentWidget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

void SetShowErrorTextHook(std::function<void(const QString &)> hook)
{
    ErrorTextHook() = std::move(hook);
}

int ShowMessageDialog(const QString &text, int type, int buttons, int helpContext)
{
    if (const auto &hook = MessageDialogHook())
        return hook({text, type, buttons});
    TMessageForm form(text, type, buttons, helpContext, ActiveWindow());
    return ExecModal(form);
}

void SetMessageDialogHook(std::function<int(const MessageDialogRequest &)> hook)
{
    MessageDialogHook() = std::move(hook);
}

QString QtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString caption = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses of each entry.
        filters << (caption.endsWith(QLatin1Char(')')) && caption.contains(patterns)
                        ? caption
                        : caption + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

#ifndef Q_OS_WIN
// Between a file dialog and its folder model: while programsOnly is set, the
// files listed are those that can be run; folders are always listed, to
// reach them.
class ProgramFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setProgramsOnly(bool on)
    {
        if (on == m_programsOnly)
            return;
        m_programsOnly = on;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        if (!m_programsOnly)
            return true;
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (!files)
            return true;
        const QFileInfo info(files->filePath(files->index(row, 0, parent)));
        return info.isDir() || (info.isFile() && info.isExecutable());
    }

private:
    bool m_programsOnly = true;
};
#endif

} // namespace

QString ShowFileDialog(const FileDialogRequest &request)
{
    if (const auto &hook = FileDialogHook())
        return hook(request);
    QFileDialog dialog(QApplication::activeWindow());
    SetupFileDialog(dialog, request);
    if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

void SetupFileDialog(QFileDialog &dialog, const FileDialogRequest &request)
{
    dialog.setWindowTitle(request.title);
    dialog.setDirectory(request.folder);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog, false);
#ifndef Q_OS_WIN
    if (request.programs) {
        // Programs carry no extension here: the patterns would hide them. The
        // filters show their captions only and select by kind: the first one
        // the files that can be run (and the folders, to reach them), the
        // others every file.
        const QStringList parts = request.filter.split(QLatin1Char('|'));
        QStringList filters;
        for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
            filters << parts[i] + QStringLiteral(" (*)");
        const QString programs = parts.value(0);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        dialog.setNameFilters(filters);
        auto *kinds = new ProgramFilter(&dialog);
        dialog.setProxyModel(kinds);
        // The dialog names the chosen filter by its caption, or in full.
        QObject::connect(&dialog, &QFileDialog::filterSelected, kinds, [kinds, programs](const QString &filter) {
            kinds->setProgramsOnly(filter == programs || filter == programs + QStringLiteral(" (*)"));
        });
        return;
    }
#endif
    dialog.setNameFilter(QtFileFilter(request.filter));
    dialog.setDefaultSuffix(request.defaultExtension);
}

void SetFileDialogHook(std::function<QString(const FileDialogRequest &)> hook)
{
    FileDialogHook() = std::move(hook);
}
