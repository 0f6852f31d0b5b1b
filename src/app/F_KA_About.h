#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;
class QToolButton;

// The about window: the program's name and version, the maker's notice and
// site as links, a picture. The same window serves as the start-up splash
// (PrepareSplash, then one SplashStep per stage of the start).
class TfmKaAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TfmKaAbout(QWidget *parent = nullptr);
    ~TfmKaAbout() override;

    // Turns the window into the splash: no border, no Close button, the step
    // line and the progress bar shown, the bar counting steps.
    void PrepareSplash(int steps);
    // Shows the text of a start-up stage at once, keeps it up for 20 ms and
    // advances the bar by one step. More lines than announced keep the bar
    // full (its maximum follows the lines): it never starts over.
    void SplashStep(const QString &text);

    // Handlers.
    void lbCopyrightClick();
    void lbSiteClick();
    // Bound to the mouse entering and leaving the link labels: maroon while
    // the mouse is over the label, its own colour otherwise.
    void lbCopyrightMouseEnter(bool mouseOver);
    void lbSiteMouseEnter(bool mouseOver);
    void spbCloseClick();

    // Controls, named as everywhere (objectName is the same).
    QFrame *pnApp;
    QFrame *pnInfos;
    QLabel *lbTitle;
    QLabel *lbVer;
    QLabel *lbCopyright;
    QLabel *lbSite;
    QFrame *pnImage;
    QLabel *Image;
    QFrame *pnStep;
    QFrame *pn1;
    QLabel *lbStep;
    QProgressBar *pgbr;
    QFrame *pnButton;
    QToolButton *spbClose;

    // The designed client size.
    static constexpr int DesignWidth = 426;
    static constexpr int DesignHeight = 249;

    // The colours of the link labels.
    static const QColor CopyrightColor;
    static const QColor SiteColor;
    static const QColor HoverColor;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
};

// The about window of the running program, shown by the main menu's About
// item (null when there is none; a splash instance never is it).
extern TfmKaAbout *fmKaAbout;
