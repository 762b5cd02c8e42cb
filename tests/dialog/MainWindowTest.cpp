// The main window's menus and the commands that need no file.
#include "tests/dialog/DialogDriver.h"

#include "notices/Form2.h"
#include "notices/Twips.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>

namespace shardix::testing {
namespace {

using MainWindow = CommandTest;

QStringList captions(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

TEST_F(MainWindow, OffersTheFileAndHelpCommandsWithTheirAccessKeysAndNoCopyOrMove) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Shardix!"));
    const QList<QAction*> bar = window->menuBar()->actions();
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(bar[1]->text(), QStringLiteral("&Help"));
    EXPECT_EQ(captions(bar[0]->menu()),
              (QStringList{"&Segment File...", "&Assemble Files...", "A&ppend to File...", "-",
                           "E&xit"}));
    EXPECT_EQ(captions(bar[1]->menu()), QStringList{QStringLiteral("&About Shardix")});
    QStringList banner;
    for (const QLabel* label : window->findChildren<QLabel*>())
        banner.append(label->text());
    for (const char* text : {"As limitless as your thoughts.", "Shardix!", "2.3"})
        EXPECT_TRUE(banner.contains(QLatin1String(text))) << text;
}

TEST_F(MainWindow, ResizingSizesTheDialogsListAndExitEndsTheProgram) {
    window->resize(400, 300);
    window->show();
    QTest::qWait(0);
    EXPECT_EQ(d->List1->width(), twips(window->width() * 15 - 135));
    EXPECT_EQ(d->List1->height(), twips(window->height() * 15 - 855));

    QTimer::singleShot(0, window.get(), [this] { window->menuExit->trigger(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

TEST_F(MainWindow, AboutShowsTheAboutWindowModally) {
    bool shown = false;
    QTimer::singleShot(0, &form2(), [&shown] {
        shown = form2().isVisible() && form2().isModal();
        form2().hide();
    });
    window->menuAbout->trigger();
    EXPECT_TRUE(shown);
}

} // namespace
} // namespace shardix::testing
