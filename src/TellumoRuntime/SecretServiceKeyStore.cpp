#include "TellumoRuntime/SecretServiceKeyStore.h"

#include "TellumoRuntime/AIKeychain.h"
#include "TellumoRuntime/TellumoLocalization.h"
#include "TellumoRuntime/internal/SecretServiceCall.h"

#include "Platform/Async/Awaitables.h"

#include <QAbstractEventDispatcher>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <libsecret/secret.h>

#include <functional>

namespace Tellumo {

namespace {

const SecretSchema &schema()
{
    static const SecretSchema made = [] {
        SecretSchema schema{};
        schema.name = AIKeychain::service;
        // Items made by other tools (secret-tool) with the same attributes are found too.
        schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        schema.attributes[0].name = "service";
        schema.attributes[0].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
        schema.attributes[1].name = "account";
        schema.attributes[1].type = SECRET_SCHEMA_ATTRIBUTE_STRING;
        return schema;
    }();
    return made;
}

// One call in flight. libsecret holds a reference until it answers, which it always does
// (cancelled or not), so a call given up on never touches the task that started it.
struct CallState {
    GCancellable *cancellable = g_cancellable_new();
    GAsyncResult *result = nullptr;
    QPointer<SecretServiceCall> call;

    CallState() = default;
    CallState(const CallState &) = delete;
    CallState &operator=(const CallState &) = delete;
    ~CallState()
    {
        if (result)
            g_object_unref(result);
        g_object_unref(cancellable);
    }
};

void answered(GObject *, GAsyncResult *result, gpointer data)
{
    std::unique_ptr<std::shared_ptr<CallState>> holder(static_cast<std::shared_ptr<CallState> *>(data));
    CallState &state = **holder;
    state.result = G_ASYNC_RESULT(g_object_ref(result));
    if (state.call)
        Q_EMIT state.call->finished();
}

using Begin = std::function<void(GCancellable *, GAsyncReadyCallback, gpointer)>;

bool qtRunsGLib()
{
    const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && QByteArray(dispatcher->metaObject()->className()).contains("Glib");
}

AIKeychainError translate(GError *error)
{
    const QString message = QString::fromUtf8(error->message);
    using Code = AIKeychainError::Code;
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_FILE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return AIKeychainError(Code::unavailable, Kivaro::withLibraryDetail(tellumoLocalizedFormat("没有可用的系统钥匙串"), message));
        case G_DBUS_ERROR_ACCESS_DENIED:
        case G_DBUS_ERROR_AUTH_FAILED:
            return AIKeychainError(Code::refused, tellumoLocalizedFormat("系统钥匙串拒绝了访问，可能仍处于锁定状态。"));
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT:
        case G_DBUS_ERROR_NO_REPLY:
            return AIKeychainError(Code::timedOut, tellumoLocalizedFormat("系统钥匙串没有应答，可能正在等待解锁。"));
        default:
            break;
        }
    } else if (error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_CANCELLED: // the unlock prompt was dismissed
        case G_IO_ERROR_PERMISSION_DENIED:
            return AIKeychainError(Code::refused, tellumoLocalizedFormat("系统钥匙串拒绝了访问，可能仍处于锁定状态。"));
        case G_IO_ERROR_TIMED_OUT:
            return AIKeychainError(Code::timedOut, tellumoLocalizedFormat("系统钥匙串没有应答，可能正在等待解锁。"));
        default:
            // The session bus itself cannot be reached (none configured, refused, closed).
            return AIKeychainError(Code::unavailable, Kivaro::withLibraryDetail(tellumoLocalizedFormat("没有可用的系统钥匙串"), message));
        }
    } else if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED) {
        return AIKeychainError(Code::refused, tellumoLocalizedFormat("系统钥匙串拒绝了访问，可能仍处于锁定状态。"));
    }
    return AIKeychainError(Code::failed, Kivaro::withLibraryDetail(tellumoLocalizedFormat("系统钥匙串操作失败"), message));
}

