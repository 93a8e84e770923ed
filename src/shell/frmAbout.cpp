#include "shell/frmAbout.h"

#include "shell/AppIcon.h"
#include "shell/HelpLinks.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Ostrand - Varnell Decryptor Light"));
    setModal(true);

    auto *picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    const QSize side(64, 64);
    picture->setPixmap(AppIcon::icon().pixmap(side, devicePixelRatio()));
    picture->setFixedSize(side);

    auto *label1 = new QLabel(this);
    label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = label1->font();
    bold.setBold(true);
    label1->setFont(bold);
    auto *label2 = new QLabel(HelpLinks::noticeLine(), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto *label3 = new QLabel(HelpLinks::makerWebAddress(), this);
    label3->setObjectName(QStringLiteral("Label3"));
    // The address is shown as text, not as a link.
    label3->setTextFormat(Qt::PlainText);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto *texts = new QVBoxLayout;
    texts->addWidget(label1);
    texts->addWidget(label2);
    texts->addWidget(label3);
    texts->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    Form_Load();
}

void frmAbout::Form_Load()
{
    findChild<QLabel *>(QStringLiteral("Label1"))->setText(HelpLinks::versionLine());
}

void frmAbout::cmdOK_Click()
{
    accept();
}
