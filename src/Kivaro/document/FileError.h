#pragma once
// A file-system error of reading or writing a document file, passed on unchanged: the
// system's own description of what went wrong with which file.

#include <QString>

#include <stdexcept>

namespace Kivaro {

class FileError final : public std::runtime_error {
public:
    FileError(const QString &path, const QString &description)
        : std::runtime_error(QString(path + QStringLiteral(": ") + description).toStdString()), m_path(path), m_description(description)
    {
    }
    const QString &path() const { return m_path; }
    const QString &description() const { return m_description; }

private:
    QString m_path;
    QString m_description;
};

} // namespace Kivaro
