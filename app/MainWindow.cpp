#include "app/MainWindow.h"

#include "app/Session.h"
#include "dialog/OperationDialog.h"
#include "dialog/commands/AppendSteps.h"
#include "dialog/commands/AssembleSteps.h"
#include "dialog/commands/SegmentSteps.h"
#include "notices/AboutWindow.h"
#include "notices/AppendNotice.h"
#include "platform/AppIcon.h"
#include "platform/ErrorReporter.h"
#include "platform/Placement.h"
#include "platform/Twips.h"
#include "platform/WindowServices.h"
#include "shardix/Version.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>

namespace shardix {

namespace {

// The banner, in twips (the logo's size in pixels: the icon's own).
constexpr QSize kBannerSize = twipsSize(5400, 2520);
constexpr QRect kFramePlace = twipsRect(120, 120, 5160, 2280);
constexpr QPoint kLogoCorner = QPoint(twips(240), twips(300));
constexpr int kLogoPixels = 32;
constexpr QRect kProductNamePlace = twipsRect(960, 180, 2760, 600);
constexpr QRect kVersionPlace = twipsRect(3840, 300, 1080, 420);
constexpr QRect kMottoPlace = twipsRect(960, 900, 3960, 420);
constexpr QRect kRightsNoticePlace = twipsRect(240, 1800, 4680, 300);

// A text of the banner, in Arial.
struct BannerText {
    QString text;
    const char* name;
    int points;
    bool bold = false;
    bool italic = false;
};

QLabel* bannerLabel(QWidget* frame, const BannerText& text, const QRect& place) {
    auto* label = new QLabel(text.text, frame);
    label->setObjectName(QLatin1String(text.name));
    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);
    arial.setPointSize(text.points);
    arial.setBold(text.bold);
    arial.setItalic(text.italic);
    label->setFont(arial);
    label->setGeometry(place);
    return label;
}

} // namespace

MainWindow::MainWindow(Session& session, QWidget* parent) : QMainWindow(parent), session_(session) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kAppTitle);
    setWindowIcon(appIcon());
    buildBanner();
    buildMenus();
    // As large as its banner, never larger.
    offerNoMaximize(*this, true);
}

MainWindow::~MainWindow() = default;

StartupResult MainWindow::start() {
    // Centre the size the window will be shown in, not Qt's provisional one.
    if (!testAttribute(Qt::WA_Resized))
        adjustSize();
    centreOnScreen(*this);
    const StartupResult result = startUp(session_);
    // The dialog's lists start in the user's folder, or else in the store's,
    // made current now.
    if (result == StartupResult::Ready)
        operationDialog();
    return result;
}

void MainWindow::exitProgram() {
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    exitProgram();
}

void MainWindow::buildBanner() {
    auto* banner = new QWidget(this);
    setCentralWidget(banner);
    banner->setFixedSize(kBannerSize);

    auto* frame = new QFrame(banner);
    frame->setObjectName(QStringLiteral("bannerFrame"));
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Sunken);
    frame->setGeometry(kFramePlace);

    auto* logo = new QLabel(frame);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setPixmap(appIconPixmap(kLogoPixels, devicePixelRatioF()));
    logo->setGeometry(QRect(kLogoCorner, QSize(kLogoPixels, kLogoPixels)));

    bannerLabel(frame, {.text = kAppTitle, .name = "productName", .points = 20, .bold = true},
                kProductNamePlace);
    bannerLabel(frame, {.text = QStringLiteral(SHARDIX_VERSION), .name = "version", .points = 10},
                kVersionPlace)
        ->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    bannerLabel(frame,
                {.text = QStringLiteral("As limitless as your thoughts."),
                 .name = "motto",
                 .points = 11,
                 .italic = true},
                kMottoPlace);
    bannerLabel(frame,
                {.text = QStringLiteral(
                     "Copyright \u00a9 2026 the Shardix! authors.  All rights reserved."),
                 .name = "rightsNotice",
                 .points = 7},
                kRightsNoticePlace);
}

void MainWindow::buildMenus() {
    // Each command by its object name, so that tests find it.
    const auto command = [this](QMenu* menu, const QString& text, const char* name,
                                void (MainWindow::*run)()) {
        menu->addAction(text, this, run)->setObjectName(QLatin1String(name));
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    command(file, QStringLiteral("&Segment File..."), "segmentFileCommand",
            qOverload<>(&MainWindow::segmentFile));
    command(file, QStringLiteral("&Assemble Files..."), "assembleFilesCommand",
            &MainWindow::assembleFiles);
    command(file, QStringLiteral("A&ppend to File..."), "appendToFileCommand",
            &MainWindow::appendToFile);
    file->addSeparator();
    command(file, QStringLiteral("E&xit"), "exitCommand", &MainWindow::exitProgram);
    file->actions().back()->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    command(help, QStringLiteral("&About Shardix"), "aboutCommand", &MainWindow::showAbout);
}

OperationDialog& MainWindow::operationDialog() {
    if (!dialog_) {
        dialog_ = new OperationDialog(session_.ui, session_.folder, this,
                                      DriveTable({}, session_.workingFolder));
        // The choice of a checksum file is kept in the store; a store that
        // cannot be read or written leaves it off, and says why once changed.
        dialog_->setChecksumSetting(
            [this] {
                if (!session_.store)
                    return false;
                const Result<bool> on = session_.store->writeChecksums();
                return on.ok() && *on;
            },
            [this](bool value) {
                if (!session_.store)
                    return;
                if (const Result<> set = session_.store->setWriteChecksums(value); !set.ok())
                    reportError(session_.ui, set.error());
            });
    }
    return *dialog_;
}

void MainWindow::segmentFile() {
    segmentFile(QString());
}

void MainWindow::segmentFile(const QString& path) {
    OperationDialog& dialog = operationDialog();
    if (!path.isEmpty())
        dialog.chooseFile(path);
    SegmentSteps segment;
    dialog.walk(segment);
}

void MainWindow::assembleFiles() {
    AssembleSteps assemble;
    operationDialog().walk(assemble);
}

void MainWindow::appendToFile() {
    OperationDialog& dialog = operationDialog();
    // The notice reads and writes its setting in the store, which may fail.
    bool wanted = false;
    if (!reportingFailures(session_.ui, [&] {
            if (!notice_)
                notice_ = std::make_unique<AppendNotice>(session_.ui, session_.store.value());
            wanted = notice_->showIfWanted();
        }))
        return session_.ui.setBusy(false);
    AppendSteps append;
    if (wanted)
        dialog.walk(append);
}

void MainWindow::showAbout() {
    if (!about_)
        about_ = std::make_unique<AboutWindow>(session_.ui);
    about_->exec();
}

} // namespace shardix
