#include "dialog/Form3.h"

#include "app/ErrorReporting.h"
#include "app/Globals.h"
#include "app/Placement.h"
#include "app/WindowServices.h"
#include "dialog/ListControls.h"
#include "engines/Appender.h"
#include "engines/Assembler.h"
#include "engines/Count.h"
#include "engines/FileIo.h"
#include "engines/Messages.h"
#include "engines/Segmenter.h"
#include "engines/Selection.h"
#include "notices/Twips.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>

namespace shardix {

namespace {

const QString kM1 = QStringLiteral(
    "Do NOT include a file PATH in this box; enter/modify only a file NAME.  Select the path "
    "using the Directory List Box (to the left of this box).");
const QString kM2 = QStringLiteral("Please select/enter a file to segment.");
const QString kM3 = QStringLiteral("There is no file with the name you entered.");
const QString kM4 = QStringLiteral("The number of file segments must be greater than one.  "
                                   "Please enter a number greater than one.");
const QString kM5 = QStringLiteral("Please select fileS to assemble.");
const QString kM6 = QStringLiteral("Please enter/select a name for the assembled file.");
const QString kM7 = QStringLiteral("Please select/enter a name of a file to append to.");
const QString kM8 = QStringLiteral("Please select file(s) to append from.");

const QString kText1Tip = QStringLiteral("Do NOT enter a file PATH in this box, just a name.  "
                                         "Select a path using the Directory List Box (if "
                                         "necessary).");
const QString kOverwriteTail = QStringLiteral(" already exists.  Shall we overwrite it?");

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// File names as the operating system takes them.
std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

Form3::Form3(QWidget* parent, DriveTable drives) : QDialog(parent), drives_(std::move(drives)) {
    setFixedSize(twips(5652), twips(4248));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    Drive1 = new DriveList(drives_, this);
    Dir1 = new FolderList(this);
    File1 = new FileList(this);
    File2 = new FileList(this);
    Text1 = new NameBox(this);
    MaskEdBox1 = new NameBox(this);
    Command1 = new QPushButton(QStringLiteral("&OK"), this);
    Command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    List1 = new QListWidget(this);
    Label1 = new QLabel(QStringLiteral("# of Segments:"), this);
    ProgressBar1 = new QProgressBar(this);
    Label2 = new QLabel(QStringLiteral("Working:"), this);
    instruction = new QLabel(this);
    engineUi_.attach(ProgressBar1, Label2, instruction);

    Drive1->setObjectName(QStringLiteral("Drive1"));
    Dir1->setObjectName(QStringLiteral("Dir1"));
    File1->setObjectName(QStringLiteral("File1"));
    File2->setObjectName(QStringLiteral("File2"));
    Text1->setObjectName(QStringLiteral("Text1"));
    MaskEdBox1->setObjectName(QStringLiteral("MaskEdBox1"));
    Command1->setObjectName(QStringLiteral("Command1"));
    Command2->setObjectName(QStringLiteral("Command2"));
    List1->setObjectName(QStringLiteral("List1"));
    Label1->setObjectName(QStringLiteral("Label1"));
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    instruction->setObjectName(QStringLiteral("instruction"));

    Drive1->setGeometry(twipsRect(240, 240, 2775, 315));
    Dir1->setGeometry(twipsRect(240, 720, 2775, 2340));
    File1->setGeometry(twipsRect(3240, 240, 2175, 2184));
    File2->setGeometry(twipsRect(3240, 240, 2175, 1416));
    Text1->setGeometry(twipsRect(3240, 2685, 2175, 375));
    MaskEdBox1->setGeometry(twipsRect(4800, 3240, 615, 375));
    Command1->setGeometry(twipsRect(240, 3240, 975, 375));
    Command2->setGeometry(twipsRect(2040, 3240, 975, 375));
    List1->setGeometry(twipsRect(3240, 0, 2295, 288));
    Label1->setGeometry(twipsRect(3360, 3315, 1455, 255));
    ProgressBar1->setGeometry(twipsRect(1440, 3840, 3615, 255));
    Label2->setGeometry(twipsRect(480, 3840, 975, 255));
    // The row of the progress bar, free while no run is under way.
    instruction->setGeometry(twipsRect(240, 3840, 5172, 255));

    File1->setSelectionMode(QAbstractItemView::SingleSelection);
    File2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    File2->hide();
    File2->raise(); // made tall, it lies over the name box
    Text1->setText(QStringLiteral("*.*"));
    Text1->setToolTip(kText1Tip);
    MaskEdBox1->setInputMask(QStringLiteral("999; "));
    MaskEdBox1->hide();
    List1->hide();
    Label1->hide();
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);

