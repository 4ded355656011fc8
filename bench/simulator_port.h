#pragma once

#include "protocol/devoper.h"

#include <QFile>
#include <QTemporaryDir>

// Opens COM1 of op on the in-process packs (RegisterSimulatorLink first),
// through a port map in folder; false with the reason otherwise.
inline bool OpenSimulatorPort(TDevOper& op, const QTemporaryDir& folder, QString& error)
{
    const QString portMap = folder.filePath(QStringLiteral("ports.ini"));
    QFile file(portMap);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot write the port map");
        return false;
    }
    file.write("[Ports]\nCOM1=simulator\n");
    file.close();
    op.SetPortMapFile(portMap);
    if (op.OpenSerial(1))
        return true;
    error = op.LastOpenError();
    return false;
}
