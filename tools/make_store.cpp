// Writes a fresh settings store: shardix-make-store PATH
// The store is keyed with the program's password and holds table "settings"
// with one record whose "showAgain" is true. A file at PATH is replaced.
#include "store/SettingsStore.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: shardix-make-store PATH\n");
        return 2;
    }
    try {
        shardix::SettingsStore::create(args[1], true);
    } catch (const shardix::AppError& e) {
        std::fprintf(stderr, "shardix-make-store: error %d: %s\n", int(e.number()),
                     e.description().c_str());
        return 1;
    }
    return 0;
}
