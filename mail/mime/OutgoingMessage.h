#pragma once
// Builds the bytes of one outgoing mail: From, To, Subject, Date, Message-ID,
// MIME-Version and a text/plain UTF-8 body, lines ending in CR LF. A whole forward also
// carries the original's attached files after the body (multipart/mixed) and a
// Reply-To of the original sender.

#include <QByteArray>
#include <QString>

namespace mime {

struct OutgoingMail {
    QString fromAddress, fromName, to, subject, body;
    // When set, the Message-ID is made from it (the same mail sent again keeps its
    // identity); otherwise it is random.
    QString key;
    // A whole forward: the original as retrieved, and its sender.
    QByteArray original;
    QString replyToName, replyToAddress;
};

// CR, LF, other C0 and C1 controls and line separators in header text become blanks, so that
// no value can start a header line of its own; blanks at either end are trimmed, since
// GMime would fold a value of blanks only into a line of blanks, which readers take for
// the end of the header.
QString NeutraliseHeaderText(const QString& text);

// An address fit for the envelope and the headers: no blanks, controls, brackets or
// separators. The address after removing CR and LF, or empty when it is unfit.
QString CleanAddress(const QString& address);

QByteArray BuildMessage(const OutgoingMail& mail);

}  // namespace mime
