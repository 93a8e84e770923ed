#pragma once

#include <QString>

// Folders of one user's own under a folder that every user can write (the
// temporary folder): the answer files and the sandbox's catalogue and outbox
// live in one, so that nobody else can read them or plant files or links
// among them. Each failure names the folder by its role ("the temporary
// folder /tmp/varnell-0 belongs to another user").
namespace PrivateFolder {

// Makes the folder with mode 0700 when it is missing (its parent must exist),
// then checks it as checkAndTighten() does. Empty on success, otherwise what
// is wrong.
QString prepare(const QString &folder, const QString &role);

// Empty when the folder is a real folder, not a link, owned by this user;
// a looser mode is tightened to 0700 on the way. Otherwise what is wrong.
QString checkAndTighten(const QString &folder, const QString &role);

} // namespace PrivateFolder
