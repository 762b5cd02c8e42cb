#pragma once

#include "app/Startup.h"

#include <QMainWindow>

class QAction;
class QFrame;
class QLabel;

namespace shardix {

class Form3;

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

    // The operation dialog, created hidden on first use and then only shown and
    // hidden.
    Form3& form3();

    // The menu commands.
    void menuCutFile_Click();
    void menuPasteFile_Click();
    void menuAppendtoFile_Click();
    void menuAbout_Click();
    void menuExit_Click();

    QFrame* Frame1;
    QLabel* Label1;
    QLabel* lblProductName;
    QLabel* lblVersion;
    QLabel* lblWarning;
    QLabel* imgLogo;
    QAction* menuCutFile;
    QAction* menuPasteFile;
    QAction* menuAppendtoFile;
    QAction* menuExit;
    QAction* menuAbout;

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Form_Resize: the dialog's List1 follows the window's size.
    void resizeEvent(QResizeEvent* event) override;

  private:
    void buildBanner();
    void buildMenus();

    Form3* form3_ = nullptr;
};

} // namespace shardix
