// libFuzzer: any bytes as Tarnpost.ini load with a defined result and never crash.

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "core/NumberText.h"
#include "core/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath("Tarnpost.ini");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    core::SharedState state;
    const std::int16_t result = core::LoadSettings(state, path);
    if (result != 0 && result != -1) std::abort();
    if (state.rejectCount != state.rejectList.size()) std::abort();
    if (state.fullTextCount != state.fullTextList.size()) std::abort();
    core::ReadSettingNumber(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
