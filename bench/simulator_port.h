#pragma once

#include "protocol/devoper.h"


// Opens COM1 of op on the in-process packs (RegisterSimulatorLink first);
// false with the reason otherwise.
inline bool OpenSimulatorPort(TDevOper& op, QString& error)
{
    if (op.OpenLink(LinkSettings{QStringLiteral("simulator")}, 1))
        return true;
    error = op.LastOpenError();
    return false;
}
