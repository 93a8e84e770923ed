// Parses a statistics answer of 100,000 transactions and exports it as CSV,
// beside a plain split of the same answer into lines (the least any reader
// of the answer does). Each phase runs in a child process of its own, forked
// after the answer was made, so that its peak memory is its own: the child's
// peak resident size minus what it held when it started (the shared answer
// and the program). The child runs the phase three times; the time is the
// best of them (the first pays for fresh pages), the peak covers all three.

#include "statistics/StatsExport.h"
#include "statistics/modStatistics.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int productCount = 100;
constexpr int transactionsPerProduct = 1000;

QByteArray makeAnswer()
{
    const char *const codes[] = {"0", "-1", "2", "0", "0"};
    QByteArray answer;
    answer.reserve(productCount * transactionsPerProduct * 64);
    int tid = 100000;
    for (int p = 1; p <= productCount; ++p) {
        for (int t = 0; t < transactionsPerProduct; ++t, ++tid) {
            const QByteArray fields =
                QByteArray::number(1 + t % 12) + '/' + QByteArray::number(1 + t % 28) +
                "/2003 10:" + QByteArray::number(10 + t % 50) + ":00|" + codes[t % 5] + "|T" +
                QByteArray::number(tid) + "|End User " + QByteArray::number(tid % 977);
            if (t == 0)
                answer += "New Product |" + QByteArray::number(p) + "|Product number " +
                          QByteArray::number(p) + " - Standard Edition|x|" + fields + "\r\n";
            else
                answer += "|" + fields + "\r\n";
        }
    }
    answer += "End Products\r\n";
    return answer;
}

long maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Measure
{
    double seconds = 0;
    long startKiB = 0;
    long peakKiB = 0;
    qint64 result = 0; // what the phase produced, so that it is not optimised away
    long grownKiB() const { return peakKiB - startKiB; }
};

template<typename Phase> Measure inChild(Phase phase)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Measure m;
        m.startKiB = maxRssKiB();
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            m.result = phase();
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            if (run == 0 || seconds < m.seconds)
                m.seconds = seconds;
        }
        m.peakKiB = maxRssKiB();
        [[maybe_unused]] const ssize_t written = write(fds[1], &m, sizeof m);
        _exit(0);
    }
    close(fds[1]);
    Measure m;
    if (read(fds[0], &m, sizeof m) != ssize_t(sizeof m))
        m = {};
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return m;
}

} // namespace

int main()
{
    const QByteArray answer = makeAnswer();

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
    line("parse into the tree:", parse);
    line("parse and export to CSV:", both);
    std::printf("  ratio parse+export / split:    %.1fx time  %.1fx memory\n",
                both.seconds / split.seconds,
                double(both.grownKiB()) / double(std::max(split.grownKiB(), 1L)));
    return 0;
}
