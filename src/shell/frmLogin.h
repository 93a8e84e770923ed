#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// The password asked for at start-up when the settings store holds one. The
// outcome goes to modPublic::LoginAccepted.
class frmLogin : public QDialog
{
    Q_OBJECT

public:
    explicit frmLogin(QWidget *parent = nullptr);

    // The password that must be typed; set before the dialog is shown.
    QString StoredPassword;

    void cmdOkay_Click();
    void cmdCancel_Click();

private:
    QLabel *m_lblHeader;
    QLineEdit *m_txtPWD;
    QPushButton *m_cmdOkay;
    QPushButton *m_cmdCancel;
};
