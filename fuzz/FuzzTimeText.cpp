// libFuzzer: any date text gives an "hh:mm" time for the digest.

#include <QRegularExpression>
#include <cstdlib>

#include "core/DigestLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString date =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString time = core::TimeText(date, QDateTime(QDate(2026, 1, 1), QTime(12, 34)));
    static const QRegularExpression form(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]$"));
    if (!form.match(time).hasMatch()) std::abort();
    return 0;
}
