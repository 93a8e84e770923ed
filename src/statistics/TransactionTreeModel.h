#pragma once

#include "statistics/modStatistics.h"

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>

#include <vector>

// The transaction tree of the Usage Statistics tab as an item model over the
// parsed answer: one product node per product at the top, its transaction
// nodes under it, one column. A node's text is made when a view asks for
// it; its key is the KeyRole. A filter shows only the transactions whose
// fields hold every word of a text, each under its product; products left
// without a transaction are not shown.
class TransactionTreeModel final : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int KeyRole = Qt::UserRole;

    // A node by its place in the statistics, shown or not: a product, or a
    // transaction of it by its number (-1 for the product node itself).
    struct Node
    {
        qsizetype product = -1;
        qsizetype transaction = -1;

        bool isTransaction() const { return product >= 0 && transaction >= 0; }
        bool operator==(const Node &) const = default;
    };

    explicit TransactionTreeModel(QObject *parent = nullptr);

    // Shows these statistics in place of the former ones, through the
    // filter in place.
    void setStatistics(modStatistics::Statistics statistics);
    void clear();
    const modStatistics::Statistics &statistics() const { return m_statistics; }

    // The words of the text (separated by white space) that a transaction's
    // date, result word, transaction ID or end user must each hold, letter
    // case aside. A text without words shows every node.
    void setFilter(const QString &text);
    const QString &filter() const { return m_filterText; }
    bool isFiltered() const { return m_filtered; }

    Node node(const QModelIndex &index) const;
    // Where a node is shown; an invalid index when the filter hides it.
    QModelIndex indexOf(Node node) const;
    QString text(const QModelIndex &index) const;
    QString key(const QModelIndex &index) const;
    // The texts of the nodes shown, in tree order: each product shown,
    // followed by its transactions shown.
    QStringList shownTexts() const;
    qsizetype shownTransactionCount() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Transaction nodes never have children: a view that expands every node
    // then keeps a note for each product only, not for each transaction.
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void applyFilter();
    // The product and the transaction number of a shown row.
    qsizetype productAt(int row) const;
    qsizetype transactionAt(int productRow, int row) const;

    modStatistics::Statistics m_statistics;
    QString m_filterText;
    bool m_filtered = false;
    // With a filter: the products shown, in order; for each, where its
    // transactions shown begin in m_shownNumbers (one more entry closes the
    // last); the numbers of the transactions shown, product by product.
    std::vector<quint16> m_shownProducts;
    std::vector<quint32> m_shownFirst;
    std::vector<quint16> m_shownNumbers;
};
