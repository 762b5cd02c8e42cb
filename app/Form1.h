#pragma once

#include "app/Startup.h"

#include <QMainWindow>

namespace shardix {

// The main window. The constructor builds only the window itself; the banner,
// menus and commands are added on top of it.
class Form1 : public QMainWindow {
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);

    // The load handler, run once before the window is first shown: centres the
    // window and runs start-up (the search for the settings store and its
    // opening). The window may be shown only when this returns Ready; otherwise
    // the program ends with exitStatus() of the result.
    StartupResult loadHandler();

    // Ends the run at once (closing the window, and the Exit command).
    static void endProgram();

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace shardix
