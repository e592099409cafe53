#pragma once
// qurelctl status|ping [--instance NAME]: asks a lesson keeper what it is doing, or whether it
// answers: the user's keeper, or a system instance's (one per recorder, under systemd).

#include "KeeperProtocol.h"

#include <QStringList>

#include <optional>

struct KeeperQuestion
{
    Qurel::KeeperCommand::Kind kind = Qurel::KeeperCommand::Kind::Ping; // Status or Ping
    QString instance; // empty: the user's keeper
};

// Whether qurelctl's arguments are meant for a keeper: they begin with "status" or "ping" (any
// case), or name --instance (only a keeper has instances).
bool IsKeeperQuestion(const QStringList &args);
// The question those arguments ask; std::nullopt with `error` saying what is wrong with them.
std::optional<KeeperQuestion> ParseKeeperQuestion(const QStringList &args, QString *error);
// Asks the keeper (a bounded wait of about a second) and prints its answer: the status line, or
// "alive". Returns the exit status: 0 answered, 1 no keeper runs or it did not answer.
int AskKeeperQuestion(const KeeperQuestion &question);
