// Runs the UI tests offscreen with one QApplication for the whole process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>


int main(int argc, char** argv)
{
    // No display is needed or used; Qt's own state (the file chooser's
    // history) goes to a test location instead of the user's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
