#pragma once
// The one certificate rule for every TLS connection the program makes (the mail
// sessions and the OAuth2 endpoints): the system store, with the certificates of the
// file SSL_CERT_FILE names added, and the peer always verified.

#include <QSslConfiguration>

namespace net {

QSslConfiguration TrustedTlsConfiguration();

}  // namespace net
