#pragma once
// The pages of the simulated platform's client login.

#include "PlatformSim.h"

#include <QByteArray>

namespace Qurel {

// Path of the login page, compared without regard to case as the platform's
// web server does.
inline constexpr char kLoginPath[] = "/Tools/QuRelClient/ClientLogin.aspx";
inline constexpr char kUploadPath[] = "/tools/qurelclient/clientuploadfile.aspx";

// The login page listing the recordings to upload, with the login form.
QByteArray LoginPageHtml(const LoginVisit &visit);
// The page the form ends on.
QByteArray FinishPageHtml();
// Where the login form sends the browser once the user has logged in.
QByteArray FinishAddress(const QString &finishQuery);

} // namespace Qurel
