#include "shell/frmLogin.h"

#include "common/Messages.h"
#include "store/modPublic.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Shows every typed character of the password as "*".
class StarPasswordStyle final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

frmLogin::frmLogin(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Varnell Decryption Utility"));
    setModal(true);

    m_lblHeader = new QLabel(
        QStringLiteral("Please enter your password to log in to the decryption utility."), this);
    m_lblHeader->setObjectName(QStringLiteral("lblHeader"));
    m_lblHeader->setWordWrap(true);

    m_txtPWD = new QLineEdit(this);
    m_txtPWD->setObjectName(QStringLiteral("txtPWD"));
    auto *style = new StarPasswordStyle;
    style->setParent(this);
    m_txtPWD->setStyle(style);
    m_txtPWD->setEchoMode(QLineEdit::Password);

    m_cmdOkay = new QPushButton(QStringLiteral("&Okay"), this);
    m_cmdOkay->setObjectName(QStringLiteral("cmdOkay"));
    m_cmdOkay->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOkay);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblHeader);
    layout->addWidget(m_txtPWD);
    layout->addLayout(buttons);

    setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    setTabOrder(m_txtPWD, m_cmdOkay);
    setTabOrder(m_cmdOkay, m_cmdCancel);
    m_txtPWD->setFocus();

    connect(m_cmdOkay, &QPushButton::clicked, this, &frmLogin::cmdOkay_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    // Esc and the close box end the dialog as Cancel does.
    connect(this, &QDialog::rejected, this, [] { modPublic::LoginAccepted = false; });
}

void frmLogin::cmdOkay_Click()
{
    if (m_txtPWD->text() != StoredPassword) {
        m_txtPWD->clear();
        Messages::inform(Messages::Icon::Information, QStringLiteral("Invalid Password"),
                         QStringLiteral("The password entered is an invalid password."));
        m_txtPWD->setFocus();
        return;
    }
    modPublic::LoginAccepted = true;
    accept();
}

void frmLogin::cmdCancel_Click()
{
    modPublic::LoginAccepted = false;
    reject();
}
