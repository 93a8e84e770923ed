#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;

// The settings dialog: the three settings in clear, written back with Apply
// or OK. A window of its own without an owner; it is deleted when closed and
// may outlive the main window.
class frmEncryptionKey : public QWidget
{
    Q_OBJECT

public:
    frmEncryptionKey();

    // Reads the store into the dialog's copy and its fields.
    void Form_Load();
    void cmdOK_Click();
    void cmdApply_Click();
    void cmdCancel_Click();

private:
    void writeFields();

    QString m_developerKey;
    QString m_encryptionKey;
    QString m_password;
    QLineEdit *m_txtDeveloperKey;
    QLineEdit *m_txtEncryptionKey;
    QLineEdit *m_txtPassword;
};
