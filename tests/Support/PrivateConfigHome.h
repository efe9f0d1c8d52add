#pragma once
// Points $XDG_CONFIG_HOME at a fresh folder for the life of one test, so that the preference
// folder can be broken without touching other tests' domains.

#include "Platform/Defaults/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

class PrivateConfigHome {
public:
    PrivateConfigHome()
        : m_saved(qgetenv("XDG_CONFIG_HOME")),
          m_base(QDir::tempPath() + QStringLiteral("/config-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QDir().mkpath(m_base);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_base));
    }
    ~PrivateConfigHome()
    {
        qputenv("XDG_CONFIG_HOME", m_saved);
        QDir(m_base).removeRecursively();
    }
    PrivateConfigHome(const PrivateConfigHome &) = delete;
    PrivateConfigHome &operator=(const PrivateConfigHome &) = delete;

    // Puts a regular file where the preference folder belongs (moving the folder away, if
    // there is one); true when it is in place.
    bool breakFolder() const
    {
        const QString folder = Platform::UserDefaults::folder();
        QDir().rename(folder, m_base + QStringLiteral("/kivaro.moved"));
        QFile file(folder);
        return file.open(QIODevice::WriteOnly);
    }
    // Removes the file and puts the folder back, if there was one.
    bool mendFolder() const
    {
        const QString folder = Platform::UserDefaults::folder();
        const QString moved = m_base + QStringLiteral("/kivaro.moved");
        return QFile::remove(folder) && (!QFileInfo::exists(moved) || QDir().rename(moved, folder));
    }

private:
    QByteArray m_saved;
    QString m_base;
};
