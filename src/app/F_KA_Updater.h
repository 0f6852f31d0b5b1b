#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

// The web update check: asks the maker's web site for the date and number of
// its newest version, shows the answer in a small window and, when the user
// agrees, opens the download page in the browser.
//
// The site's replies:
// - update information: any text holding the date of the newest version
//   ("dd/mm/yyyy" or "dd.mm.yyyy") followed at once by "@@" and the version
//   number in five characters; everything but dots, slashes, digits and "@"
//   is ignored, so markup around it does no harm;
// - history: any text where the history file's address stands between the
//   first two "@@" markers.
namespace updater {

// The three addresses on the maker's site (empty when no site is set).
QString UpdateAddress();
QString HistoryAddress();
QString DownloadAddress();

// The reply with only ".", "/", the digits and "@" kept, in order.
QString FilterReply(const QString &reply);
// The version text and the date text of a filtered reply.
struct UpdateInfo
{
    QString version;
    QString date;
};
UpdateInfo ParseUpdateReply(const QString &filtered);
// The history file's address cut out of the history reply.
QString HistoryFileAddress(const QString &reply);
// Whether a date text ("dd?mm?yyyy") names a day later than the build date;
// the year "4002" stands for 2002; anything unreadable is not newer.
bool IsNewer(const QString &dateText);

} // namespace updater

// The updater window: the steps of the check, then the result (a new
// version's panel, "You have the last version", or the error). One at a
// time; it frees itself when it closes.
class TfmKAUpdater : public QWidget
{
    Q_OBJECT

public:
    explicit TfmKAUpdater(QWidget *parent = nullptr);
    ~TfmKAUpdater() override;

    // Runs the check in this window (CheckWebUpdate's steps after the window
    // is shown). Returns false when the window was freed (silent, no news).
    bool RunCheck(bool silent);

    void FormShow();
    void btnOkClick();
    void btnHistoClick();

    QLabel *Image1;
    QLabel *lbTitle;
    QLabel *lbStep;
    QProgressBar *pgbr;
    QFrame *pnResult;
    QLabel *lbResult;
    QFrame *pnInfos;
    QLabel *lbInfosVer, *lbActualVer, *lbVer1, *lbNewVer, *lbVer2, *lbAction;
    QRadioButton *rbUpdate, *rbNoUpdate;
    QToolButton *btnHisto;
    QFrame *pnButton;
    QPushButton *btnOk;

    // The history file's address found by the check.
    QString HistoryFile;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void ShowStep(const QString &text, bool advance);
};

// The updater window that is open (null when none).
TfmKAUpdater *fmKAUpdater();

// Asks the maker's site whether a newer version exists. An open updater
// window is brought to the front instead. silent (the start-up's check): the
// window frees itself at once when there is no newer version; an error stays
// shown in every mode.
void CheckWebUpdate(bool silent);
// Whether a site to ask is set (without one the start-up never checks).
bool WebUpdateSiteSet();

// Test seam: the pause between the steps (50 ms; a negative value restores it).
void SetUpdaterStepPause(int milliseconds);
