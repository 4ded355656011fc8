#pragma once

#include "lib/sim_link.h"
#include "store/devinfo.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// A store initialised as at start-up, its port 1 opened on the in-process
// simulated packs.
struct SimulatedStore {
    QTemporaryDir folder;
    std::unique_ptr<TDevInfo> store = std::make_unique<TDevInfo>();

    explicit SimulatedStore(const SimOptions& options = {})
    {
        RegisterSimulatorLink(options);
        store->InitStore();
        opened = store->DevOper().OpenLink(LinkSettings{QString::fromLatin1(kSimulatorDeviceName)}, 1);
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
