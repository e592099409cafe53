#pragma once
// What a keeper takes from the client's settings object.

#include "KeeperTypes.h"

class TSDKConfig;

namespace Qurel {

KeeperSettings KeeperSettingsFrom(const TSDKConfig &config);

} // namespace Qurel
