#pragma once
// The per-user folder of the single-instance lock and the message channel's socket: the user's
// runtime folder (XDG_RUNTIME_DIR), else a folder of the client's own, made for its user alone, in
// the per-user data folder. Never a folder others can write into, such as /tmp.

#include <QString>

namespace Qurel {

// The folder without a trailing separator; empty when neither can be had, `error` then says why.
QString RuntimeFolder(QString *error = nullptr);

// Whether `folder` is a real folder (not a link) of this user that no one else may enter; a folder
// of this user with a wider mode is narrowed to 0700 first. `why` says what is wrong otherwise.
bool IsPrivateFolder(const QString &folder, QString *why = nullptr);

} // namespace Qurel
