#pragma once
// One running application per user and display.
//
// The first launch serves a local socket (owner-only access) named from the user id and the
// display, in the user's private runtime folder; a later launch connects, hands over its
// request and ends: the running instance answers with its reopen event (the settings window
// comes forward).
//
// Only a socket that refuses the connection (nobody listens: its process died) or no socket at
// all lets a launch serve; it then replaces such a file. A socket that takes the connection but
// does not answer within the wait belongs to an instance that is stopped or busy: the launch
// says so and ends without starting, and the socket stays that instance's. An instance removes
// the socket file when it stops serving, and only while the file is still its own.
//
// The protocol is one line, "reopen\n", answered with "ok\n" once the running instance has
// taken it. Anything else on a connection is ignored and the connection closed; a client
// that says nothing is dropped after a short wait, and at most `maxClients` are served at once
// (one more is closed at once).

#include <QObject>
#include <QString>

#include <memory>

class QLocalSocket;

namespace Kivaro {

namespace Shell::detail {
class InstanceListener;
}

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    static constexpr int maxClients = 16;

    // Where the socket lives: `path`, or when no private folder can be used, `path` empty and
    // `refusal` the user's message saying why.
    struct Location {
        QString path;
        QString refusal;
    };
    // The socket of `display`: serverName in $XDG_RUNTIME_DIR when that is a private folder of
    // the user's (theirs, mode 0700, not a symbolic link); otherwise in "kivaro-runtime-<uid>"
    // of the temporary folder, created 0700 and refused unless it is such a private folder.
    static Location location(const QString &display);
    // "kivaro-<uid>-<display>", the display's characters other than letters and digits as "_".
    static QString serverName(const QString &display);

    // What a connection to the socket found.
    enum class Answer {
        taken,   // a running instance took the request
        missing, // no socket there
        refused, // a socket nobody listens on
        silent,  // something took the connection but gave no answer in time
    };
    // How a launch goes on.
    enum class Claim {
        handedOff, // a running instance took the request: end
        busy,      // a running instance did not answer: end without starting
        serving,   // no instance was running: this one serves now
        alone,     // the socket could not be made: run without hand-off
    };

    // Serves and hands off at `path` (absolute).
    explicit SingleInstance(QString path, QObject *parent = nullptr);
    ~SingleInstance() override;

    const QString &path() const { return m_path; }

    // Hands the reopen request to a running instance, waiting at most `timeoutMs` for each step.
    Answer handOff(int timeoutMs = 2000) const;
    // Hands off, or serves when nobody is there (see the contract above). Serving stops when
    // the application starts to quit, so that a launch then starts afresh.
    Claim claim(int timeoutMs = 2000);
    bool isListening() const;
    // Stops serving and removes the socket file when it is still ours.
    void stopServing();

    // The user's message for Claim::busy.
    static QString busyMessage();

Q_SIGNALS:
    void reopenRequested();

private:
    void serve(QLocalSocket *client);

    QString m_path;
    std::unique_ptr<Shell::detail::InstanceListener> m_listener;
};

} // namespace Kivaro
