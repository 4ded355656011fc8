#include "outputs/reading_names.h"

QString StatusBitMachineName(std::string_view name)
{
    QString machine;
    for (const char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            machine += QLatin1Char(c);
        else if (c >= 'A' && c <= 'Z')
            machine += QLatin1Char(char(c - 'A' + 'a'));
        else if (!machine.isEmpty() && !machine.endsWith(QLatin1Char('_')))
            machine += QLatin1Char('_');
    }
    while (machine.endsWith(QLatin1Char('_')))
        machine.chop(1);
    return machine;
}
