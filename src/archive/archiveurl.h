#ifndef ARCHIVEURL_H
#define ARCHIVEURL_H

#include <QString>

// A postgresql:// connection URI as a PostgreSQL user writes it:
// postgresql://user@host:port/database?sslmode=require&connect_timeout=10. The parameters
// understood are sslmode, connect_timeout, application_name, host (a socket folder or another
// host name) and user; any other, and any that would carry a secret (a password in the URI or
// in a parameter), is refused, and no message ever shows a secret.
class ArchiveUrl
{
public:
    explicit ArchiveUrl(const QString &text);

    bool isValid() const { return m_error.isEmpty(); }
    // Why the URL is refused, without any secret it held.
    QString error() const { return m_error; }

    QString host() const { return m_host; }
    int port() const { return m_port; }
    QString user() const { return m_user; }
    QString database() const { return m_database; }
    // The connection options for the driver: "sslmode=require;connect_timeout=15;...".
    QString options() const { return m_options; }
    // The URL for messages: no secret, parameters as understood.
    QString display() const { return m_display; }

private:
    bool take(const QString &name, const QString &value);

    QString m_host;
    int m_port = 5432;
    QString m_user;
    QString m_database;
    QString m_sslMode;
    QString m_timeout = QStringLiteral("15");
    QString m_applicationName = QStringLiteral("PlinthraUsageExport");
    QString m_options;
    QString m_display;
    QString m_error;
};

#endif // ARCHIVEURL_H
