// Test entry for the dialog suites: a QApplication (offscreen unless told
// otherwise) around GoogleTest.
#include <gtest/gtest.h>
#include <QApplication>

int main(int argc, char* argv[])
{
    // Test discovery runs the binary without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("STM32_Korvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
