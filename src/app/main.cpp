#include "app/main_form.h"
#include "lib/sim_link.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The user-data folder, used when the program folder cannot be written,
    // is named after these.
    QCoreApplication::setOrganizationName(QStringLiteral("BMS Host"));
    QCoreApplication::setApplicationName(QStringLiteral("bmshost"));
    // The built-in simulated bus answers the device name "simulator", so
    // that a port mapped to it in BMS.ini shows packs without hardware.
    RegisterSimulatorLink();

    TMainForm form;
    form.show();
    return app.exec();
}
