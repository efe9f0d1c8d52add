#pragma once
// The services a file can be shared with: the applications installed on the desktop that
// declare they open the file's type. Performing one starts that application with the file.
//
// A share is over, for the caller, once the application has started (it reads the file
// whenever it likes); a failure to start is the share's failure, reported as its cause, which
// the caller words for the user. The caller learns separately when the started process has
// exited, so it knows when the file may go.

#include <QIcon>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace Platform {

struct SharingService {
    QString name;  // stable identity: the desktop entry's id ("org.example.Viewer.desktop")
    QString title; // the menu-item title, in the user's language where the entry has it
    QIcon image;   // the menu-item image: the generic application icon when the entry has none
};

// Why an application could not start.
enum class LaunchFailure {
    programNotFound,  // its program (or its entry) is not there any more
    notExecutable,    // its program is not an executable file, or its command cannot be run
    permissionDenied, // the user may not run its program
    other,
};

class SharingServices {
public:
    virtual ~SharingServices() = default;

    // The services that take `filePath`, in the order a menu shows them.
    virtual QList<SharingService> servicesFor(const QString &filePath) = 0;
    // Looks a service up by its name, whatever file it is for.
    virtual std::optional<SharingService> service(const QString &name) = 0;
    // Starts `service` with `filePath`. `started` is called exactly once, later, on the main
    // thread: with nothing when the application runs, with the cause when it could not start.
    // After a successful start, `ended` is called once when its process has exited.
    virtual void perform(const SharingService &service, const QString &filePath,
                         std::function<void(std::optional<LaunchFailure>)> started, std::function<void()> ended) = 0;
};

} // namespace Platform
