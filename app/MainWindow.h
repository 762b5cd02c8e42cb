#pragma once

#include "app/Startup.h"

#include <QMainWindow>

#include <memory>

namespace shardix {

class AboutWindow;
class AppendNotice;
class OperationDialog;
struct Session;

// The main window: a banner and the menus of the file commands. Each command
// walks the operation dialog through its steps; the notice before Append and
// the About window are made on first use and kept.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(Session& session, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Run once before the window is first shown: centres the window and runs
    // start-up. The window may be shown only when this returns Ready; otherwise
    // the program ends with exitStatus() of the result.
    StartupResult start();

    // The operation dialog, made hidden on first use and then only shown and
    // hidden.
    OperationDialog& operationDialog();

    // The menu commands.
    void segmentFile();
    // Segment File, with `path` chosen at its first step (a file the program
    // was started with).
    void segmentFile(const QString& path);
    void assembleFiles();
    void appendToFile();
    void showAbout();
    // Ends the run at once (the Exit command, and closing the window).
    void exitProgram();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildBanner();
    void buildMenus();

    Session& session_;
    OperationDialog* dialog_ = nullptr;
    std::unique_ptr<AppendNotice> notice_;
    std::unique_ptr<AboutWindow> about_;
};

} // namespace shardix
