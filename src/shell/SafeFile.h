#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole file or nothing: the bytes go to a temporary file beside the
// target, which replaces the target only once everything is written.
namespace SafeFile {

bool write(const QString &path, const QByteArray &bytes, QString *error = nullptr);

} // namespace SafeFile
