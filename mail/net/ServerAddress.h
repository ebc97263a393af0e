#pragma once
// A server setting as the user writes it: "host", "host:port", or a URL pop3://,
// pop3s://, smtp://, smtps:// (SMTP may carry user:password@ for AUTH), or
// pop3+cleartext://, smtp+cleartext:// for a server the user wants reached without TLS,
// or pop3+oauth2://, pop3s+oauth2://, smtp+oauth2://user@, smtps+oauth2://user@ for a
// log-in with an OAuth2 access token (always over TLS, loopback included).
//
// The security policy, the same for both protocols: credentials cross only over TLS
// (implicit, or STLS / STARTTLS that must succeed), except to a loopback host or with a
// +cleartext form, which the user chose by name.

#include <QString>
#include <optional>

namespace net {

enum class Protocol { Pop3, Smtp };

struct ServerAddress {
    QString url;   // scheme://host:port, without credentials
    QString host;  // as the socket wants it: no brackets around an IPv6 address
    quint16 port = 0;
    bool implicitTls = false;  // pop3s / smtps: TLS from the first byte, never plaintext
    QString user, password;    // SMTP AUTH, when the setting carries them
    // Without implicit TLS: the session must upgrade to TLS before any credential is
    // sent, and fails when the server offers no upgrade or the upgrade fails.
    bool requireTls = false;
    bool cleartext = false;  // the user asked for plain text by name: warn at each connection
    bool oauth2 = false;     // log in with an access token (XOAUTH2 or OAUTHBEARER)
};

// The setting as it may be shown in a log or a message: the password of a
// user:password@ part replaced by "***".
QString RedactServerSetting(const QString& setting);

// The warning logged at each connection to a +cleartext server.
QString CleartextWarning(const QString& protocol, const QString& server);

// Why a session that requires TLS ends before its log-in: the server offered no upgrade
// (command: "STLS" or "STARTTLS") or refused it; says how to reach it without TLS.
QString NoEncryptionOffered(const QString& host, int port, const char* command,
                            const char* cleartextScheme);

// Empty when the setting is no usable server; error then says why.
std::optional<ServerAddress> ParseServerAddress(const QString& setting, Protocol protocol,
                                                QString* error);

}  // namespace net
