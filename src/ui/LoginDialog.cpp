#include "ui/LoginDialog.h"

#include "base/U_KA_Var.h"
#include "diag/U_ZEL_Utilities.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr int MaxTries = 3;

// The dialog's own storage: organisation "Morvane", application "Almarik",
// section "Login Dialog" beside the settings (StorageName "KA2").
QString StorageGroup(const QString &storageName)
{
    return storageName + QStringLiteral("/Login Dialog");
}

} // namespace

TLoginDialog::TLoginDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgLogin"));
    setModal(true);
    setWindowTitle(QStringLiteral("Registration"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);

    auto *icon = new QLabel;
    icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    auto *application = new QLabel(QStringLiteral("Application \"") + KaVar::AppTitle() + QLatin1Char('"'));
    application->setObjectName(QStringLiteral("lbApplication"));
    auto *hint = new QLabel(QStringLiteral("Type your user name and password"));
    hint->setObjectName(QStringLiteral("lbHint"));
    edtUser = new QLineEdit;
    edtUser->setObjectName(QStringLiteral("edtUser"));
    edtPassword = new QLineEdit;
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    edtPassword->setEchoMode(QLineEdit::Password);
    btnOK = new QPushButton(QStringLiteral("OK"));
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto *header = new QHBoxLayout;
    header->addWidget(icon);
    auto *texts = new QVBoxLayout;
    texts->addWidget(application);
    texts->addWidget(hint);
    header->addLayout(texts, 1);
    auto *form = new QFormLayout;
    auto *userLabel = new QLabel(QStringLiteral("&User name:"));
    userLabel->setObjectName(QStringLiteral("lbUser"));
    userLabel->setBuddy(edtUser);
    auto *passwordLabel = new QLabel(QStringLiteral("&Password:"));
    passwordLabel->setObjectName(QStringLiteral("lbPassword"));
    passwordLabel->setBuddy(edtPassword);
    form->addRow(userLabel, edtUser);
    form->addRow(passwordLabel, edtPassword);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, &TLoginDialog::okClicked);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TLoginDialog::LastLoggedUser(const QString &storageName)
{
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
    return settings.value(StorageGroup(storageName) + QStringLiteral("/Last Logged User")).toString();
}

QString TLoginDialog::UserName() const
{
    return edtUser->text();
}

bool TLoginDialog::Execute()
{
    m_tries = 0;
    edtUser->setText(LastLoggedUser(StorageName));
    edtPassword->clear();
    if (edtUser->text().isEmpty())
        edtUser->setFocus();
    else
        edtPassword->setFocus();
    const bool allowed = ExecModal(*this) == QDialog::Accepted;
    if (allowed) {
        QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Almarik"));
        settings.setValue(StorageGroup(StorageName) + QStringLiteral("/Last Logged User"), edtUser->text());
    }
    return allowed;
}

void TLoginDialog::okClicked()
{
    ++m_tries;
    if (onCheckUser && onCheckUser(edtUser->text(), edtPassword->text())) {
        accept();
        return;
    }
    if (m_tries >= MaxTries)
        reject();
}
