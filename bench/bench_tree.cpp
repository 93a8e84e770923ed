// The transaction tree of the Usage Statistics tab over a year of 100,000
// transactions, offscreen: its peak memory beside the parsed data's, and
// beside the tree as it was made before (a QTreeWidget item per node), and
// the filter box's cost per keystroke. Memory phases run in child processes
// of their own (ChildMeasure.h), each after a window toolkit with an empty
// tree view was set up, so that only the tree's own memory counts.
#include "ChildMeasure.h"
#include "StatisticsAnswer.h"
#include "statistics/TransactionTreeModel.h"
#include "statistics/modStatistics.h"

#include <QApplication>
#include <QHeaderView>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int productCount = 100;
constexpr int transactionsPerProduct = 1000;

// The tab's view, as the window makes it.
void setUpView(QTreeView &view)
{
    view.setHeaderHidden(true);
    view.setUniformRowHeights(true);
    view.header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    view.header()->setStretchLastSection(false);
    view.resize(520, 300);
}

std::unique_ptr<QApplication> application;

// The toolkit, a font and an empty tree view shown once: what every phase
// needs before it starts.
void setUpToolkit()
{
    static int argc = 1;
    static char name[] = "bench_tree";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    application = std::make_unique<QApplication>(argc, argv);
    QTreeWidget empty;
    setUpView(empty);
    empty.show();
    empty.repaint();
}

// A period chosen: the tree filled, every node expanded and painted.
qint64 showModel(const QByteArray &answer)
{
    TransactionTreeModel model;
    QTreeView view;
    setUpView(view);
    view.setModel(&model);
    view.show();
    model.setStatistics(modStatistics::parseStatistics(answer));
    view.expandAll();
    view.repaint();
    return model.shownTransactionCount();
}

// The same with an item per node, as the tab made the tree before.
qint64 showItems(const QByteArray &answer)
{
    QTreeWidget tree;
    setUpView(tree);
    tree.setColumnCount(1);
    tree.show();
    const QList<modStatistics::Product> products =
        modStatistics::parseStatistics(answer).products();
    QList<QTreeWidgetItem *> nodes;
    for (const modStatistics::Product &product : products) {
        auto *node = new QTreeWidgetItem(QStringList{product.text()});
        node->setData(0, Qt::UserRole, product.key());
        for (qsizetype n = 0; n < product.transactions.size(); ++n) {
            auto *child = new QTreeWidgetItem(
                QStringList{modStatistics::transactionText(product.transactions.at(n))});
            child->setData(0, Qt::UserRole, product.transactionKey(n));
            node->addChild(child);
        }
        nodes.append(node);
    }
    tree.addTopLevelItems(nodes);
    tree.expandAll();
    tree.repaint();
    qint64 count = 0;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it)
        ++count;
    return count - products.size();
}

struct Keystrokes
{
    double meanMs = 0;
    double worstMs = 0;
    qint64 shown = 0; // transactions shown after the last word
};

// Types the text into the filter one character at a time, as the tab
// handles each: the filter applied, the products shown expanded, the view
// painted; then clears it. With view false, the filter alone.
Keystrokes typeFilter(const QByteArray &answer, const QString &text, bool withView)
{
    TransactionTreeModel model;
    QTreeView view;
    setUpView(view);
    view.setModel(&model);
    if (withView)
        view.show();
    model.setStatistics(modStatistics::parseStatistics(answer));
    view.expandAll();
    view.repaint();
    std::vector<double> times;
    Keystrokes k;
    for (qsizetype n = 1; n <= text.size() + 1; ++n) {
        // The last keystroke clears the box.
        const QString typed = n <= text.size() ? text.left(n) : QString();
        QElapsedTimer timer;
        timer.start();
        model.setFilter(typed);
        if (withView) {
            view.expandAll();
            view.repaint();
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (n == text.size())
            k.shown = model.shownTransactionCount();
    }
    for (double t : times)
        k.meanMs += t / double(times.size());
    k.worstMs = *std::max_element(times.begin(), times.end());
    return k;
}

} // namespace

int main()
{
    const QByteArray answer = makeStatisticsAnswer(productCount, transactionsPerProduct);
    const qint64 total = qint64(productCount) * transactionsPerProduct;

    const Measure parsed = inChild(setUpToolkit, [&answer] {
        const modStatistics::Statistics statistics = modStatistics::parseStatistics(answer);
        return qint64(statistics.transactionCount());
    });
    const Measure tree = inChild(setUpToolkit, [&answer] { return showModel(answer); });
    const Measure items = inChild(setUpToolkit, [&answer] { return showItems(answer); });
    if (parsed.result != total || tree.result != total || items.result != total) {
        std::fprintf(stderr, "the phases did not do their work\n");
        return 1;
    }

    // "end user 97": the transactions of end users 97 and 970 to 976.
    const QString words = QStringLiteral("end user 97");
    setUpToolkit();
    const Keystrokes alone = typeFilter(answer, words, false);
    const Keystrokes shown = typeFilter(answer, words, true);
    if (alone.shown != shown.shown || shown.shown <= 0 || shown.shown >= total) {
        std::fprintf(stderr, "the filter did not do its work\n");
        application.reset();
        return 1;
    }

    std::printf("Transaction tree: %lld transactions under %d products, offscreen\n",
                static_cast<long long>(total), productCount);
    std::printf("  (memory = a child's peak resident size over its size once the toolkit and\n"
                "   an empty tree view were up, the %.1f MB answer, which all hold, made\n"
                "   before; best time of three runs)\n",
                double(answer.size()) / 1e6);
    const auto line = [](const char *name, const Measure &m) {
        std::printf("  %-44s %8.3f s  %8.1f MB peak memory\n", name, m.seconds,
                    double(m.grownKiB()) / 1024.0);
    };
    line("parsed data (floor):", parsed);
    line("tree shown, expanded (model over the data):", tree);
    line("tree shown, expanded (an item per node):", items);
    const auto ratio = [](const Measure &a, const Measure &b) {
        return double(a.grownKiB()) / double(std::max(b.grownKiB(), 1L));
    };
    std::printf("  ratio tree / parsed data:                   %.2fx memory\n",
                ratio(tree, parsed));
    std::printf("  ratio item per node / tree:                 %.1fx memory  %.1fx time\n",
                ratio(items, tree), items.seconds / tree.seconds);
    std::printf("Filter box over the same tree, typing \"%s\" then clearing it\n"
                "  (%lld transactions shown at the end):\n",
                qPrintable(words), static_cast<long long>(shown.shown));
    std::printf("  %-44s %8.1f ms mean %6.1f ms worst\n",
                "per keystroke, filter alone:", alone.meanMs, alone.worstMs);
    std::printf("  %-44s %8.1f ms mean %6.1f ms worst\n",
                "per keystroke, view laid out, painted:", shown.meanMs, shown.worstMs);
    application.reset();
    return 0;
}
