#ifdef BMS_TEST_WITH_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

// Tests run inside a core application so that Qt's event-driven parts
// (serial ports, threads, timers) behave as in the programs; the widget
// tests get a full application for their widgets.
int main(int argc, char** argv)
{
#ifdef BMS_TEST_WITH_WIDGETS
    // Widgets are tested without a display, also when ctest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
