#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What the fuzz targets share: the input as bytes, and a check that stops
// the run when a property does not hold, so that libFuzzer keeps the input
// that broke it.
namespace FuzzSupport {

// The input without a copy: a read past its end lands outside libFuzzer's
// exactly sized buffer, where AddressSanitizer sees it.
inline QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

[[noreturn]] inline void fail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

} // namespace FuzzSupport

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzSupport::fail(#condition, __FILE__, __LINE__);                                     \
    } while (false)
