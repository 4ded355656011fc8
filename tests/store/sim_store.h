#pragma once

#include "lib/sim_link.h"
#include "store/devinfo.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A store initialised as at start-up, its port 1 mapped to the in-process
// simulated packs through a real INI file and opened.
struct SimulatedStore {
    QTemporaryDir folder;
    std::unique_ptr<TDevInfo> store = std::make_unique<TDevInfo>();

    explicit SimulatedStore(const SimOptions& options = {})
    {
        RegisterSimulatorLink(options);
        store->InitStore();
        const QString ini = folder.filePath(QStringLiteral("BMS.ini"));
        QFile file(ini);
        if (file.open(QIODevice::WriteOnly))
            file.write("[Ports]\nCOM1=simulator\n");
        file.close();
        store->DevOper().SetPortMapFile(ini);
        store->InitSerial(1);
        opened = store->OpenSerial(1);
    }

    ~SimulatedStore()
    {
        if (store)
            store->CloseSerial(1);
    }

    static void AddFault(const QString& text)
    {
        QString error;
        ASSERT_TRUE(SharedSimBus()->addFault(text, &error)) << error.toStdString();
    }

    bool opened = false;
};
