// The Server Information tab of the main window: whether the chosen server
// answers, and how fast.
#include "shell/frmMain.h"

#include "status/ServerStatus.h"
#include "store/modPublic.h"

#include <QColor>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>

void frmMain::cboServer_Click()
{
    RefreshServerStatus();
}

void frmMain::cmdRefreshServer_Click()
{
    RefreshServerStatus();
}

void frmMain::RefreshServerStatus()
{
    // While the server is asked, the old result is not shown as if current.
    showProgress(QStringLiteral("Checking Server Status..."));
    QPalette normal = m_txtServerStatus->palette();
    normal.setColor(QPalette::Text, m_txtConnTime->palette().color(QPalette::Text));
    m_txtServerStatus->setPalette(normal);
    for (QLineEdit *box : {m_txtServerStatus, m_txtConnTime})
        box->setText(QStringLiteral("Connecting..."));
    // The package server comes from the window's copy of the developer key.
    // Both are read once pending events have run, so the outcome shown is
    // always the one of the entry shown.
    const ServerStatus::Outcome outcome = ServerStatus::probeServer([this] {
        return ServerStatus::Choice{m_cboServer->currentText(),
                                    modPublic::GetServerPath(m_settings.developerKey)};
    });
    // A failure shows the status in red; success gives it back the normal
    // colour, the one of the connection time, which never changes.
    QPalette status = m_txtServerStatus->palette();
    status.setColor(QPalette::Text, outcome.active ? m_txtConnTime->palette().color(QPalette::Text)
                                                   : QColor(255, 0, 0));
    m_txtServerStatus->setPalette(status);
    m_txtServerStatus->setText(outcome.status);
    m_txtConnTime->setText(outcome.connectionTime);
    hideProgress();
}
