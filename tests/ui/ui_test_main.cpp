#include <QApplication>

#include <gtest/gtest.h>

// Widget tests need a QApplication; they run on the offscreen platform unless a display is asked for
// (to look at the windows).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
