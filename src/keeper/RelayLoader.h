#pragma once
// The relay's zms32* calls for a program that links no FFmpeg (qureld): each lesson is recorded by
// a qurel-relay process of its own (RelayChild), started by the lesson's create call and retired by
// its destroy call, after which it finishes the file and exits by itself. A keeper waiting for a
// lesson thus maps none of FFmpeg's libraries, gives their memory back after every lesson, and
// outlives a relay that crashes.
// zms32Init only notes its arguments (and warns when qurel-relay is missing); a create that cannot
// start the process fails with ZMS32_ERR_NOT_INITIALISED and says why in the lesson log. A process
// that dies or stops answering is not asked again: its stream's status reads as ended
// (ZMS32_STATUS_ENDED), so the lesson goes on in a new file, and its other calls fail with
// ZMS32_ERR_INTERNAL.

#include <QString>

namespace Qurel {

// The relay program: qurel-relay in the program folder.
QString RelayProgramPath();

// Whether a relay process is recording for this program now.
bool RelayProcessRunning();

} // namespace Qurel
