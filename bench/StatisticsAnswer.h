#pragma once

#include <QByteArray>
#include <QString> // the + of byte arrays

// A statistics answer as the central server sends it, of `products`
// products with `perProduct` transactions each (dates, results, IDs and end
// users varying), ending in "End Products". Shared by the benchmarks.
inline QByteArray makeStatisticsAnswer(int products, int perProduct)
{
    const char *const codes[] = {"0", "-1", "2", "0", "0"};
    QByteArray answer;
    answer.reserve(qsizetype(products) * perProduct * 64);
    int tid = 100000;
    for (int p = 1; p <= products; ++p) {
        for (int t = 0; t < perProduct; ++t, ++tid) {
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
    if (products > 0)
        answer += "End Products\r\n";
    return answer;
}
