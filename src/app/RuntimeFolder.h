#pragma once
// The per-user runtime folder (XDG_RUNTIME_DIR), home of the single-instance lock and the
// message channel's socket.

#include <QString>

namespace Qurel {

QString RuntimeFolder();

} // namespace Qurel
