#pragma once
// One running application per user and display.
//
// The first launch serves a local socket (owner-only access) named from the user id and the
// display, in the user's private runtime folder; a later launch connects, hands over its request and ends: the running instance
// answers with its reopen event (the settings window comes forward). A socket left behind by
// a process that died is cleared when nothing answers on it.
//
// The protocol is one line, "reopen\n", answered with "ok\n" once the running instance has
// taken it. Anything else on a connection is ignored and the connection closed; a client
// that says nothing is dropped after a short wait.

#include <QObject>
#include <QString>

class QLocalServer;

namespace Kivaro {

class SingleInstance final : public QObject {
    Q_OBJECT
public:
    // Serves and hands off at `name`; by default serverPath($DISPLAY).
    explicit SingleInstance(QString name = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // "kivaro-<uid>-<display>", the display's characters other than letters and digits as "_".
    static QString serverName(const QString &display);
    // The name inside $XDG_RUNTIME_DIR when that is a private folder of this user, else the bare
    // name (Qt's temporary folder).
    static QString serverPath(const QString &display);
    const QString &name() const { return m_name; }

    // Hands the reopen request to a running instance; true when one took it within
    // `timeoutMs`.
    bool handOff(int timeoutMs = 2000) const;
    // Starts serving; false when the socket cannot be made (the application then runs without
    // hand-off).
    bool listen();
    bool isListening() const;

Q_SIGNALS:
    void reopenRequested();

private:
    void accept();

    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace Kivaro
