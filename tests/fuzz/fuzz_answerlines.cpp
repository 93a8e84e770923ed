// An answer's lines: a line ends at CR, optionally followed by LF; a lone LF
// stays in its line.
#include "FuzzSupport.h"

#include "gateway/modProdUpdate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray answer = FuzzSupport::bytes(data, size);
    const QList<QByteArray> lines = modProdUpdate::answerLines(answer);

    // The answer without its line ends, and how many lines it has: one per
    // CR, and one more for text after the last line end.
    QByteArray withoutLineEnds;
    qsizetype lineEnds = 0;
    bool textAfterLastEnd = false;
    for (qsizetype i = 0; i < answer.size(); ++i) {
        if (answer[i] == '\r') {
            ++lineEnds;
            textAfterLastEnd = false;
            if (i + 1 < answer.size() && answer[i + 1] == '\n')
                ++i;
        } else {
            withoutLineEnds += answer[i];
            textAfterLastEnd = true;
        }
    }

    FUZZ_CHECK(lines.size() == lineEnds + (textAfterLastEnd ? 1 : 0));
    QByteArray joined;
    for (const QByteArray &line : lines) {
        FUZZ_CHECK(!line.contains('\r'));
        joined += line;
    }
    FUZZ_CHECK(joined == withoutLineEnds);
    return 0;
}
