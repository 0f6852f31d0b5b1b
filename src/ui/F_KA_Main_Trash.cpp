// The trash page of the main window: its tool bar, the grid on the trash view
// and the memo with the selected alarm's comments.
#include "ui/F_KA_Main.h"
#include "ui/F_KA_Main_Parts.h"

#include "diag/U_ZEL_Utilities.h"
#include "store/D_KA_Alarms.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

using namespace store;

QWidget *TfmKaMain::BuildTrashPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("pgTrash"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);

    btnTrashErase =
        ToolButton(QStringLiteral("btnTrashErase"), QStringLiteral("Purge selected"), QStringLiteral("purge"));
    btnTrashEraseAll =
        ToolButton(QStringLiteral("btnTrashEraseAll"), QStringLiteral("Purge all"), QStringLiteral("purge_all"));
    btnTrashRecover =
        ToolButton(QStringLiteral("btnTrashRecover"), QStringLiteral("Restore selected"), QStringLiteral("restore"));
    btnTrashRecoverAll =
        ToolButton(QStringLiteral("btnTrashRecoverAll"), QStringLiteral("Restore all"), QStringLiteral("restore_all"));
    pnTrashCount = CountCaption(QStringLiteral("pnTrashCount"));
    NavigationButtons(QStringLiteral("Trash"), m_alarms->cdsTrash, btnTrashFirst, btnTrashPrior, btnTrashNext,
                      btnTrashLast);
    layout->addWidget(ToolBar(QStringLiteral("barTrash"),
                              {btnTrashErase, btnTrashEraseAll, btnTrashRecover, btnTrashRecoverAll}, pnTrashCount,
                              {btnTrashFirst, btnTrashPrior, btnTrashNext, btnTrashLast}));

    const QColor grey(245, 245, 245);
    grdTrash = new TDataGrid(&m_alarms->dsTrash,
                             {{AlarmField::Date, 115, Qt::AlignHCenter, Qt::AlignHCenter},
                              {AlarmField::Title, 175, Qt::AlignHCenter, Qt::AlignHCenter},
                              {AlarmField::Period, 140, Qt::AlignHCenter, Qt::AlignHCenter},
                              {AlarmField::Application, 145, Qt::AlignRight, Qt::AlignHCenter}},
                             grey);
    grdTrash->setObjectName(QStringLiteral("grdTrash"));

    moTrash = new QPlainTextEdit;
    moTrash->setObjectName(QStringLiteral("moTrash"));
    moTrash->setReadOnly(true);
    moTrash->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moTrash->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moTrash->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette pal = moTrash->palette();
    pal.setColor(QPalette::Base, grey);
    moTrash->setPalette(pal);

    splTrash = new QSplitter(Qt::Vertical);
    splTrash->setObjectName(QStringLiteral("splTrash"));
    splTrash->addWidget(grdTrash);
    splTrash->addWidget(moTrash);
    splTrash->setStretchFactor(0, 1);
    splTrash->setSizes({340, 100});
    layout->addWidget(splTrash, 1);

    // The memo shows the comments of the selected trash alarm.
    connect(&m_alarms->dsTrash, &DataSource::dataChange, this, [this] { UpdateTrashMemo(); });
    return page;
}

void TfmKaMain::UpdateTrashMemo()
{
    const Table &trash = m_alarms->cdsTrash;
    moTrash->setPlainText(trash.active() && !trash.isEmpty() ? trash.fieldByName(AlarmField::Comments).asString()
                                                             : QString());
}
