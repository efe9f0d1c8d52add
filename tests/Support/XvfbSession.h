#pragma once
// A private X server: Xvfb with one screen of the size a test or benchmark needs, started
// before the application object connects and stopped when the session ends (or its process
// dies). While it runs, $DISPLAY names it. It does not reset when its last client leaves, so what a test sets on the
// server before Qt connects (RandR monitors) stays.

#include <QByteArray>
#include <QSize>

#include <cerrno>
#include <csignal>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace TestSupport {

class XvfbSession final {
public:
    // One screen of `size` at 24 bits.
    explicit XvfbSession(QSize size)
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            // The server goes with its parent, also when a test crashes.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            close(pipeFds[0]);
            const std::string fd = std::to_string(pipeFds[1]);
            const std::string screen = std::to_string(size.width()) + "x" + std::to_string(size.height()) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset",
                   static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        // Xvfb writes the number and the newline in two writes, and stops when the second one
        // finds the pipe closed: read up to the newline.
        QByteArray number;
        char c = 0;
        while (m_pid > 0 && number.size() < 16) {
            const ssize_t got = read(pipeFds[0], &c, 1);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0 || c == '\n')
                break;
            number.append(c);
        }
        close(pipeFds[0]);
        if (c != '\n' || number.isEmpty())
            return;
        m_display = ":" + number;
        setenv("DISPLAY", m_display.constData(), 1);
    }
    ~XvfbSession()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbSession(const XvfbSession &) = delete;
    XvfbSession &operator=(const XvfbSession &) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    QByteArray display() const { return m_display; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};

} // namespace TestSupport
