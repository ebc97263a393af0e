#pragma once
// A message as it crosses in an SMTP transaction: every line end CR LF (a bare CR or LF
// becomes one), and for DATA a "." doubled at the start of a line and the terminating
// ".", as RFC 5321 §4.5.2 asks. BDAT carries the same lines without the dots.

#include <QByteArray>
#include <QByteArrayView>

namespace smtp {

QByteArray WithCrLf(QByteArrayView message);
// The DATA payload, terminator included.
QByteArray DotStuffed(QByteArrayView message);

}  // namespace smtp
