#pragma once
// A server setting as the user writes it: "host", "host:port", or a URL pop3://,
// pop3s://, smtp://, smtps:// (SMTP may carry user:password@ for AUTH).

#include <QString>
#include <optional>

namespace mail {

enum class Protocol { Pop3, Smtp };

struct ServerAddress {
    QString url;             // scheme://host:port, without credentials
    bool implicitTls;        // pop3s / smtps: TLS from the first byte, never plaintext
    QString user, password;  // SMTP AUTH, when the setting carries them
};

// Empty when the setting is no usable server; error then says why.
std::optional<ServerAddress> ParseServerAddress(const QString& setting, Protocol protocol,
                                                QString* error);

}  // namespace mail
