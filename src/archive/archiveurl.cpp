#include "archiveurl.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QString kPasswordAdvice =
    QStringLiteral("a command line can be read by every user of the machine and is kept in logs "
                   "and task definitions: put the password in PGPASSWORD or the password file "
                   "(~/.pgpass, or %APPDATA%\\postgresql\\pgpass.conf on Windows) instead");

const QStringList &sslModes()
{
    static const QStringList modes = {QStringLiteral("disable"),   QStringLiteral("allow"),
                                      QStringLiteral("prefer"),    QStringLiteral("require"),
                                      QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes;
}

// A value put into the driver's option string, where ';' separates options and '=' ends a
// name: anything that could start another option is refused.
bool isPlainValue(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[^;=\\s'\\\\]*$"));
    return plain.match(value).hasMatch();
}

} // namespace

ArchiveUrl::ArchiveUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString shape = QStringLiteral("The archive URL is not of the form "
                                         "postgresql://user@host:port/database.");
    if (!url.isValid() || url.path().size() < 2) {
        m_error = shape;
        return;
    }
    if (!url.password().isEmpty() || url.userInfo().contains(QLatin1Char(':'))) {
        m_error = QStringLiteral("The archive URL holds a password, and %1.").arg(kPasswordAdvice);
        return;
    }
    m_host = url.host();
    m_port = url.port(5432);
    m_user = url.userName(QUrl::FullyDecoded);
    m_database = url.path(QUrl::FullyDecoded).mid(1);
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        if (!take(item.first, item.second))
            return;
    }
    if (m_host.isEmpty()) {
        m_error = shape;
        return;
    }
    QStringList options{QStringLiteral("connect_timeout=") + m_timeout,
                        QStringLiteral("application_name=") + m_applicationName};
    if (!m_sslMode.isEmpty())
        options.prepend(QStringLiteral("sslmode=") + m_sslMode);
    m_options = options.join(QLatin1Char(';'));

    QUrl shown;
    shown.setScheme(QStringLiteral("postgresql"));
    shown.setUserName(m_user);
    shown.setHost(m_host.startsWith(QLatin1Char('/')) ? QStringLiteral("localhost") : m_host);
    shown.setPort(m_port);
    shown.setPath(QLatin1Char('/') + m_database);
    QUrlQuery parameters;
    if (m_host.startsWith(QLatin1Char('/')))
        parameters.addQueryItem(QStringLiteral("host"), m_host);
    if (!m_sslMode.isEmpty())
        parameters.addQueryItem(QStringLiteral("sslmode"), m_sslMode);
    shown.setQuery(parameters);
    m_display = shown.toDisplayString();
}

bool ArchiveUrl::take(const QString &name, const QString &value)
{
    const QString lower = name.toLower();
    if (lower.contains(QLatin1String("password")) || lower == QLatin1String("passfile") ||
        lower == QLatin1String("sslkey")) {
        m_error = QStringLiteral("The archive URL carries a secret in its %1 parameter, and %2.")
                      .arg(name, kPasswordAdvice);
        return false;
    }
    if (!isPlainValue(value)) {
        m_error = QStringLiteral("The archive URL's %1 parameter holds a character that cannot "
                                 "be passed on (';', '=', a quote, a backslash or a blank).")
                      .arg(name);
        return false;
    }
    if (lower == QLatin1String("sslmode") && sslModes().contains(value)) {
        m_sslMode = value;
    } else if (lower == QLatin1String("connect_timeout") && value.toInt() > 0) {
        m_timeout = QString::number(value.toInt());
    } else if (lower == QLatin1String("application_name") && !value.isEmpty()) {
        m_applicationName = value;
    } else if (lower == QLatin1String("host") && !value.isEmpty()) {
        // A folder names the server's Unix socket; a name replaces the URL's host.
        m_host = value;
    } else if (lower == QLatin1String("user") && !value.isEmpty() &&
               (m_user.isEmpty() || m_user == value)) {
        m_user = value;
    } else {
        m_error = QStringLiteral("The archive URL's parameter %1 is not understood here (known: "
                                 "sslmode=%2, connect_timeout=SECONDS, application_name, host, "
                                 "user).")
                      .arg(name, sslModes().join(QLatin1Char('|')));
        return false;
    }
    return true;
}
