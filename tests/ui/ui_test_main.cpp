// Runs the UI tests offscreen with one QApplication for the whole process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProxyStyle>
#include <QStandardPaths>

namespace {

// Standard buttons carry icons, as Qt's own theme on a Linux desktop gives
// them (offscreen there are none), so that the tests see any a box keeps.
class ButtonIconsStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

int main(int argc, char** argv)
{
    // No display is needed or used; whatever Qt would keep of its own goes to
    // a test location instead of the user's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication application(argc, argv);
    QApplication::setStyle(new ButtonIconsStyle);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
