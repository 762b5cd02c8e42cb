#include "app/Startup.h"

#include "app/Session.h"
#include "app/StoreSearch.h"
#include "dialog/FolderAccess.h"
#include "platform/ErrorReporter.h"
#include "platform/PathText.h"
#include "platform/WindowServices.h"

#include <QDir>

namespace shardix {

StartupResult startUp(Session& session) {
    const std::optional<StoreProbe> found = findStore(session.ui);
    if (!found)
        return StartupResult::StoreNotFound;
    session.folder = found->folder;
    QDir::setCurrent(session.folder);
    Result<SettingsStore> opened = SettingsStore::open(found->path);
    if (!opened.ok()) {
        session.ui.messageBox(
            QStringLiteral("Shardix! cannot open its settings database \"%1\" and must end.\n\n"
                           "Error %2: %3")
                .arg(shownPath(QDir::toNativeSeparators(found->path)))
                .arg(errorNumber(opened.error()))
                .arg(QString::fromStdString(opened.error().message)),
            MessageIcon::Critical, kAppTitle);
        return StartupResult::StoreUnusable;
    }
    session.store = std::move(opened).value();
    return StartupResult::Ready;
}

QString workingFolder(const std::optional<QString>& told) {
    if (!told)
        return {};
    if (QDir::isAbsolutePath(*told) && canEnter(folderText(*told)))
        return folderText(*told);
    return folderText(QDir::homePath());
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
