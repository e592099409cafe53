#pragma once
#include "KeeperTypes.h"
#include <QObject>
#include <QtCore/QString>
#include <QtNetwork/QLocalSocket>
