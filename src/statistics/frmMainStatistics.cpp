// The Usage Statistics tab of the main window: the transaction tree of the
// chosen period, its CSV export and the packet re-delivery request.
#include "shell/frmMain.h"

#include "common/Ansi.h"
#include "common/Messages.h"
#include "common/PendingEvents.h"
#include "gateway/modProdUpdate.h"
#include "shell/MainLayout.h"
#include "statistics/PacketRequest.h"
#include "statistics/Redelivery.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"
#include "store/modPublic.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

// A node of the tree: its text shown, its key kept beside it.
QTreeWidgetItem *node(const QString &key, const QString &text)
{
    auto *item = new QTreeWidgetItem(QStringList{text});
    item->setData(0, Qt::UserRole, key);
    return item;
}

void report(const modStatistics::Outcome &outcome)
{
    Messages::inform(outcome.icon, outcome.title, outcome.text, outcome.details);
}

} // namespace

void frmMain::RetrieveStatistics(int period)
{
    m_tvStats->clear();
    const modStatistics::Retrieval retrieval = modStatistics::RetrieveStatistics(period);
    if (m_closing)
        return;
    if (!retrieval.downloaded) {
        Messages::inform(
            Messages::Icon::Exclamation, QStringLiteral("Server Unavailable"),
            Messages::lines({QStringLiteral("Unable to retrieve statistics."),
                             QStringLiteral("The statistics server may be unavailable."), QString(),
                             QStringLiteral("Please contact Ostrand if this problem "
                                            "persists")}),
            modProdUpdate::lastFailure());
        return;
    }
    // Whatever pending events did meanwhile, only this retrieval's nodes
    // remain.
    m_tvStats->clear();
    QList<QTreeWidgetItem *> products;
    products.reserve(retrieval.products.size());
    for (const modStatistics::Product &product : retrieval.products) {
        QTreeWidgetItem *productNode = node(product.key(), product.text());
        for (qsizetype n = 0; n < product.transactions.size(); ++n)
            productNode->addChild(node(product.transactionKey(n),
                                       modStatistics::transactionText(product.transactions.at(n))));
        products.append(productNode);
    }
    m_tvStats->addTopLevelItems(products);
}

void frmMain::optStatPeriod_Click(int index)
{
    showProgress(QStringLiteral("Retrieving Transaction History..."));
    // No second period can be chosen while this one is fetched.
    m_fraStatPeriod->setEnabled(false);
    const auto twips = [this](const QWidget *w) { return toTwips(w->geometry()); };
    m_txtProgress->setGeometry(toPixels(MainLayout::progressOverPeriodFrame(
        twips(m_fraStats), twips(m_fraStatPeriod), twips(m_txtProgress).size())));
    PendingEvents::process();

    RetrieveStatistics(index);
    m_tvStats->expandAll();
    PendingEvents::process();

    m_fraStatPeriod->setEnabled(true);
    hideProgress();
}

void frmMain::cmdExportStats_Click()
{
    if (m_tvStats->topLevelItemCount() == 0) {
        Messages::inform(Messages::Icon::Information, QStringLiteral("No Data"),
                         QStringLiteral("There is no data to export."));
        return;
    }
    // The file name and filter entry stay as the dialog's last use left them.
    cdgOpen.DefaultExt = QStringLiteral("csv");
    cdgOpen.Filter =
        QStringLiteral("CSV Files (*.csv)|*.csv|Text Files (*.txt)|*.txt|All Files (*.*)|*.*|");
    cdgOpen.Flags = CommonDialog::OverwritePrompt;
    cdgOpen.CancelError = true;
    if (cdgOpen.ShowSave() == CommonDialog::Result::Cancelled)
        return;

    QStringList texts;
    for (QTreeWidgetItemIterator it(m_tvStats); *it; ++it)
        texts.append((*it)->text(0));
    QString reason;
    if (!modStatistics::writeCsv(cdgOpen.FileName, texts, &reason)) {
        Messages::inform(Messages::Icon::Exclamation, QStringLiteral("Export Failed"),
                         Messages::lines({QStringLiteral("The data could not be exported to ") +
                                              cdgOpen.FileName + QLatin1Char('.'),
                                          reason}));
        return;
    }
    Messages::inform(Messages::Icon::Information, QStringLiteral("Export Successful"),
                     QStringLiteral("The data has successfully been exported."));
}

void frmMain::cmdReqPackage_Click()
{
    const QList<QTreeWidgetItem *> selected = m_tvStats->selectedItems();
    const QString text = selected.isEmpty() ? QString() : selected.first()->text(0);
    if (!modStatistics::isTransactionNode(text)) {
        report(modStatistics::invalidSelection());
        return;
    }
    // One request at a time: the channel refuses a second one while the
    // first runs, and that answer is still reported when it comes.
    if (const auto refused = modStatistics::startRefusal(
            m_INetReq->start(modPublic::GetServerPath(m_settings.developerKey),
                             modStatistics::transactionIdFromNodeText(text))))
        report(*refused);
}

void frmMain::INetReq_Completed(const QByteArray &body)
{
    report(modStatistics::classifyRequestAnswer(Ansi::decode(body)));
}

void frmMain::INetReq_Failed(const QString &reason)
{
    // Told, so that a request that went nowhere is not taken for one still
    // on its way.
    report(modStatistics::requestFailed(reason));
}
