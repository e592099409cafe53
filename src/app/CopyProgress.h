#pragma once
// Runs a FileCopier job under a progress dialog that appears when the copy
// takes a while and lets the user cancel it.

#include "FileCopier.h"

class QWidget;

namespace Qurel {

// The dialog shows up only once the copy has run for this long.
inline constexpr int kCopyProgressDelayMs = 800;

CopyResult CopyWithProgress(QWidget *owner, const QList<CopyPair> &pairs, int delayMs = kCopyProgressDelayMs);

} // namespace Qurel
