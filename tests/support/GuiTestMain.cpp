#include <QApplication>
#include <gtest/gtest.h>

static QtMessageHandler previousHandler = nullptr;

// Window tests run without a display, on Qt's offscreen platform, which warns about
// every window that cannot take size hints: those warnings are left out.
int main(int argc, char** argv) {
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QStringLiteral("propagateSizeHints")))
                previousHandler(type, context, text);
        });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
