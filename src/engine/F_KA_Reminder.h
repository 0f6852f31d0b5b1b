#pragma once

#include "base/Translator.h"
#include "diag/ZelDateTime.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class TDataGrid;

// The reminder box: lists, read-only, the alarms outside the trash up to the
// end of the day N days from today (N: the reminder option), today's and
// overdue ones included. Created once and reused; hidden between calls.
class TfmKaReminder : public QDialog, public TTranslatedWindow
{
    Q_OBJECT

public:
    explicit TfmKaReminder(QWidget *parent = nullptr);
    ~TfmKaReminder() override;

    // Fills the reminder view and shows the box modally when it holds at
    // least one alarm; nothing comes up otherwise. The view is closed again
    // and the main table's display updates resume whatever happens; a
    // failure is shown in a simple message box.
    void ShowReminder();

    // The filter of the reminder view for N days from the day of now: every
    // alarm outside the trash up to the midnight that ends day N.
    static QString ReminderFilter(TDateTime now, int days);
    // The heading for N days in the current language.
    static QString Heading(int days);
    // Puts the selected alarm's line on the clipboard (Ctrl+C in the grid):
    // the texts of its cells, separated by tabs.
    void CopyAlarm();

    // Controls, named as everywhere (objectName is the same).
    QLabel *pnTitle;
    QFrame *Panel1;
    TDataGrid *grdReminder;
    QFrame *pnBottom;
    QPushButton *btnClose;

    // The designed client size.
    static constexpr int DesignWidth = 592;
    static constexpr int DesignHeight = 266;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The reminder box of the running program (null when there is none).
extern TfmKaReminder *fmKaReminder;
