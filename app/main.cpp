#include "app/MainWindow.h"
#include "app/Session.h"
#include "app/Startup.h"
#include "engines/io/ProcessSetup.h"
#include "platform/AppIcon.h"
#include "platform/MessageStyle.h"
#include "platform/QtWindowServices.h"
#include "platform/ReadableToolTips.h"
#include "shardix/Version.h"

#include "errors/Quoted.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>
#include <variant>

namespace {

const char* const kUsage =
    "Usage: shardix [FILE]\n"
    "       shardix --help | --version\n"
    "\n"
    "Starts Shardix!, the desktop program that cuts a file into pieces (File >\n"
    "Segment File...), joins pieces or any files into one (File > Assemble\n"
    "Files...) and completes a truncated file with the bytes it lacks (File >\n"
    "Append to File...). With a FILE, it starts at once with File > Segment\n"
    "File..., that file chosen.\n"
    "\n"
    "It keeps its settings (whether the notice before Append is shown again, and\n"
    "whether Segment writes a checksum file) in the settings store shardix.mdb,\n"
    "which it looks for in the folder it is started in, and asks for when it is\n"
    "not there. The installed shardix starts it in ~/.local/share/shardix (or\n"
    "$XDG_DATA_HOME/shardix), where each user gets a store of their own.\n"
    "\n"
    "Its file lists start in the folder named by SHARDIX_WORKING_FOLDER: the\n"
    "folder shardix was started in from a terminal, the home folder when started\n"
    "from the applications menu (where the variable is empty) or when the folder\n"
    "named cannot be entered. Without the variable, they start in the folder the\n"
    "program started in. After each run, they start in its output's folder, and\n"
    "a command's second step starts where its first was taken.\n"
    "\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "\n"
    "Exit status: 0 when the program was ended from its window, 1 when no\n"
    "settings store was found or FILE is no file, 2 when the store could not be\n"
    "opened or the command line is not as shown above.\n"
    "\n"
    "The same operations without windows, for scripts: shardix-cli --help.\n";

const char* const kVersion = "shardix (Shardix!) " SHARDIX_VERSION "\n";

constexpr int kUsageError = 2;

int usageError(const std::string& why) {
    std::fprintf(stderr, "shardix: %s\nTry 'shardix --help' for more information.\n", why.c_str());
    return kUsageError;
}

bool isOption(const std::string& arg) {
    return arg.size() > 1 && arg[0] == '-';
}

// --help and --version are answered without a window or a store, and a long
// option the program does not know is a usage error: the status, or nothing
// when the window is to be opened. Qt's own options (-platform NAME, ...) are
// left for QApplication.
std::optional<int> answerOptions(int argc, char** argv) {
    const char* text = nullptr;
    for (int i = 1; i < argc && !text; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h")
            text = kUsage;
        else if (arg == "--version")
            text = kVersion;
        else if (arg.starts_with("--"))
            return usageError("unrecognized option '" + arg + "'");
    }
    if (!text)
        return std::nullopt;
    return std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
}

// The file to start with, from what QApplication left of the command line:
// none, or one file; a status when the command line is refused.
std::variant<QString, int> fileToStartWith(const QStringList& arguments) {
    QStringList operands;
    bool options = true;
    for (const QString& arg : arguments.mid(1)) {
        if (options && arg == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (options && isOption(arg.toStdString()))
            return usageError("unrecognized option '" + arg.toStdString() + "'");
        operands.append(arg);
    }
    if (operands.size() > 1)
        return usageError("one FILE at most: '" + operands[1].toStdString() + "' is one too many");
    if (operands.isEmpty())
        return QString();
    const QFileInfo file(operands.front());
    if (!file.isFile()) {
        std::fprintf(stderr, "shardix: %s: %s\n",
                     shardix::quoted(QFile::encodeName(operands.front()).toStdString()).c_str(),
                     file.exists() ? "is no file" : "there is no such file");
        return 1;
    }
    return file.absoluteFilePath();
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
    const std::variant<QString, int> startWith = fileToStartWith(QApplication::arguments());
    if (const int* status = std::get_if<int>(&startWith))
        return *status;
    QApplication::setApplicationName(shardix::kAppTitle);
    QApplication::setDesktopFileName(QStringLiteral("example.shardix.Shardix"));
    QApplication::setWindowIcon(shardix::appIcon()); // for every window, the Open dialog too
    shardix::ReadableToolTips toolTips;
    app.installEventFilter(&toolTips);

    shardix::QtWindowServices ui;
    shardix::Session session{ui, {}, std::nullopt, shardix::workingFolder(told)};
    shardix::MainWindow window(session);
    const shardix::StartupResult result = window.start();
    if (result != shardix::StartupResult::Ready)
        return shardix::exitStatus(result);
    window.show();
    // A file named on the command line (as "Open With" names it) is the one
    // to cut, chosen at the first step of Segment File.
    if (const QString file = std::get<QString>(startWith); !file.isEmpty())
        QTimer::singleShot(0, &window, [&window, file] { window.segmentFile(file); });
    return app.exec();
}
