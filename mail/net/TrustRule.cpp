#include "TrustRule.h"

#include <QFile>
#include <QSslCertificate>

namespace net {

QSslConfiguration TrustedTlsConfiguration() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QString extra = qEnvironmentVariable("SSL_CERT_FILE");
    if (!extra.isEmpty() && QFile::exists(extra))
        configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                                        QSslCertificate::fromPath(extra));
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return configuration;
}

}  // namespace net
