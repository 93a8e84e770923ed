#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file or nothing: the bytes go to a temporary file beside the
// target, which replaces the target only once everything is written.
namespace SafeFile {

bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

// Reads at most maxBytes of a regular file into bytes. Anything else (a FIFO,
// a device, a folder) is refused at once: reading a FIFO would wait for a
// writer that may never come. On a read error, bytes holds what was read
// before it. False on any failure, with the reason (without the path) in
// error.
bool readRegular(const QString &path, qint64 maxBytes, QByteArray &bytes, QString *error = nullptr);

} // namespace SafeFile
