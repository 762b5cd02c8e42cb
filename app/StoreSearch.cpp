#include "app/StoreSearch.h"

#include "platform/PathText.h"
#include "platform/WindowServices.h"

#include <QDir>
#include <QFileInfo>

namespace shardix {

namespace {

const QString kFindStorePrompt = QStringLiteral("Please find and open the database: shardix.mdb");
const QString kNoStoreMessage = QStringLiteral(
    "This application cannot execute properly without the database shardix.mdb.  Please install "
    "this database on your system, and run the program again.");

} // namespace

StoreProbe probeFolder(const QString& folder) {
    StoreProbe probe;
    probe.folder = withSlash(folder);
    QString name;
    for (const QString& entry : QDir(probe.folder).entryList(QDir::Files, QDir::Name)) {
        if (entry.compare(kStoreName, Qt::CaseInsensitive) == 0 &&
            (name.isEmpty() || entry == kStoreName))
            name = entry;
    }
    probe.found = !name.isEmpty();
    probe.path = probe.folder + (probe.found ? name : kStoreName);
    return probe;
}

std::optional<StoreProbe> findStore(WindowServices& ui) {
    StoreProbe probe = probeFolder(QDir::currentPath());
    while (!probe.found) {
        if (ui.messageBox(kFindStorePrompt, MessageButtons::OkCancel | MessageIcon::Information,
                          kAppTitle) != MessageAnswer::Ok) {
            ui.messageBox(kNoStoreMessage, MessageButtons::Ok, kAppTitle);
            return std::nullopt;
        }
        const QString picked = ui.getOpenFileName(QStringLiteral("Open"), QDir::currentPath());
        if (!picked.isEmpty()) {
            // Only the folder of the picked file matters.
            QDir::setCurrent(QFileInfo(picked).absolutePath());
            probe = probeFolder(QDir::currentPath());
        }
    }
    return probe;
}

} // namespace shardix
