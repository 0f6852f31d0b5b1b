#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;
class QPushButton;

// The login dialog asked at start while the login option is on: user name and
// password, three tries, the last user who logged in remembered.
class TLoginDialog : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)

public:
    explicit TLoginDialog(QWidget *parent = nullptr);

    bool Active() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    // The storage name under which the last user name is kept (section
    // "Login Dialog", value "Last Logged User").
    QString StorageName;
    // Checks a typed user name and password (dlgLoginCheckUser).
    std::function<bool(const QString &user, const QString &password)> onCheckUser;

    // Shows the dialog; true when a login was allowed within three tries.
    bool Execute();
    QString UserName() const;
    int Tries() const { return m_tries; }

    static QString LastLoggedUser(const QString &storageName);

    QLineEdit *edtUser;
    QLineEdit *edtPassword;
    QPushButton *btnOK;
    QPushButton *btnCancel;

private:
    void okClicked();

    bool m_active = false;
    int m_tries = 0;
};
