// Runs the UI tests offscreen with one QApplication for the whole process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>


// Under AddressSanitizer, an allocation that can't be had returns null as it
// does without it, so the out-of-memory tests reach the program's own
// handling instead of ending the process. Options from ASAN_OPTIONS still
// apply on top of this.
extern "C" __attribute__((used)) const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

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
