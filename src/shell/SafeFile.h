#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Writes a whole file or nothing: the bytes go to a temporary file beside the
// target, which replaces the target only once everything is written.
namespace SafeFile {

bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Reads at most maxBytes of a regular file. Anything else (a FIFO, a device,
// a folder) is refused at once: reading a FIFO would wait for a writer that
// may never come. The error says why, without the path.
std::optional<QByteArray> readRegular(const QString &path, qint64 maxBytes,
                                      QString *error = nullptr);

} // namespace SafeFile
