#pragma once
// Reading and writing one key of an INI file the way private-profile files work:
// section and key names without regard to case, other lines kept as they are, CR LF line ends.

#include <QString>

#include <optional>

namespace Qurel {

// The value of `key` in `[section]`, trimmed; std::nullopt when the file, section or key is missing.
std::optional<QString> ReadProfileString(const QString &fileName, const QString &section, const QString &key);

// Sets `key` in `[section]` (both created when missing, the file too). False when the file cannot
// be written; the old file then stays as it was.
bool WriteProfileString(
    const QString &fileName, const QString &section, const QString &key, const QString &value);

} // namespace Qurel
