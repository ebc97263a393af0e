#include "ListMatch.h"

namespace core {

bool IsRefused(const QStringList& rejectList, const QString& senderAddress) {
    return rejectList.contains(senderAddress, Qt::CaseSensitive);
}

bool IsFullText(const QStringList& fullTextList, const QString& senderAddress) {
    const qsizetype at = senderAddress.indexOf(u'@');
    for (const QString& entry : fullTextList) {
        if (entry.startsWith(u'@') && at >= 0 && entry == QStringView(senderAddress).mid(at))
            return true;
        if (entry == senderAddress) return true;
    }
    return false;
}

}  // namespace core
