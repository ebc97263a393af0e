#include "Pop3Capabilities.h"

#include "Pop3Line.h"

namespace pop3 {

Pop3Capabilities ParseCapabilities(const QByteArray& capaBody) {
    Pop3Capabilities found;
    for (const QByteArray& line : capaBody.split('\n')) {
        const QList<QByteArrayView> tags = Words(WithoutLineEnd(line));
        if (tags.isEmpty()) continue;
        const QByteArray tag = tags[0].toByteArray().toUpper();
        if (tag == "PIPELINING") found.pipelining = true;
        if (tag == "STLS") found.stls = true;
        if (tag != "SASL") continue;
        for (const QByteArrayView mechanism : tags.sliced(1)) {
            const QByteArray name = mechanism.toByteArray().toUpper();
            found.saslPlain |= name == "PLAIN";
            found.saslLogin |= name == "LOGIN";
            found.saslOAuthBearer |= name == "OAUTHBEARER";
        }
    }
    return found;
}

}  // namespace pop3