// Throws the translated error when `error` is set, and frees it either way.
void check(GError *error)
{
    if (!error)
        return;
    const AIKeychainError translated = translate(error);
    g_error_free(error);
    throw translated;
}

// Starts one call with `begin` and waits for libsecret's answer for at most `timeout`. Returns
// the finished call; cancelling the task cancels the call.
Platform::Task<std::shared_ptr<CallState>> perform(const Begin &begin, std::chrono::milliseconds timeout)
{
    auto state = std::make_shared<CallState>();
    SecretServiceCall call;
    state->call = &call;
    bool timedOut = false;

    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &call, [&] {
        timedOut = true;
        g_cancellable_cancel(state->cancellable);
        Q_EMIT call.finished();
    });
    QTimer pump;
    if (!qtRunsGLib()) {
        QObject::connect(&pump, &QTimer::timeout, &call, [] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        });
        pump.start(5);
    }

    begin(state->cancellable, answered, new std::shared_ptr<CallState>(state));
    limit.start(timeout);
    auto finished = Platform::signal(&call, &SecretServiceCall::finished, [state] { g_cancellable_cancel(state->cancellable); });
    co_await finished;
    state->call = nullptr;
    if (timedOut)
        throw AIKeychainError(AIKeychainError::Code::timedOut, tellumoLocalizedFormat("系统钥匙串没有应答，可能正在等待解锁。"));
    co_return state;
}

} // namespace

SecretServiceKeyStore::SecretServiceKeyStore(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

Platform::Task<void> SecretServiceKeyStore::write(QString key)
{
    auto self = shared_from_this();
    const QByteArray secret = key.toUtf8();
    const Begin begin = [&secret](GCancellable *cancellable, GAsyncReadyCallback callback, gpointer data) {
        secret_password_store(&schema(), SECRET_COLLECTION_DEFAULT, "Tellumo AI API Key", secret.constData(), cancellable, callback, data,
                              "service", AIKeychain::service, "account", AIKeychain::account, nullptr);
    };
    const auto call = co_await perform(begin, m_timeout);
    GError *error = nullptr;
    secret_password_store_finish(call->result, &error);
    check(error);
}

Platform::Task<std::optional<QString>> SecretServiceKeyStore::read()
{
    auto self = shared_from_this();
    const Begin begin = [](GCancellable *cancellable, GAsyncReadyCallback callback, gpointer data) {
        secret_password_lookup(&schema(), cancellable, callback, data, "service", AIKeychain::service, "account", AIKeychain::account, nullptr);
    };
    const auto call = co_await perform(begin, m_timeout);
    GError *error = nullptr;
    // The binary form hands back whatever bytes are stored; the text form would report bytes
    // that are not UTF-8 as no item at all.
    SecretValue *value = secret_password_lookup_binary_finish(call->result, &error);
    check(error);
    if (!value)
        co_return std::nullopt;
    gsize length = 0;
    const gchar *bytes = secret_value_get(value, &length);
    const QByteArray stored(bytes, qsizetype(length));
    secret_value_unref(value);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString key = decoder.decode(stored);
    if (decoder.hasError())
        throw AIKeychainError(AIKeychainError::Code::invalidData, tellumoLocalizedFormat("钥匙串中保存的 API Key 不是有效的文字。"));
    co_return key;
}

Platform::Task<void> SecretServiceKeyStore::remove()
{
    auto self = shared_from_this();
    const Begin begin = [](GCancellable *cancellable, GAsyncReadyCallback callback, gpointer data) {
        secret_password_clear(&schema(), cancellable, callback, data, "service", AIKeychain::service, "account", AIKeychain::account, nullptr);
    };
    const auto call = co_await perform(begin, m_timeout);
    GError *error = nullptr;
    secret_password_clear_finish(call->result, &error); // false without an error: there was no item
    check(error);
}

} // namespace Tellumo
