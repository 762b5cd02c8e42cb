#include "app/Form1.h"

#include "app/AppIcon.h"
#include "app/ErrorReporting.h"
#include "app/Globals.h"
#include "app/Placement.h"
#include "app/WindowServices.h"
#include "dialog/Form3.h"
#include "dialog/ListControls.h"
#include "notices/Form2.h"
#include "notices/Form5.h"
#include "notices/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScopeGuard>

namespace shardix {

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Shardix!"));
    setWindowIcon(appIcon());
    buildBanner();
    buildMenus();
}

StartupResult Form1::loadHandler() {
    // Centre the size the window will be shown in, not Qt's provisional one.
    if (!testAttribute(Qt::WA_Resized))
        adjustSize();
    centreOnScreen(*this);
    return startUp();
}

void Form1::endProgram() {
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    endProgram();
}

void Form1::buildBanner() {
    auto* banner = new QWidget(this);
    setCentralWidget(banner);
    banner->setFixedSize(twips(5400), twips(2520));

    QFont arial(QStringLiteral("Arial"));
    arial.setStyleHint(QFont::SansSerif);
    const auto inArial = [&arial](QLabel* label, int points, bool bold, bool italic) {
        QFont f = arial;
        f.setPointSize(points);
        f.setBold(bold);
        f.setItalic(italic);
        label->setFont(f);
    };

    Frame1 = new QFrame(banner);
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    Frame1->setGeometry(twips(120), twips(120), twips(5160), twips(2280));

    imgLogo = new QLabel(Frame1);
    imgLogo->setPixmap(appIconPixmap(32, devicePixelRatioF()));
    imgLogo->setGeometry(twips(240), twips(300), 32, 32);

    lblProductName = new QLabel(QStringLiteral("Shardix!"), Frame1);
    inArial(lblProductName, 20, true, false);
    lblProductName->setGeometry(twips(960), twips(180), twips(2760), twips(600));

    lblVersion = new QLabel(QStringLiteral("2.3"), Frame1);
    inArial(lblVersion, 10, false, false);
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    lblVersion->setGeometry(twips(3840), twips(300), twips(1080), twips(420));

    Label1 = new QLabel(QStringLiteral("As limitless as your thoughts."), Frame1);
    inArial(Label1, 11, false, true);
    Label1->setGeometry(twips(960), twips(900), twips(3960), twips(420));

    lblWarning =
        new QLabel(QStringLiteral("Copyright \u00a9 2026 the Shardix! authors.  All rights "
                                  "reserved."),
                   Frame1);
    inArial(lblWarning, 7, false, false);
    lblWarning->setGeometry(twips(240), twips(1800), twips(4680), twips(300));

    Frame1->setObjectName(QStringLiteral("Frame1"));
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    Label1->setObjectName(QStringLiteral("Label1"));
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
}

void Form1::buildMenus() {
    QMenu* menuFile = menuBar()->addMenu(QStringLiteral("&File"));
    menuFile->setObjectName(QStringLiteral("menuFile"));
    menuCutFile =
        menuFile->addAction(QStringLiteral("&Segment File..."), this, &Form1::menuCutFile_Click);
    menuPasteFile = menuFile->addAction(QStringLiteral("&Assemble Files..."), this,
                                        &Form1::menuPasteFile_Click);
    menuAppendtoFile = menuFile->addAction(QStringLiteral("A&ppend to File..."), this,
                                           &Form1::menuAppendtoFile_Click);
    menuFile->addSeparator()->setObjectName(QStringLiteral("separate2"));
    menuExit = menuFile->addAction(QStringLiteral("E&xit"), this, &Form1::menuExit_Click);

    QMenu* menuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    menuAbout =
        menuHelp->addAction(QStringLiteral("&About Shardix"), this, &Form1::menuAbout_Click);

    menuCutFile->setObjectName(QStringLiteral("menuCutFile"));
    menuPasteFile->setObjectName(QStringLiteral("menuPasteFile"));
    menuAppendtoFile->setObjectName(QStringLiteral("menuAppendtoFile"));
    menuExit->setObjectName(QStringLiteral("menuExit"));
    menuAbout->setObjectName(QStringLiteral("menuAbout"));
}

Form3& Form1::form3() {
    if (!form3_)
        form3_ = new Form3(this);
    return *form3_;
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    QListWidget* list = form3().List1;
    const int width = this->width() * 15;
    const int height = this->height() * 15;
    if (width > 120)
        list->resize(twips(width - 135), list->height());
    if (height > 1515)
        list->resize(list->width(), twips(height - 855));
}

namespace {

// Puts the name box into the tab order or takes it out.
void setTabStop(QWidget* box, bool on) {
    box->setFocusPolicy(on ? Qt::StrongFocus : Qt::ClickFocus);
}

// Shows File2 in File1's place, as tall as the steps that pick several files want it.
// The name box, lying under it, is hidden too, so that no edge of it shows.
void useFile2(Form3& d) {
    d.File1->hide();
    d.File2->resize(d.File2->width(), twips(3540));
    d.File2->show();
    d.Text1->hide();
    setTabStop(d.Text1, false);
}

void useFile1(Form3& d) {
    d.File2->hide();
    d.File1->show();
    d.Text1->show();
    setTabStop(d.Text1, true);
}

// Shows a step that starts from the drive's current folder.
void showStep(Form3& d, const QString& caption) {
    d.setCaption(caption);
    d.Drive1->refresh();
    d.Dir1_GotFocus();
    d.showModal();
}

// The first step of Segment and Append: one file picked in File1.
void showFirstStep(Form3& d, const QString& caption) {
    d.File1->setEnabled(true);
    d.Text1->setEnabled(true);
    d.Text1->clear();
    d.ProgressBar1->hide();
    d.Label2->hide();
    showStep(d, caption);
}

} // namespace

void Form1::menuCutFile_Click() {
    Form3& d = form3();
    try {
        showFirstStep(d, caption::kSegmentFile);
        if (d.caption().isEmpty())
            return;
        const auto hideCount = qScopeGuard([&d] {
            d.Label1->hide();
            d.MaskEdBox1->hide();
        });
        d.Label1->show();
        d.MaskEdBox1->show();
        showStep(d, caption::kSegmentBase);
    } catch (const AppError& e) {
        mainHandleError(e);
        services().setBusy(false);
    }
}

void Form1::menuPasteFile_Click() {
    Form3& d = form3();
    try {
        d.File2->setPath(d.Dir1->path());
        useFile2(d);
        d.setCaption(caption::kAssembleFiles);
        d.ProgressBar1->hide();
        d.Label2->hide();
        d.showModal();

        d.File1->setPath(d.Dir1->path());
        useFile1(d);
        if (globals::fileCount > 1) {
            d.setCaption(caption::kAssembleName);
            d.Text1->clear();
            d.showModal();
        }
    } catch (const AppError&) {
        // This command ends quietly on a failure of its set-up.
        services().setBusy(false);
    }
}

void Form1::menuAppendtoFile_Click() {
    Form3& d = form3();
    try {
        if (!showAppendNoticeIfWanted())
            return;
        showFirstStep(d, caption::kAppendTo);
        if (d.caption().isEmpty() || globals::fileDate.isNull())
            return;
        const auto back = qScopeGuard([&d] { useFile1(d); });
        useFile2(d);
        showStep(d, caption::kAppendFrom);
    } catch (const AppError& e) {
        mainHandleError(e);
        services().setBusy(false);
    }
}

void Form1::menuAbout_Click() {
    showAbout();
}

void Form1::menuExit_Click() {
    endProgram();
}

} // namespace shardix
