#include "statistics/TransactionTreeModel.h"

#include "common/Ansi.h"

#include <algorithm>
#include <array>

namespace {

using modStatistics::Result;

// Each byte of the answer's code page with its letter case folded, so that
// the fields are searched without making strings of them.
const std::array<unsigned char, 256> &foldTable()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const QChar folded = Ansi::charFromByte(uchar(b)).toCaseFolded();
            t[std::size_t(b)] = Ansi::canEncode(QStringView(&folded, 1))
                                    ? uchar(Ansi::encode(QStringView(&folded, 1)).front())
                                    : uchar(b);
        }
        return t;
    }();
    return table;
}

// One word of the filter, case-folded in the answer's code page; a word with
// a character that the code page lacks can be in no field.
struct Word
{
    QByteArray folded;
    bool possible = true;
    // Whether each result word holds it, by Result.
    std::array<bool, 3> inResult{};
};

QByteArray foldBytes(QByteArrayView bytes)
{
    const auto &fold = foldTable();
    QByteArray out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = char(fold[uchar(bytes[i])]);
    return out;
}

bool holds(QByteArrayView field, const QByteArray &word)
{
    const auto &fold = foldTable();
    const qsizetype n = word.size();
    const auto *w = reinterpret_cast<const uchar *>(word.constData());
    const auto *f = reinterpret_cast<const uchar *>(field.data());
    for (qsizetype i = 0; i + n <= field.size(); ++i) {
        if (fold[f[i]] != w[0])
            continue;
        qsizetype j = 1;
        while (j < n && fold[f[i + j]] == w[j])
            ++j;
        if (j == n)
            return true;
    }
    return false;
}

std::vector<Word> wordsOf(const QString &text)
{
    std::vector<Word> words;
    for (const QString &part : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        Word word;
        // A character of the code page stands for itself; one outside it may
        // still fold to one inside (typed in the other letter case).
        QString inCodePage;
        for (QChar c : part)
            inCodePage += Ansi::canEncode(QStringView(&c, 1)) ? c : c.toCaseFolded();
        word.possible = Ansi::canEncode(inCodePage);
        word.folded = foldBytes(Ansi::encode(inCodePage));
        for (const Result result : {Result::Success, Result::NotProcessed, Result::Declined})
            word.inResult[std::size_t(result)] =
                word.possible &&
                holds(Ansi::encode(modStatistics::resultWord(result)), word.folded);
        words.push_back(std::move(word));
    }
    return words;
}

bool transactionHolds(const modStatistics::Statistics::Fields &fields,
                      const std::vector<Word> &words)
{
    for (const Word &word : words) {
        if (!word.possible)
            return false;
        if (!word.inResult[std::size_t(fields.result)] && !holds(fields.date, word.folded) &&
            !holds(fields.transactionId, word.folded) && !holds(fields.endUser, word.folded))
            return false;
    }
    return true;
}

// Product rows have the internal ID 0; transaction rows their product's row
// plus 1.
constexpr quintptr productNodeId = 0;

} // namespace

TransactionTreeModel::TransactionTreeModel(QObject *parent) : QAbstractItemModel(parent) {}

void TransactionTreeModel::setStatistics(modStatistics::Statistics statistics)
{
    beginResetModel();
    m_statistics = std::move(statistics);
    applyFilter();
    endResetModel();
}

void TransactionTreeModel::clear()
{
    setStatistics(modStatistics::Statistics());
}

void TransactionTreeModel::setFilter(const QString &text)
{
    beginResetModel();
    m_filterText = text;
    applyFilter();
    endResetModel();
}

void TransactionTreeModel::applyFilter()
{
    m_shownProducts.clear();
    m_shownFirst.clear();
    m_shownNumbers.clear();
    const std::vector<Word> words = wordsOf(m_filterText);
    m_filtered = !words.empty();
    if (!m_filtered)
        return;
    for (qsizetype p = 0; p < m_statistics.productCount(); ++p) {
        const std::size_t before = m_shownNumbers.size();
        const qsizetype count = m_statistics.transactionCount(p);
        for (qsizetype n = 0; n < count; ++n) {
            if (transactionHolds(m_statistics.fields(p, n), words))
                m_shownNumbers.push_back(quint16(n));
        }
        if (m_shownNumbers.size() > before) {
            m_shownProducts.push_back(quint16(p));
            m_shownFirst.push_back(quint32(before));
        }
    }
    m_shownFirst.push_back(quint32(m_shownNumbers.size()));
}

