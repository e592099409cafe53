#pragma once
// Where the office that hosts the presentations runs: its program, the pipe
// it accepts connections on and its user profile.

#include <QString>

namespace Qurel {

struct OfficeProfile
{
    QString program = QStringLiteral("soffice");
    // Pipe name of the office's accept channel; pipes are private to the user.
    QString pipeName = QStringLiteral("qurel_office");
    // Profile folder; empty means the user's own office profile, so a running
    // office of the user is shared.
    QString userInstallation;
    int startTimeoutMs = 30000;
    // Bound on every call into the office (opening, storing, exporting,
    // counting, quitting); an office that does not answer within it is ended.
    int callTimeoutMs = 20000;
    // Bound on the wait for an office to go away after it agreed to quit.
    int quitTimeoutMs = 15000;
};

OfficeProfile CurrentOfficeProfile();
// Tests and the template tool run their own office with a private profile.
void SetOfficeProfile(const OfficeProfile &profile);

} // namespace Qurel
