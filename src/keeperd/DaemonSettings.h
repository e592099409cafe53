#pragma once
// The settings a keeper keeps lessons by: the window's own (the user's settings store and the
// program folder's config.ini), or one file of the same format (a system instance's).

#include "KeeperSettingsFrom.h"
#include "KeeperTypes.h"

#include <QString>

#include <optional>

class TSDKConfig;

namespace Qurel {

// `file` empty: the window's settings; else that file, which must exist and be readable.
// `defaultRecordings`, when given, stands for a recordings folder the settings leave empty.
// nullopt with `error` when the file cannot be read.
std::optional<KeeperSettings> ReadKeeperSettings(
    const QString &file, const QString &defaultRecordings, QString *error);

// What --check prints: where the settings come from and what the keeper takes from them, one
// "name: value" per line (the password only as set or empty).
QString DescribeKeeperSettings(const QString &file, const KeeperSettings &settings);

} // namespace Qurel
