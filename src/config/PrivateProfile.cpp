#include "PrivateProfile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace Qurel {

namespace {
    QStringList readLines(const QString &fileName, bool *exists)
    {
        QFile file(fileName);
        *exists = file.open(QIODevice::ReadOnly);
        if (!*exists)
            return {};
        QString text = QString::fromUtf8(file.readAll());
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        QStringList lines = text.split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    // "[name]" -> name, anything else -> std::nullopt.
    std::optional<QString> sectionName(const QString &line)
    {
        const QString t = line.trimmed();
        if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
            return std::nullopt;
        return t.mid(1, t.size() - 2).trimmed();
    }

    bool isKeyLine(const QString &line, const QString &key, QString *value)
    {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            return false;
        if (value)
            *value = line.mid(eq + 1).trimmed();
        return true;
    }

    struct KeyPlace
    {
        qsizetype sectionLine = -1; // index of "[section]"
        qsizetype sectionEnd = -1; // index after the section's last line
        qsizetype keyLine = -1; // index of "key=value"
        QString value;
    };

    KeyPlace findKey(const QStringList &lines, const QString &section, const QString &key)
    {
        KeyPlace place;
        bool inSection = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (const auto name = sectionName(lines.at(i))) {
                if (inSection)
                    break;
                inSection = name->compare(section, Qt::CaseInsensitive) == 0;
                if (inSection)
                    place.sectionLine = i;
                continue;
            }
            if (!inSection)
                continue;
            if (!lines.at(i).trimmed().isEmpty())
                place.sectionEnd = i + 1;
            if (place.keyLine < 0 && isKeyLine(lines.at(i), key, &place.value))
                place.keyLine = i;
        }
        if (place.sectionLine >= 0 && place.sectionEnd < 0)
            place.sectionEnd = place.sectionLine + 1;
        return place;
    }

    QString unquoted(const QString &value)
    {
        if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\'')))
            && value.endsWith(value.front()))
            return value.mid(1, value.size() - 2);
        return value;
    }
} // namespace

std::optional<QString> ReadProfileString(const QString &fileName, const QString &section, const QString &key)
{
    bool exists = false;
    const QStringList lines = readLines(fileName, &exists);
    const KeyPlace place = findKey(lines, section, key);
    if (place.keyLine < 0)
        return std::nullopt;
    return unquoted(place.value);
}

bool WriteProfileString(
    const QString &fileName, const QString &section, const QString &key, const QString &value)
{
    bool exists = false;
    QStringList lines = readLines(fileName, &exists);
    const KeyPlace place = findKey(lines, section, key);
    const QString entry = key + QLatin1Char('=') + value;
    if (place.keyLine >= 0) {
        lines[place.keyLine] = entry;
    } else if (place.sectionLine >= 0) {
        lines.insert(place.sectionEnd, entry);
    } else {
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(lines.join(QLatin1String("\r\n")).toUtf8() + "\r\n");
    return file.commit();
}

} // namespace Qurel
