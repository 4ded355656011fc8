#include "app/main_form.h"
#include "lib/sim_link.h"
#include "services/settings.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    NameApplication();
    // Desktops find the icon and menu name through the installed desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("bmshost"));
    // The built-in simulated bus answers the device name "simulator", so
    // that a port mapped to it in BMS.ini shows packs without hardware.
    RegisterSimulatorLink();

    TMainForm form;
    form.show();
    return app.exec();
}