qsizetype TransactionTreeModel::productAt(int row) const
{
    return m_filtered ? m_shownProducts[std::size_t(row)] : row;
}

qsizetype TransactionTreeModel::transactionAt(int productRow, int row) const
{
    return m_filtered ? m_shownNumbers[m_shownFirst[std::size_t(productRow)] + std::size_t(row)]
                      : row;
}

TransactionTreeModel::Node TransactionTreeModel::node(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    if (index.internalId() == productNodeId)
        return {productAt(index.row()), -1};
    const int productRow = int(index.internalId() - 1);
    return {productAt(productRow), transactionAt(productRow, index.row())};
}

QModelIndex TransactionTreeModel::indexOf(Node node) const
{
    if (node.product < 0 || node.product >= m_statistics.productCount() ||
        node.transaction >= m_statistics.transactionCount(node.product))
        return {};
    int productRow = int(node.product);
    if (m_filtered) {
        const auto it =
            std::lower_bound(m_shownProducts.begin(), m_shownProducts.end(), node.product);
        if (it == m_shownProducts.end() || *it != node.product)
            return {};
        productRow = int(it - m_shownProducts.begin());
    }
    if (node.transaction < 0)
        return createIndex(productRow, 0, productNodeId);
    int row = int(node.transaction);
    if (m_filtered) {
        const auto first = m_shownNumbers.begin() + m_shownFirst[std::size_t(productRow)];
        const auto last = m_shownNumbers.begin() + m_shownFirst[std::size_t(productRow) + 1];
        const auto it = std::lower_bound(first, last, node.transaction);
        if (it == last || *it != node.transaction)
            return {};
        row = int(it - first);
    }
    return createIndex(row, 0, quintptr(productRow) + 1);
}

QString TransactionTreeModel::text(const QModelIndex &index) const
{
    const Node n = node(index);
    if (n.product < 0)
        return QString();
    return n.isTransaction() ? m_statistics.transactionText(n.product, n.transaction)
                             : m_statistics.productText(n.product);
}

QString TransactionTreeModel::key(const QModelIndex &index) const
{
    const Node n = node(index);
    if (n.product < 0)
        return QString();
    return n.isTransaction() ? m_statistics.transactionKey(n.product, n.transaction)
                             : m_statistics.productKey(n.product);
}

QStringList TransactionTreeModel::shownTexts() const
{
    QStringList texts;
    const int products = rowCount();
    texts.reserve(products + shownTransactionCount());
    for (int row = 0; row < products; ++row) {
        const qsizetype product = productAt(row);
        texts.append(m_statistics.productText(product));
        const int transactions = rowCount(index(row, 0));
        for (int t = 0; t < transactions; ++t)
            texts.append(m_statistics.transactionText(product, transactionAt(row, t)));
    }
    return texts;
}

qsizetype TransactionTreeModel::shownTransactionCount() const
{
    return m_filtered ? qsizetype(m_shownNumbers.size()) : m_statistics.transactionCount();
}

QModelIndex TransactionTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || row >= rowCount(parent))
        return {};
    return createIndex(row, 0, parent.isValid() ? quintptr(parent.row()) + 1 : productNodeId);
}

QModelIndex TransactionTreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == productNodeId)
        return {};
    return createIndex(int(child.internalId() - 1), 0, productNodeId);
}

int TransactionTreeModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return m_filtered ? int(m_shownProducts.size()) : int(m_statistics.productCount());
    if (parent.column() != 0 || parent.internalId() != productNodeId)
        return 0;
    const auto row = std::size_t(parent.row());
    return m_filtered ? int(m_shownFirst[row + 1] - m_shownFirst[row])
                      : int(m_statistics.transactionCount(parent.row()));
}

int TransactionTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant TransactionTreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return text(index);
    if (role == KeyRole)
        return key(index);
    return {};
}

Qt::ItemFlags TransactionTreeModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractItemModel::flags(index);
    if (index.isValid() && index.internalId() != productNodeId)
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}
