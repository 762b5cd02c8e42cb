// shardix-make-store: writes a fresh settings store for Shardix!. Installed
// beside the program, out of the users' path; the build writes the stores it
// delivers with it.
#include "shardix/Version.h"
#include "store/SettingsStore.h"
#include "store/StoreFailure.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <optional>
#include <sys/stat.h>
#include <utility>

namespace {

const char* const kUsage =
    "Usage: shardix-make-store [--force] PATH\n"
    "\n"
    "Writes a fresh settings store of Shardix! at PATH: an SQLCipher database keyed\n"
    "with the program's password, whose table \"settings\" holds one record with\n"
    "showAgain true, so that the notice before Append to File shows again. The\n"
    "store is written beside PATH under a name of its own and renamed into place\n"
    "when it is whole. An existing PATH is left alone unless --force is given.\n"
    "\n"
    "  --force    replace an existing file at PATH\n"
    "  --help     show this text and end\n"
    "  --version  show the version and end\n"
    "  --         end of the options: a PATH that begins with \"-\" follows\n"
    "\n"
    "Exit status: 0 when the store was written, 1 when it was not, 2 on a usage\n"
    "error.\n";

const char* const kVersion = "shardix-make-store (Shardix!) " SHARDIX_VERSION "\n";

int usageError(const char* why) {
    std::fprintf(stderr,
                 "shardix-make-store: %s\nTry 'shardix-make-store --help' for more information.\n",
                 why);
    return 2;
}

// The number this tool prints for a failure, as it always has: the place of
// its kind in the list of kinds (ErrorKind up to Internal, 12, then the store's).
int toolCode(const shardix::Error& error) {
    using shardix::StoreFailure;
    const std::optional<StoreFailure> failure = shardix::storeFailureOf(error);
    if (!failure)
        return int(error.kind);
    static constexpr std::pair<StoreFailure, int> kCodes[] = {
        {StoreFailure::Unreadable, 9},
        {StoreFailure::TypeMismatch, 13},
        {StoreFailure::FieldTooSmall, 14},
        {StoreFailure::ZeroLengthField, 15},
        {StoreFailure::UnrecognizedDatabase, 16},
        {StoreFailure::StoreNotFound, 17},
        {StoreFailure::NoKey, 18},
        {StoreFailure::NoTable, 19},
        {StoreFailure::NoField, 20},
        {StoreFailure::NoRecord, 21},
        {StoreFailure::StoreReadOnly, 22},
        {StoreFailure::StoreInUse, 23},
        {StoreFailure::StoreCannotWrite, 24}};
    for (const auto& [known, code] : kCodes)
        if (known == *failure)
            return code;
    return int(error.kind);
}

int print(const char* text) {
    return std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    bool force = false;
    bool optionsOver = false;
    QStringList paths;
    for (const QString& arg : args) {
        if (optionsOver || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            paths.append(arg);
        } else if (arg == QLatin1String("--")) {
            optionsOver = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            return print(kUsage);
        } else if (arg == QLatin1String("--version")) {
            return print(kVersion);
        } else if (arg == QLatin1String("--force") && !force) {
            force = true;
        } else {
            return usageError(
                qPrintable(QStringLiteral("unknown or repeated option \"%1\"").arg(arg)));
        }
    }
    if (paths.size() != 1)
        return usageError(paths.isEmpty() ? "PATH is required" : "only one PATH may be given");
    const QString& path = paths.front();

    struct stat st {};
    if (!force && ::lstat(QFile::encodeName(path).constData(), &st) == 0) {
        std::fprintf(stderr,
                     "shardix-make-store: \"%s\" already exists; not replaced (use --force to "
                     "replace it).\n",
                     qPrintable(path));
        return 1;
    }
    const shardix::Result<> created = shardix::SettingsStore::create(path, true);
    if (!created.ok()) {
        std::fprintf(stderr, "shardix-make-store: error %d: %s\n", toolCode(created.error()),
                     created.error().message.c_str());
        return 1;
    }
    return 0;
}
