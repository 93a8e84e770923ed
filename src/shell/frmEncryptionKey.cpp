#include "shell/frmEncryptionKey.h"

#include "common/Messages.h"
#include "store/modPublic.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit *field(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumWidth(260);
    return edit;
}

QPushButton *button(QWidget *parent, const QString &caption, const char *name)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

frmEncryptionKey::frmEncryptionKey() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("frmEncryptionKey"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Varnell Decryptor Light - Settings"));

    m_txtDeveloperKey = field(this, "txtDeveloperKey");
    m_txtEncryptionKey = field(this, "txtEncryptionKey");
    m_txtPassword = field(this, "txtPassword");

    auto *form = new QFormLayout;
    const auto row = [this, form](const QString &caption, const char *name, QLineEdit *edit) {
        auto *label = new QLabel(caption, this);
        label->setObjectName(QLatin1String(name));
        label->setBuddy(edit);
        form->addRow(label, edit);
    };
    row(QStringLiteral("Developer Key:"), "lblDeveloperKey", m_txtDeveloperKey);
    row(QStringLiteral("Encryption Key:"), "lblEncryptionKey", m_txtEncryptionKey);
    row(QStringLiteral("Password:"), "lblPassword", m_txtPassword);

    QPushButton *ok = button(this, QStringLiteral("&OK"), "cmdOK");
    QPushButton *apply = button(this, QStringLiteral("&Apply"), "cmdApply");
    QPushButton *cancel = button(this, QStringLiteral("Cancel"), "cmdCancel");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    setTabOrder(m_txtDeveloperKey, m_txtEncryptionKey);
    setTabOrder(m_txtEncryptionKey, m_txtPassword);
    setTabOrder(m_txtPassword, ok);
    setTabOrder(ok, apply);
    setTabOrder(apply, cancel);

    connect(ok, &QPushButton::clicked, this, &frmEncryptionKey::cmdOK_Click);
    connect(apply, &QPushButton::clicked, this, &frmEncryptionKey::cmdApply_Click);
    connect(cancel, &QPushButton::clicked, this, &frmEncryptionKey::cmdCancel_Click);
}

void frmEncryptionKey::Form_Load()
{
    QString why;
    if (!modPublic::ReadSettings(m_developerKey, m_encryptionKey, m_password, &why))
        Messages::inform(Messages::Icon::Exclamation, Messages::appTitle(),
                         QStringLiteral("You may need to reinstall this program."), why);
    m_txtDeveloperKey->setText(m_developerKey);
    m_txtEncryptionKey->setText(m_encryptionKey);
    m_txtPassword->setText(m_password);
}

void frmEncryptionKey::writeFields()
{
    // The outcome is not reported here.
    modPublic::WriteSettings(m_txtDeveloperKey->text(), m_txtEncryptionKey->text(),
                             m_txtPassword->text());
}

void frmEncryptionKey::cmdApply_Click()
{
    writeFields();
}

void frmEncryptionKey::cmdOK_Click()
{
    writeFields();
    close();
}

void frmEncryptionKey::cmdCancel_Click()
{
    close();
}
