#include "KeeperSettingsFrom.h"

#include "Configs.h"

namespace Qurel {

KeeperSettings KeeperSettingsFrom(const TSDKConfig &config)
{
    KeeperSettings settings;
    settings.address = config.Address;
    settings.httpPort = config.HttpPort;
    settings.username = config.Username;
    settings.password = config.Password;
    settings.savePath = config.SavePath;
    settings.autoRec = config.AutoRec;
    settings.titleTime = config.TitleTime;
    settings.creditTime = config.CreditTime;
    settings.maxLessonMinutes = config.MaxLessonMinutes;
    return settings;
}

} // namespace Qurel