    // The tab order is the order of the rows; a list that shows on File1's spot
    // takes its turn.
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, File2);
    setTabOrder(File2, Text1);
    setTabOrder(Text1, MaskEdBox1);
    setTabOrder(MaskEdBox1, Command1);
    setTabOrder(Command1, Command2);

    connect(Drive1, &DriveList::driveChanged, this, &Form3::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &Form3::Dir1_Change);
    connect(Dir1, &FolderList::gotFocus, this, &Form3::Dir1_GotFocus);
    connect(Dir1, &FolderList::moveFailed, this, [](int number, const QString& description) {
        mainHandleError(AppError(number, description.toStdString()));
    });
    connect(File1, &QListWidget::itemClicked, this, &Form3::File1_Click);
    connect(File1, &QListWidget::itemSelectionChanged, this, [this] {
        if (File1->currentItem() && File1->currentItem()->isSelected())
            File1_Click();
    });
    connect(File1, &QListWidget::itemDoubleClicked, this, &Form3::File1_DblClick);
    connect(File2, &QListWidget::itemClicked, this, &Form3::File2_Click);
    connect(File2, &QListWidget::itemSelectionChanged, this, [this] {
        if (File2->currentItem())
            File2_Click();
    });
    connect(File2, &QListWidget::itemDoubleClicked, this, &Form3::File2_DblClick);
    connect(Text1, &NameBox::gotFocus, Text1, &QLineEdit::selectAll);
    connect(MaskEdBox1, &NameBox::gotFocus, MaskEdBox1, &QLineEdit::selectAll);
    connect(Text1, &NameBox::enterPressed, this, &Form3::Command1_Click);
    connect(MaskEdBox1, &NameBox::enterPressed, this, &Form3::Command1_Click);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    // Folders made or removed by other programs show when the user comes back.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive && isVisible() && !running_)
                    refreshFolders();
            });

    // The lists start in the start-up folder, on its drive.
    const QString start = folderText(QDir::currentPath());
    {
        const QSignalBlocker quiet(Drive1);
        Drive1->setDrive(drives_.driveOf(start));
    }
    try {
        Dir1->setPath(start);
        File1->setPath(start);
        File2->setPath(start);
    } catch (const AppError& e) {
        mainHandleError(e);
    }

    engines_.segment = [](const std::string& source, const std::string& basePath, int count,
                          RunProgress& progress) {
        return segmentFile(source, basePath, count, progress);
    };
    engines_.assemble = [](const std::vector<std::string>& list, const std::string& target,
                           RunProgress& progress) { return assembleFiles(list, target, progress); };
    engines_.append = [](const std::vector<std::string>& sources, const std::string& target,
                         RunProgress& progress) { return appendFile(sources, target, progress); };

    setCaption(kAppTitle);
    // Form_Load: centred once; later showings keep the place.
    centreOnScreen(*this);
}

void Form3::showModal() {
    setModal(true);
    settleActivation();
    exec();
}

QWidget* Form3::owner() const {
    QWidget* window = parentWidget() ? parentWidget()->window() : nullptr;
    return window && window->isVisible() ? window : nullptr;
}

void Form3::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // The window system does not always hand the activation back to the main
    // window, which would then take no keys (its menus' access keys) until
    // clicked.
    if (QWidget* window = owner())
        window->activateWindow();
}

