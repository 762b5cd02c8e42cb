#include "app/MainWindow.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "engines/io/ProcessSetup.h"
#include "platform/AppIcon.h"
#include "platform/MessageStyle.h"
#include "platform/QtWindowServices.h"
#include "shardix/Version.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: shardix [--help | --version]\n"
    "\n"
    "Starts Shardix!, the desktop program that cuts a file into pieces (File >\n"
    "Segment File...), joins pieces or any files into one (File > Assemble\n"
    "Files...) and completes a truncated file with the bytes it lacks (File >\n"
    "Append to File...). It takes no other arguments.\n"
    "\n"
    "It keeps its one setting in the settings store shardix.mdb, which it looks\n"
    "for in the folder it is started in, and asks for when it is not there. The\n"
    "installed shardix starts it in ~/.local/share/shardix (or\n"
    "$XDG_DATA_HOME/shardix), where each user gets a store of their own.\n"
    "\n"
    "Its file lists start in the folder named by SHARDIX_WORKING_FOLDER: the\n"
    "folder shardix was started in from a terminal, the home folder when started\n"
    "from the applications menu (where the variable is empty) or when the folder\n"
    "named cannot be entered. Without the variable, they start in the folder the\n"
    "program started in. After each run, they start in its output's folder.\n"
    "\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "\n"
    "The same operations without windows, for scripts: shardix-cli --help.\n";

const char* const kVersion = "shardix (Shardix!) " SHARDIX_VERSION "\n";

// --help and --version are answered without a window or a store: the status,
// or nothing when the window is to be opened.
std::optional<int> answerOptions(int argc, char** argv) {
    const char* text = nullptr;
    for (int i = 1; i < argc && !text; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            text = kUsage;
    }
    for (int i = 1; i < argc && !text; ++i) {
        if (std::strcmp(argv[i], "--version") == 0)
            text = kVersion;
    }
    if (!text)
        return std::nullopt;
    return std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    shardix::prepareProcess();
    if (const std::optional<int> status = answerOptions(argc, argv))
        return *status;

    // The folder the user works in, told for this start only: the programs
    // this one starts (a mail program) do not inherit it.
    std::optional<QString> told;
    if (qEnvironmentVariableIsSet(shardix::kWorkingFolderVariable))
        told = qEnvironmentVariable(shardix::kWorkingFolderVariable);
    qunsetenv(shardix::kWorkingFolderVariable);

    QApplication app(argc, argv);
    QApplication::setApplicationName(shardix::kAppTitle);
    QApplication::setDesktopFileName(QStringLiteral("example.shardix.Shardix"));
    QApplication::setWindowIcon(shardix::appIcon()); // for every window, the Open dialog too

    shardix::QtWindowServices ui;
    shardix::Session session{ui, {}, std::nullopt, shardix::workingFolder(told)};
    shardix::MainWindow window(session);
    const shardix::StartupResult result = window.start();
    if (result != shardix::StartupResult::Ready)
        return shardix::exitStatus(result);
    window.show();
    return app.exec();
}
