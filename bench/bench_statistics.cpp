// Parses a statistics answer of 100,000 transactions and exports it as CSV,
// beside a plain split of the same answer into lines (the least any reader
// of the answer does). Each phase runs in a child process of its own, forked
// after the answer was made (ChildMeasure.h).

#include "ChildMeasure.h"
#include "StatisticsAnswer.h"
#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"

#include <QByteArray>

#include <cstdio>

namespace {

constexpr int productCount = 100;
constexpr int transactionsPerProduct = 1000;

} // namespace

int main()
{
    const QByteArray answer = makeStatisticsAnswer(productCount, transactionsPerProduct);

    const Measure split = inChild([&answer] { return qint64(answer.split('\n').size()); });
    qint64 products = 0;
    const Measure parse = inChild([&answer] {
        const modStatistics::Statistics statistics = modStatistics::parseStatistics(answer);
        return qint64(statistics.productCount());
    });
    const Measure both = inChild([&answer] {
        const modStatistics::Statistics statistics = modStatistics::parseStatistics(answer);
        return qint64(modStatistics::csvFromNodeTexts(statistics.nodeTexts()).size());
    });
    products = parse.result;
    if (split.result != productCount * transactionsPerProduct + 2 || products != productCount ||
        both.result <= 0) {
        std::fprintf(stderr, "the phases did not do their work\n");
        return 1;
    }

    std::printf("Statistics: %d transactions under %d products, %.1f MB answer, %.1f MB CSV\n",
                productCount * transactionsPerProduct, productCount, double(answer.size()) / 1e6,
                double(both.result) / 1e6);
    std::printf(
        "  (each phase in a fresh child process: best time of three runs; memory = the\n"
        "   child's peak resident size minus its size at the start, which holds the answer)\n");
    const auto line = [](const char *name, const Measure &m) {
        std::printf("  %-30s %8.3f s  %8.1f MB peak memory\n", name, m.seconds,
                    double(m.grownKiB()) / 1024.0);
    };
    line("split into lines (floor):", split);
    line("parse (what the tree shows):", parse);
    line("parse and export to CSV:", both);
    std::printf("  ratio parse+export / split:    %.1fx time  %.1fx memory\n",
                both.seconds / split.seconds,
                double(both.grownKiB()) / double(std::max(split.grownKiB(), 1L)));
    return 0;
}
