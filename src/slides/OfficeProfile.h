#pragma once
// Where the office that hosts the presentations runs: its program, the pipe
// it accepts connections on and its user profile.
//
// The client's office is its own: a profile folder in the client's per-user
// data folder and a pipe named after that folder, so it is a separate office
// process from any office the user has open, and the client never connects
// to, quits or kills the user's.

#include <QString>

namespace Qurel {

struct OfficeProfile
{
    QString program = QStringLiteral("soffice");
    // Pipe name of the office's accept channel; empty: named after the profile
    // folder (PipeNameFor). The office's pipes are per user ("OSL_PIPE_<uid>_").
    QString pipeName;
    // Profile folder (-env:UserInstallation); empty: the client's own, in the
    // per-user data folder.
    QString userInstallation;
    int startTimeoutMs = 30000;
    // Bound on every call into the office (opening, storing, exporting,
    // counting, quitting); an office that does not answer within it is ended.
    int callTimeoutMs = 20000;
    // Bound on the wait for an office to go away after it agreed to quit.
    int quitTimeoutMs = 15000;
};

// The pipe name of the office that runs on the profile folder `folder`.
QString PipeNameFor(const QString &folder);

// The profile in use, its folder and pipe filled in.
OfficeProfile CurrentOfficeProfile();
// Tests and the template tool run their own office with a private profile.
void SetOfficeProfile(const OfficeProfile &profile);

// Makes the profile folder (for its user alone) and settles the office's
// first-start questions in it, so a fresh profile opens no dialog over the
// editor. Settings already there are kept.
void PrepareProfileFolder(const QString &folder);

} // namespace Qurel
