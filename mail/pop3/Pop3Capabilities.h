#pragma once
// What a server's CAPA reply announces that the session uses.

#include <QByteArray>

namespace pop3 {

struct Pop3Capabilities {
    bool pipelining = false, stls = false, saslPlain = false, saslLogin = false;
    bool saslOAuthBearer = false;
};
Pop3Capabilities ParseCapabilities(const QByteArray& capaBody);

}  // namespace pop3
