#pragma once
// The teacher's own office, as the tests need it: started on the user's
// default profile (not the client's), with an unsaved presentation open.

#include <QProcess>
#include <QString>

namespace SlidesTest {

class UserOffice
{
public:
    UserOffice();
    // Ends the office, dropping its documents.
    ~UserOffice();
    UserOffice(const UserOffice &) = delete;
    UserOffice &operator=(const UserOffice &) = delete;

    // Starts the office and opens a new presentation with a change not saved;
    // false (with `error`) when that cannot be done.
    bool start(QString *error);
    bool running() const;
    // Whether the office still holds a document with unsaved changes.
    bool hasUnsavedDocument() const;

private:
    QString m_pipe;
    QProcess m_process;
};

} // namespace SlidesTest
