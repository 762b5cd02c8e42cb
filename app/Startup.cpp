#include "app/Startup.h"

#include "app/Globals.h"
#include "app/SettingsDatabase.h"
#include "app/WindowServices.h"

#include <QDir>
#include <QFileInfo>

namespace shardix {

namespace {

// Any folder text with exactly one trailing "/"; the root stays "/".
QString withOneSlash(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

QString probeFolder(const QString& folder) {
    using namespace globals;
    appFolder = withOneSlash(folder);
    // The name may be in any capitals; the exact name wins when both exist.
    QString name;
    for (const QString& entry : QDir(appFolder).entryList(QDir::Files, QDir::Name)) {
        if (entry.compare(kStoreName, Qt::CaseInsensitive) == 0 &&
            (name.isEmpty() || entry == kStoreName))
            name = entry;
    }
    dbPath = appFolder + (name.isEmpty() ? kStoreName : name);
    return name.toLower();
}

bool checkDbase() {
    using namespace globals;
    QString found = probeFolder(QDir::currentPath());
    msgAnswer = 1;
    while (found != kStoreName && msgAnswer != 2) {
        msgPrompt = kFindStorePrompt;
        msgStyle = 65;
        msgTitle = kAppTitle;
        msgAnswer = services().messageBox(msgPrompt, msgStyle, msgTitle);
        QString picked;
        if (msgAnswer == 1)
            picked = services().getOpenFileName(QStringLiteral("Open"), QDir::currentPath());
        if (!picked.isEmpty()) {
            // Only the folder of the picked file matters.
            QDir::setCurrent(QFileInfo(picked).absolutePath());
            found = probeFolder(QDir::currentPath());
        }
    }
    if (msgAnswer != 2 && found == kStoreName)
        return true;
    services().messageBox(kNoStoreMessage, 0, kAppTitle);
    return false;
}

StartupResult startUp() {
    using namespace globals;
    if (!checkDbase())
        return StartupResult::StoreNotFound;
    QDir::setCurrent(appFolder);
    try {
        theWorkspace = dbEngine().createWorkspace(
            QStringLiteral("lgnWrkSpace"), QStringLiteral("admin"), QString(), WorkspaceType::Jet);
        dbEngine().appendWorkspace(theWorkspace);
        theDatabase = theWorkspace->openDatabase(dbPath, false, false, kStoreConnect);
    } catch (const AppError& e) {
        services().messageBox(
            QStringLiteral("Shardix! cannot open its settings database \"%1\" and must end.\n\n"
                           "Error %2: %3")
                .arg(QDir::toNativeSeparators(dbPath))
                .arg(e.number())
                .arg(QString::fromStdString(e.description())),
            16, kAppTitle);
        return StartupResult::StoreUnusable;
    }
    return StartupResult::Ready;
}

int exitStatus(StartupResult result) {
    switch (result) {
    case StartupResult::Ready:
        return 0;
    case StartupResult::StoreNotFound:
        return 1;
    case StartupResult::StoreUnusable:
        return 2;
    }
    return 2;
}

} // namespace shardix
