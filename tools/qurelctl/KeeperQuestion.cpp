#include "KeeperQuestion.h"

#include "KeeperClient.h"
#include "KeeperSocket.h"

#include <QFileInfo>

#include <cstdio>

namespace {

using Kind = Qurel::KeeperCommand::Kind;

const QString kInstanceOption = QStringLiteral("--instance");

constexpr int kAnswerMs = 1000;

std::optional<Kind> questionWord(const QString &word)
{
    if (word.compare(QLatin1String("status"), Qt::CaseInsensitive) == 0)
        return Kind::Status;
    if (word.compare(QLatin1String("ping"), Qt::CaseInsensitive) == 0)
        return Kind::Ping;
    return std::nullopt;
}

std::optional<KeeperQuestion> fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

// The keeper's line goes to a terminal: a control character in it (a keeper escapes them in the
// title and file) is shown escaped, never sent to the terminal as it is.
QString printable(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace

bool IsKeeperQuestion(const QStringList &args)
{
    if (!args.isEmpty() && questionWord(args.first()))
        return true;
    for (const QString &arg : args)
        if (arg == kInstanceOption || arg.startsWith(kInstanceOption + QLatin1Char('=')))
            return true;
    return false;
}

std::optional<KeeperQuestion> ParseKeeperQuestion(const QStringList &args, QString *error)
{
    KeeperQuestion question;
    bool instanceGiven = false;
    QStringList words;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const bool joined = arg.startsWith(kInstanceOption + QLatin1Char('='));
        if (arg != kInstanceOption && !joined) {
            words << arg;
            continue;
        }
        if (instanceGiven)
            return fail(error, QStringLiteral("--instance is given more than once"));
        if (!joined && i + 1 == args.size())
            return fail(error, QStringLiteral("--instance needs an instance name"));
        question.instance = joined ? arg.mid(kInstanceOption.size() + 1) : args.at(++i);
        instanceGiven = true;
        if (!Qurel::IsKeeperInstanceName(question.instance))
            return fail(error, QStringLiteral("bad instance name \"%1\": %2")
                                   .arg(printable(question.instance), Qurel::KeeperInstanceNameRule()));
    }
    const auto kind = words.isEmpty() ? std::nullopt : questionWord(words.first());
    if (!kind)
        return fail(error, QStringLiteral("--instance goes with status or ping only"));
    if (words.size() > 1)
        return fail(error, QStringLiteral("%1 takes no argument but --instance NAME").arg(words.first().toLower()));
    question.kind = *kind;
    return question;
}

int AskKeeperQuestion(const KeeperQuestion &question)
{
    const QString path = question.instance.isEmpty() ? Qurel::UserKeeperSocketPath()
                                                     : Qurel::SystemKeeperSocketPath(question.instance);
    if (path.isEmpty()) {
        std::fputs("qurelctl: no keeper runs (this user has no private runtime folder for its socket)\n", stderr);
        return 1;
    }
    QString error;
    auto answer = Qurel::AskKeeper(path, { question.kind }, kAnswerMs, &error);
    const auto expected = question.kind == Kind::Status ? Qurel::KeeperEvent::Kind::Status
                                                        : Qurel::KeeperEvent::Kind::Pong;
    if (answer && answer->kind != expected) {
        error = QStringLiteral("unexpected answer");
        answer.reset();
    }
    if (!answer) {
        // A socket left there is a keeper that hangs, or one that ended without removing it.
        if (QFileInfo::exists(path))
            std::fprintf(stderr, "qurelctl: no keeper answers at %s (%s)\n", qPrintable(path), qPrintable(error));
        else
            std::fprintf(stderr, "qurelctl: no keeper runs (no socket %s)\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", question.kind == Kind::Status ? printable(answer->text).toUtf8().constData() : "alive");
    return 0;
}