void Form3::settleActivation() {
    // Hidden at the end of one step and shown again at once for the next, the
    // dialog can be left without activation by the window system: its boxes then
    // get no focus events, so a click neither focuses nor selects, and nothing
    // can be typed into the count box. Letting the owner window take the
    // activation back first avoids it.
    QWidget* window = owner();
    if (!window || QApplication::activeWindow())
        return;
    window->activateWindow();
    QElapsedTimer waited;
    waited.start();
    while (QApplication::activeWindow() != window && waited.elapsed() < 250) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(2);
    }
}

void Form3::setCaption(const QString& text) {
    setWindowTitle(text);
    // The dialog's font, or a smaller one where the text would not fit.
    QFont fitting = font();
    for (qreal size = fitting.pointSizeF(); size >= 6.5; size -= 0.5) {
        fitting.setPointSizeF(size);
        if (QFontMetrics(fitting).horizontalAdvance(text) <= instruction->width())
            break;
    }
    instruction->setFont(fitting);
    instruction->setText(text);
}

void Form3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    instruction->setVisible(!ProgressBar1->isVisibleTo(this));
    refreshFolders();
    Form_Activate();
}

void Form3::refreshFolders() {
    try {
        Dir1->refresh();
    } catch (const AppError& e) {
        mainHandleError(e);
    }
}

void Form3::Form_Activate() {
    const QString c = caption();
    if (c == caption::kSegmentBase || c == caption::kAssembleName)
        Text1->setFocus();
    else if (c == caption::kAssembleFiles || c == caption::kAppendFrom)
        File2->refresh();
    else
        File1->refresh();
}

void Form3::Drive1_Change() {
    try {
        Dir1->setPath(drives_.currentFolder(Drive1->drive()));
    } catch (const AppError& e) {
        mainHandleError(e);
    }
}

void Form3::Dir1_Change() {
    const QString c = caption();
    if (c == caption::kAssembleFiles || c == caption::kAppendFrom) {
        File2->setPath(Dir1->path());
    } else if (c == caption::kSegmentFile || c == caption::kAssembleName ||
               c == caption::kSegmentBase || c == caption::kCopyTo || c == caption::kMoveTo) {
        File1->setPath(Dir1->path());
    } else {
        File1->setPath(Dir1->path());
        Text1->setText(QStringLiteral("*.*"));
    }
}

void Form3::Dir1_GotFocus() {
    try {
        Dir1->setPath(drives_.currentFolder(Drive1->drive()));
    } catch (const AppError& e) {
        mainHandleError(e);
    }
    try {
        const QString c = caption();
        if (c == caption::kAssembleFiles || c == caption::kAppendFrom)
            File2->setPath(Dir1->path());
        else
            File1->setPath(Dir1->path());
    } catch (const AppError& e) {
        mainHandleError(e);
    }
}

void Form3::File1_Click() {
    Text1->setText(File1->fileName());
}

void Form3::File1_DblClick() {
    Text1->setText(File1->fileName());
    Command1_Click();
}

void Form3::File2_Click() {
    const QString name = File2->fileName();
    Text1->setText(name);
    File2->setToolTip(name.size() > 22 ? name : QString());
}

void Form3::File2_DblClick() {
    Text1->setText(File2->fileName());
    Command1_Click();
}

void Form3::Command1_Click() {
    // One run at a time: OK, Enter or a double-click that reaches the dialog
    // while the events of a run are pumped is ignored.
    if (running_)
        return;
    running_ = true;
    const auto done = qScopeGuard([this] { running_ = false; });
    try {
        okSteps();
    } catch (const AppError& e) {
        theMessage_ = dialogReportError(e);
        services().messageBox(theMessage_);
    } catch (const std::exception& e) {
        theMessage_ = dialogReportError(AppError(ErrNo::InvalidOperation, e.what()));
        services().messageBox(theMessage_);
    }
}

