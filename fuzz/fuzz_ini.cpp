// libFuzzer target: BMS.ini as a user may have edited it. Every read ends,
// and writing a key changes what that key reads and nothing else.

#include "services/ini_document.h"

#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

const QString kSettings = QStringLiteral("BMS");
const QString kPorts = QStringLiteral("Ports");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IniDocument ini = IniDocument::FromBytes(bytes);
    const std::optional<QString> port = ini.value(kSettings, QStringLiteral("Port"));
    const std::optional<QString> mapped = ini.value(kPorts, QStringLiteral("COM1"));
    Require(ini.value(QStringLiteral("bms"), QStringLiteral("PORT")) == port);
    (void)ini.value(kSettings, QStringLiteral("TextKind"));

    // The editor rewrites the line the reader reads.
    ini.setValue(kSettings, QStringLiteral("port"), QStringLiteral("7"));
    Require(ini.value(kSettings, QStringLiteral("Port")) == QStringLiteral("7"));
    Require(ini.value(kPorts, QStringLiteral("COM1")) == mapped);
    ini.setValue(kPorts, QStringLiteral("COM1"), QStringLiteral("simulator"));
    Require(ini.value(kPorts, QStringLiteral("com1")) == QStringLiteral("simulator"));
    Require(ini.value(kSettings, QStringLiteral("Port")) == QStringLiteral("7"));
    return 0;
}
