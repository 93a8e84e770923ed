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
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTreeView>

#include <numeric>

namespace {

void report(const modStatistics::Outcome &outcome)
{
    Messages::inform(outcome.icon, outcome.title, outcome.text, outcome.details);
}

} // namespace

void frmMain::RetrieveStatistics(int period)
{
    m_statsModel->clear();
    m_statsSelected = {};
    m_expandedBeforeFilter.clear();
    modStatistics::Retrieval retrieval = modStatistics::RetrieveStatistics(period);
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
    m_statsSelected = {};
    m_expandedBeforeFilter.clear();
    m_statsModel->setStatistics(std::move(retrieval.statistics));
    // The transactions that a filter in place lets through are in sight.
    if (m_statsModel->isFiltered())
        expandStatsProducts();
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
    expandStatsProducts();
    // Cleared, the filter leaves the tree as a period's choice does.
    if (m_statsModel->isFiltered()) {
        m_expandedBeforeFilter.resize(std::size_t(m_statsModel->statistics().productCount()));
        std::iota(m_expandedBeforeFilter.begin(), m_expandedBeforeFilter.end(), 0);
    }
    PendingEvents::process();

    m_fraStatPeriod->setEnabled(true);
    hideProgress();
}

void frmMain::expandStatsProducts(const std::vector<qsizetype> *only)
{
    if (!only || qsizetype(only->size()) == m_statsModel->rowCount()) {
        m_tvStats->expandAll();
        return;
    }
    for (const qsizetype product : *only)
        m_tvStats->expand(m_statsModel->indexOf({product, -1}));
}

void frmMain::txtStatsFilter_Change()
{
    if (!m_statsModel->isFiltered()) {
        // The unfiltered tree's expanded products, to be given back.
        m_expandedBeforeFilter.clear();
        for (int row = 0; row < m_statsModel->rowCount(); ++row) {
            const QModelIndex product = m_statsModel->index(row, 0);
            if (m_tvStats->isExpanded(product))
                m_expandedBeforeFilter.push_back(m_statsModel->node(product).product);
        }
    }
    const TransactionTreeModel::Node selected = m_statsSelected;
    m_statsModel->setFilter(m_txtStatsFilter->text());
    if (m_statsModel->isFiltered())
        expandStatsProducts();
    else if (!m_expandedBeforeFilter.empty())
        expandStatsProducts(&m_expandedBeforeFilter);
    // The node selected stays selected while it is shown; hidden, nothing
    // is selected, and it is selected again when it shows again.
    m_statsSelected = selected;
    if (const QModelIndex shown = m_statsModel->indexOf(selected); shown.isValid()) {
        m_tvStats->setCurrentIndex(shown);
        m_tvStats->scrollTo(shown);
    }
}

void frmMain::cmdExportStats_Click()
{
    // What the filter shows is what is exported.
    if (m_statsModel->rowCount() == 0) {
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

    QString reason;
    if (!modStatistics::writeCsv(cdgOpen.FileName, m_statsModel->shownTexts(), &reason)) {
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
    // The node selected among those shown.
    const QModelIndexList selected = m_tvStats->selectionModel()->selectedIndexes();
    const QString text = selected.isEmpty() ? QString() : m_statsModel->text(selected.first());
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
