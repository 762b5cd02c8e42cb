#include <QApplication>
#include <gtest/gtest.h>

#include <cstdio>

// Window tests run without a display, on Qt's offscreen platform, which warns about
// every window that cannot take size hints: those warnings are left out, the
// others are written to standard error as Qt writes them.
int main(int argc, char** argv) {
    qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QStringLiteral("propagateSizeHints")))
                std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
        });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
