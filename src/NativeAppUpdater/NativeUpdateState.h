#pragma once
// The updater's published state: a case and, for some cases, a text (a version, or an already
// localised failure message). Two states are equal when case and text are.

#include <QString>

namespace NativeAppUpdater {

class NativeUpdateState final {
public:
    enum class Case { idle, checking, current, available, downloading, ready, failed };

    static NativeUpdateState idle() { return {Case::idle, {}}; }
    static NativeUpdateState checking() { return {Case::checking, {}}; }
    static NativeUpdateState current() { return {Case::current, {}}; }
    static NativeUpdateState available(const QString &version) { return {Case::available, version}; }
    static NativeUpdateState downloading(const QString &version) { return {Case::downloading, version}; }
    static NativeUpdateState ready(const QString &version) { return {Case::ready, version}; }
    static NativeUpdateState failed(const QString &message) { return {Case::failed, message}; }

    Case kind() const { return m_case; }
    // The version of available, downloading and ready; the message of failed; empty otherwise.
    const QString &text() const { return m_text; }

    bool operator==(const NativeUpdateState &) const = default;

private:
    NativeUpdateState(Case c, QString text) : m_case(c), m_text(std::move(text)) {}
    Case m_case;
    QString m_text;
};

} // namespace NativeAppUpdater
