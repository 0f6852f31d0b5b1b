#pragma once

// Pieces shared by the page files of the main window.
#include "ui/Widgets.h"

#include <QList>

class QLabel;
class QToolButton;
class QWidget;

// The six columns of the list and calendar grids.
QList<TDataGrid::Column> AlarmGridColumns();
// A tool bar of flat buttons: the commands, the count caption, the navigation.
QWidget *ToolBar(const QString &name, const QList<QToolButton *> &commands, QLabel *count,
                 const QList<QToolButton *> &navigation);
// A count caption: right-aligned, navy.
QLabel *CountCaption(const QString &name);