void Form3::okSteps() {
    const QString name = Text1->text();
    if (name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/')))
        return stopAt(Text1, kM1);

    const QString c = caption();
    if (c == caption::kSegmentFile)
        segmentStep1();
    else if (c == caption::kSegmentBase)
        segmentStep2();
    else if (c == caption::kAssembleFiles)
        assembleStep1();
    else if (c == caption::kAssembleName)
        assembleStep2();
    else if (c == caption::kAppendTo)
        appendStep1();
    else if (c == caption::kAppendFrom)
        appendStep2();
    else
        hide();
    services().setBusy(false);
}

void Form3::stopAt(QWidget* control, const QString& message) {
    services().messageBox(message);
    control->setFocus();
}

bool Form3::namedFileExists(const QString& whenEmpty) {
    if (Text1->text().isEmpty()) {
        stopAt(Text1, whenEmpty);
        return false;
    }
    checkDir(Dir1->path(), Text1->text());
    checkForFile(fullPath_);
    if (globals::fileDate.isNull()) {
        stopAt(Text1, kM3);
        return false;
    }
    return true;
}

void Form3::segmentStep1() {
    if (!namedFileExists(kM2))
        return;
    hide();
    srcDir_ = Dir1->path();
    srcName_ = Text1->text();
}

void Form3::segmentStep2() {
    // The count as the box shows it: one number, or none. A box that shows
    // "1 3" (a digit taken out of the middle) is refused, never read as 13.
    const std::optional<int> count = parseCount(MaskEdBox1->displayText().toStdString());
    if (!count || *count < 2)
        return stopAt(MaskEdBox1, kM4);
    destDir_ = withSlash(Dir1->path());
    srcDir_ = withSlash(srcDir_);
    checkDir(srcDir_, srcName_);
    checkForFile(fullPath_);
    if (globals::fileDate.isNull())
        return stopAt(Text1, kM3);

    globals::theAnswer = QStringLiteral("Y");
    services().pumpEvents();
    destPath_ = destDir_ + Text1->text();
    checkDestiny(destPath_ + QLatin1Char('1'));
    if (globals::theAnswer != QLatin1String("Y"))
        return;
    const std::string source = native(fullPath_);
    const std::string basePath = native(destPath_);
    run(QStringLiteral("cut"),
        [&] { return engines_.segment(source, basePath, *count, engineUi_); });
}

void Form3::assembleStep1() {
    srcDir_ = withSlash(Dir1->path());
    getFiles();
    if (globals::fileCount < 2)
        return stopAt(File2, kM5);
    hide();
}

void Form3::assembleStep2() {
    if (Text1->text().isEmpty())
        return stopAt(Text1, kM6);
    getAnswer();
    if (globals::theAnswer != QLatin1String("Y"))
        return;
    destDir_ = Dir1->path();
    const std::string target = native(destPath_);
    run(QStringLiteral("paste"),
        [&] { return engines_.assemble(globals::fileList, target, engineUi_); });
}

void Form3::appendStep1() {
    if (!namedFileExists(kM7))
        return;
    // A pipe or a device would take the bytes away, or wait for a reader.
    if (const auto refused = refusedOutput(native(fullPath_)))
        return stopAt(Text1, QString::fromStdString(*refused));
    hide();
    getAnswer();
}

void Form3::appendStep2() {
    srcDir_ = withSlash(Dir1->path());
    getFiles();
    if (globals::fileCount == 0)
        return stopAt(File2, kM8);
    destDir_ = folderOf(destPath_);
    const std::string target = native(destPath_);
    run(QStringLiteral("add"),
        [&] { return engines_.append(globals::fileList, target, engineUi_); });
}

void Form3::run(const QString& key, const std::function<RunResult()>& engine) {
    services().setBusy(true);
    if (!globals::appFolder.isEmpty())
        drives_.makeCurrent(globals::appFolder);
    globals::opMode = key;
    const RunResult failure = engine();
    drives_.makeCurrent(destDir_);
    if (failure) {
        services().setBusy(false);
        theMessage_ = QString::fromStdString(failure->message);
        // A name that cannot take the output: the step that names it stays, for
        // another name.
        if (failure->nameRefused && key != QLatin1String("add"))
            return stopAt(Text1, theMessage_);
        services().messageBox(theMessage_);
    }
    showCompletion(!failure);
}

void Form3::showCompletion(bool announce) {
    // An engine that failed has shown its own message; telling the user that
    // the output should be in the folder would be wrong then.
    if (announce) {
        const QString tail = globals::opMode == QLatin1String("cut")
                                 ? QStringLiteral(".  You might have to refresh the folder (hit "
                                                  "F5) to see the files.")
                                 : QStringLiteral(".  You might have to refresh the folder (hit "
                                                  "F5) to see the file.");
        QString head;
        if (globals::opMode == QLatin1String("cut"))
            head = QStringLiteral("The file sections should appear in this folder: ");
        else if (globals::opMode == QLatin1String("paste"))
            head = QStringLiteral("The assembled file should appear in this folder: ");
        else if (globals::opMode == QLatin1String("add"))
            head = QStringLiteral("The processed file should appear in this folder: ");
        if (!head.isEmpty())
            services().messageBox(head + destDir_ + tail);
    }
    Label2->hide();
    ProgressBar1->hide();
    hide();
}

void Form3::Command2_Click() {
    if (running_)
        return;
    globals::fileCount = 0;
    globals::moveMode.clear();
    setCaption(QString());
    hide();
}

void Form3::keyPressEvent(QKeyEvent* event) {
    // Enter runs the OK action from the name and count boxes only (they take it
    // themselves), and clicks a button that has the focus; in the lists it
    // must not reach the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form3::reject() {
    // Escape and the window's close control count as Cancel.
    Command2_Click();
}

void Form3::checkDir(const QString& theDir, const QString& theFile) {
    fullPath_ =
        theDir.endsWith(QLatin1Char('/')) ? theDir + theFile : theDir + QLatin1Char('/') + theFile;
}

void Form3::checkForFile(const QString& itIs) {
    globals::fileDate = QDateTime();
    const QFileInfo info(itIs);
    if (info.exists() && !info.isDir())
        globals::fileDate = info.lastModified();
    else
        services().setBusy(false);
}

void Form3::checkDestiny(const QString& itIs) {
    globals::fileDate = QDateTime();
    checkForFile(itIs);
    if (caption() == caption::kAppendTo)
        return;
    if (!globals::fileDate.isNull()) {
        const int answer = services().messageBox(
            itIs + kOverwriteTail, MsgStyle::YesNo + MsgStyle::Question + MsgStyle::DefaultButton2,
            QString::fromLatin1(msg::kChoiceTitle));
        globals::theAnswer = answer == MsgAnswer::Yes ? QStringLiteral("Y") : QStringLiteral("N");
    }
}

void Form3::getAnswer() {
    destDir_ = withSlash(Dir1->path());
    globals::theAnswer = QStringLiteral("Y");
    services().pumpEvents();
    destPath_ = destDir_ + Text1->text();
    checkDestiny(destPath_);
}

void Form3::getFiles() {
    std::vector<std::string> names;
    for (int i = 0; i < File2->listCount(); ++i) {
        if (File2->selected(i))
            names.push_back(native(File2->list(i)));
    }
    // Asked once two or more files are chosen: the list shows part1, part10,
    // part2, ..., and only the user knows whether that is the order meant.
    const bool reorder =
        names.size() >= 2 &&
        services().messageBox(QString::fromLatin1(msg::kReorderQuestion),
                              MsgStyle::YesNo + MsgStyle::Question,
                              QString::fromLatin1(msg::kChoiceTitle)) == MsgAnswer::Yes;
    globals::fileList = orderSelection(native(srcDir_), names, reorder);
    globals::fileCount = static_cast<int>(names.size());
}

} // namespace shardix
