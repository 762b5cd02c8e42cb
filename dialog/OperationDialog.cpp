#include "dialog/OperationDialog.h"

#include "dialog/DriveList.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/NameBox.h"
#include "engines/io/Copy.h"
#include "engines/io/FileIo.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/names/Count.h"
#include "engines/names/Selection.h"
#include "engines/operations/Appender.h"
#include "engines/operations/Assembler.h"
#include "engines/operations/Segmenter.h"
#include "platform/ErrorReporter.h"
#include "platform/PathText.h"
#include "platform/Placement.h"
#include "platform/Twips.h"
#include "platform/WindowServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>

namespace shardix {

namespace {

// The dialog's messages, each shown with the focus put where it is mended.
const QString kNoPathInName = QStringLiteral(
    "Do NOT include a file PATH in this box; enter/modify only a file NAME.  Select the path "
    "using the Directory List Box (to the left of this box).");
const QString kPickFileToSegment = QStringLiteral("Please select/enter a file to segment.");
const QString kNoSuchName = QStringLiteral("There is no file with the name you entered.");
const QString kCountAboveOne = QStringLiteral("The number of file segments must be greater than "
                                              "one.  Please enter a number greater than one.");
const QString kPickFilesToAssemble = QStringLiteral("Please select fileS to assemble.");
const QString kNameTheAssembled =
    QStringLiteral("Please enter/select a name for the assembled file.");
const QString kNameFileToAppendTo =
    QStringLiteral("Please select/enter a name of a file to append to.");
const QString kPickFilesToAppendFrom = QStringLiteral("Please select file(s) to append from.");
const QString kReorderQuestion =
    QStringLiteral("If the order in which the segments were created was changed by the file "
                   "system, they should be SORTED.  Should Shardix! RE-ORDER the selected files?");
const QString kOverwriteTail = QStringLiteral(" already exists.  Shall we overwrite it?");
const QString kNameBoxTip = QStringLiteral("Do NOT enter a file PATH in this box, just a name.  "
                                           "Select a path using the Directory List Box (if "
                                           "necessary).");
// The choice, at the second step of Segment, of a checksum file beside the segments.
const QString kChecksumChoice = QStringLiteral("Write a checksum file");
const QString kChecksumChoiceTip =
    QStringLiteral("Also write BASE.sha256 beside the segments: the SHA-256 of each segment and of "
                   "the whole file, which sha256sum -c and shardix-cli verify check, and against "
                   "which Assemble and Append check the segments.");
// Where the file list lies, and the room it gives the checksum choice below it.
const QRect kFileListPlace = twipsRect(3240, 240, 2175, 2184);
const QRect kChecksumBoxPlace = twipsRect(3240, 2355, 2175, 285);
const int kChecksumRoom = twips(330);
// Shown in the name box while a file to append to is looked for.
const QString kAnyFile = QStringLiteral("*.*");

// File names as the operating system takes them.
std::string native(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The date of the file `path`; nothing when there is no such file (or a folder).
std::optional<QDateTime> fileDate(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return info.lastModified();
    return std::nullopt;
}

// The message that ends a run of the step `step` whose output went to `folder`.
QString completionMessage(Step step, const QString& folder) {
    const QString tail = QStringLiteral(".  You might have to refresh the folder (hit F5) to see ");
    switch (step) {
    case Step::SegmentBase:
        return QStringLiteral("The file sections should appear in this folder: ") + folder + tail +
               QStringLiteral("the files.");
    case Step::AssembleName:
        return QStringLiteral("The assembled file should appear in this folder: ") + folder + tail +
               QStringLiteral("the file.");
    case Step::AppendFrom:
        return QStringLiteral("The processed file should appear in this folder: ") + folder + tail +
               QStringLiteral("the file.");
    default:
        return {};
    }
}

} // namespace

OperationDialog::OperationDialog(WindowServices& ui, QString programFolder, QWidget* parent,
                                 DriveTable drives)
    : QDialog(parent), ui_(ui), programFolder_(std::move(programFolder)),
      drives_(std::move(drives)), driveList_(new DriveList(drives_, this)),
      folderList_(new FolderList(this)), fileList_(new FileList(this)),
      multiFileList_(new FileList(this)), nameBox_(new NameBox(this)), countBox_(new NameBox(this)),
      countLabel_(new QLabel(QStringLiteral("# of Segments:"), this)),
      checksumBox_(new QCheckBox(kChecksumChoice, this)),
      okButton_(new QPushButton(QStringLiteral("&OK"), this)),
      cancelButton_(new QPushButton(QStringLiteral("&Cancel"), this)),
      progressBar_(new QProgressBar(this)),
      workingLabel_(new QLabel(QStringLiteral("Working:"), this)), instruction_(new QLabel(this)),
      progress_(ui, progressBar_, workingLabel_, instruction_) {
    setFixedSize(twips(5652), twips(4248));
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    buildControls();
    connectControls();

    // The lists start in the folder the user works in, on its drive.
    const QString start = drives_.startFolder();
    {
        const QSignalBlocker quiet(driveList_);
        driveList_->setDrive(drives_.driveOf(start));
    }
    reportingFailures(ui_, [&] {
        folderList_->setPath(start);
        fileList_->setPath(start);
        multiFileList_->setPath(start);
    });

    engines_.segment = [](const std::string& source, const std::string& basePath, int count,
                          RunProgress& progress, const SegmentOptions& options) {
        return segmentFile(source, basePath, count, progress, options);
    };
    engines_.assemble = [](const std::vector<std::string>& list, const std::string& target,
                           RunProgress& progress, const Checksums* expected) {
        return assembleFiles(list, target, progress, {kCopyChunk, expected});
    };
    engines_.append = [](const std::vector<std::string>& sources, const std::string& target,
                         RunProgress& progress, const Checksums* expected) {
        return appendFile(sources, target, progress, {kCopyChunk, expected});
    };

    setCaption(QString());
    // Centred once; later showings keep the place.
    centreOnScreen(*this);
}

void OperationDialog::buildControls() {
    const std::pair<QWidget*, const char*> names[] = {
        {driveList_, "driveList"},     {folderList_, "folderList"},
        {fileList_, "fileList"},       {multiFileList_, "multiFileList"},
        {nameBox_, "nameBox"},         {countBox_, "countBox"},
        {countLabel_, "countLabel"},   {checksumBox_, "checksumBox"},
        {okButton_, "okButton"},       {cancelButton_, "cancelButton"},
        {progressBar_, "progressBar"}, {workingLabel_, "workingLabel"},
        {instruction_, "instruction"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    driveList_->setGeometry(twipsRect(240, 240, 2775, 315));
    folderList_->setGeometry(twipsRect(240, 720, 2775, 2340));
    fileList_->setGeometry(kFileListPlace);
    checksumBox_->setGeometry(kChecksumBoxPlace);
    // As tall as the name box's row: it lies over the name box.
    multiFileList_->setGeometry(twipsRect(3240, 240, 2175, 3540));
    nameBox_->setGeometry(twipsRect(3240, 2685, 2175, 375));
    countBox_->setGeometry(twipsRect(4800, 3240, 615, 375));
    okButton_->setGeometry(twipsRect(240, 3240, 975, 375));
    cancelButton_->setGeometry(twipsRect(2040, 3240, 975, 375));
    countLabel_->setGeometry(twipsRect(3360, 3315, 1455, 255));
    progressBar_->setGeometry(twipsRect(1440, 3840, 3615, 255));
    workingLabel_->setGeometry(twipsRect(480, 3840, 975, 255));
    // The row of the progress bar, free while no run is under way.
    instruction_->setGeometry(twipsRect(240, 3840, 5172, 255));

    fileList_->setSelectionMode(QAbstractItemView::SingleSelection);
    multiFileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    multiFileList_->hide();
    multiFileList_->raise();
    nameBox_->setText(kAnyFile);
    nameBox_->setToolTip(kNameBoxTip);
    countBox_->setInputMask(QStringLiteral("999; "));
    checksumBox_->setToolTip(kChecksumChoiceTip);
    hideCount();
    progressBar_->hide();
    QFont bold = workingLabel_->font();
    bold.setBold(true);
    workingLabel_->setFont(bold);

    // The tab order is the order of the rows; a list that shows on the file
    // list's spot takes its turn.
    setTabOrder(driveList_, folderList_);
    setTabOrder(folderList_, fileList_);
    setTabOrder(fileList_, multiFileList_);
    setTabOrder(multiFileList_, nameBox_);
    setTabOrder(nameBox_, countBox_);
    setTabOrder(countBox_, okButton_);
    setTabOrder(okButton_, cancelButton_);
}

void OperationDialog::connectControls() {
    connect(driveList_, &DriveList::driveChanged, this, &OperationDialog::driveChanged);
    connect(folderList_, &FolderList::pathChanged, this, &OperationDialog::folderChanged);
    connect(folderList_, &FolderList::gotFocus, this, &OperationDialog::goToDriveFolder);
    connect(folderList_, &FolderList::moveFailed, this,
            [this](const Error& error) { reportError(ui_, error); });
    connect(fileList_, &QListWidget::itemClicked, this, &OperationDialog::fileClicked);
    connect(fileList_, &QListWidget::itemSelectionChanged, this, [this] {
        if (fileList_->currentItem() && fileList_->currentItem()->isSelected())
            fileClicked();
    });
    const auto chooseFile = [this] {
        fileClicked();
        ok();
    };
    connect(fileList_, &QListWidget::itemDoubleClicked, this, chooseFile);
    connect(fileList_, &FileList::entryChosen, this, chooseFile);
    connect(multiFileList_, &QListWidget::itemClicked, this, &OperationDialog::multiFileClicked);
    connect(multiFileList_, &QListWidget::itemSelectionChanged, this, [this] {
        if (multiFileList_->currentItem())
            multiFileClicked();
    });
    const auto chooseFiles = [this] {
        nameBox_->setText(multiFileList_->fileName());
        ok();
    };
    connect(multiFileList_, &QListWidget::itemDoubleClicked, this, chooseFiles);
    connect(multiFileList_, &FileList::entryChosen, this, chooseFiles);
    for (NameBox* box : {nameBox_, countBox_}) {
        connect(box, &NameBox::gotFocus, box, &QLineEdit::selectAll);
        connect(box, &NameBox::enterPressed, this, &OperationDialog::ok);
    }
    connect(checksumBox_, &QCheckBox::clicked, this, [this](bool checked) {
        if (writeChecksumChoice_)
            writeChecksumChoice_(checked);
    });
    connect(okButton_, &QPushButton::clicked, this, &OperationDialog::ok);
    connect(cancelButton_, &QPushButton::clicked, this, &OperationDialog::cancel);
    // Folders made or removed by other programs show when the user comes back.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive && isVisible() && !running_)
                    refreshFolders();
            });
}

void OperationDialog::prepare(Step step) {
    pickSeveralFiles(false);
    hideCount();
    switch (step) {
    case Step::SegmentFile:
    case Step::AppendTo:
        nameBox_->clear();
        progress_.hideProgress();
        break;
    case Step::SegmentBase:
        countLabel_->show();
        countBox_->show();
        // The file list makes room for the choice of a checksum file.
        fileList_->setGeometry(kFileListPlace.adjusted(0, 0, 0, -kChecksumRoom));
        checksumBox_->setChecked(readChecksumChoice_ && readChecksumChoice_());
        checksumBox_->show();
        break;
    case Step::AssembleFiles:
        multiFileList_->setPath(folderList_->path());
        pickSeveralFiles(true);
        progress_.hideProgress();
        break;
    case Step::AssembleName:
        fileList_->setPath(folderList_->path());
        nameBox_->clear();
        break;
    case Step::AppendFrom:
        pickSeveralFiles(true);
        break;
    }
    step_ = step;
    setCaption(captionOf(step));
    // Assembling goes on in the folder shown; the others start from the drive's
    // current folder.
    if (step != Step::AssembleFiles && step != Step::AssembleName) {
        driveList_->refresh();
        goToDriveFolder();
    }
}

StepResult OperationDialog::showStep(Step step) {
    prepare(step);
    // The controls as the first steps want them, whatever becomes of the step.
    const auto putBack = qScopeGuard([this] {
        pickSeveralFiles(false);
        hideCount();
    });
    return showModal();
}

StepResult OperationDialog::showModal() {
    result_ = StepResult::Cancelled;
    setModal(true);
    settleActivation();
    exec();
    return result_;
}

void OperationDialog::pickSeveralFiles(bool several) {
    fileList_->setVisible(!several);
    multiFileList_->setVisible(several);
    // The name box lies under the list: hidden too, so that no edge of it shows.
    nameBox_->setVisible(!several);
    nameBox_->setFocusPolicy(several ? Qt::ClickFocus : Qt::StrongFocus);
}

void OperationDialog::hideCount() {
    countLabel_->hide();
    countBox_->hide();
    checksumBox_->hide();
    fileList_->setGeometry(kFileListPlace);
}

QWidget* OperationDialog::owner() const {
    QWidget* window = parentWidget() ? parentWidget()->window() : nullptr;
    return window && window->isVisible() ? window : nullptr;
}

void OperationDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    // The window system does not always hand the activation back to the main
    // window, which would then take no keys (its menus' access keys) until
    // clicked.
    if (QWidget* window = owner())
        window->activateWindow();
}

void OperationDialog::settleActivation() {
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

void OperationDialog::setCaption(const QString& text) {
    setWindowTitle(text);
    // The dialog's font, or a smaller one where the text would not fit.
    QFont fitting = font();
    for (qreal size = fitting.pointSizeF(); size >= 6.5; size -= 0.5) {
        fitting.setPointSizeF(size);
        if (QFontMetrics(fitting).horizontalAdvance(text) <= instruction_->width())
            break;
    }
    instruction_->setFont(fitting);
    instruction_->setText(text);
}

void OperationDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    instruction_->setVisible(!progressBar_->isVisibleTo(this));
    refreshFolders();
    onShown();
}

void OperationDialog::refreshFolders() {
    reportingFailures(ui_, [this] { folderList_->refresh(); });
}

void OperationDialog::onShown() {
    if (step_ == Step::SegmentBase || step_ == Step::AssembleName)
        nameBox_->setFocus();
    else if (step_ && picksSeveralFiles(*step_))
        multiFileList_->refresh();
    else
        fileList_->refresh();
}

void OperationDialog::driveChanged() {
    reportingFailures(ui_,
                      [this] { folderList_->setPath(drives_.currentFolder(driveList_->drive())); });
}

void OperationDialog::folderChanged() {
    if (step_ && picksSeveralFiles(*step_)) {
        multiFileList_->setPath(folderList_->path());
    } else {
        fileList_->setPath(folderList_->path());
        // Where the file to append to is looked for, the name starts anew.
        if (!step_ || step_ == Step::AppendTo)
            nameBox_->setText(kAnyFile);
    }
}

void OperationDialog::goToDriveFolder() {
    reportingFailures(ui_,
                      [this] { folderList_->setPath(drives_.currentFolder(driveList_->drive())); });
    reportingFailures(ui_, [this] {
        if (step_ && picksSeveralFiles(*step_))
            multiFileList_->setPath(folderList_->path());
        else
            fileList_->setPath(folderList_->path());
    });
}

void OperationDialog::fileClicked() {
    nameBox_->setText(fileList_->fileName());
}

void OperationDialog::multiFileClicked() {
    const QString name = multiFileList_->fileName();
    nameBox_->setText(name);
    multiFileList_->setToolTip(name.size() > 22 ? name : QString());
}

void OperationDialog::ok() {
    // One run at a time: OK, Enter or a double-click that reaches the dialog
    // while the events of a run are pumped is ignored.
    if (running_)
        return;
    running_ = true;
    const auto done = qScopeGuard([this] { running_ = false; });
    try {
        takeStep();
    } catch (const Failed& e) {
        reportFailure(e.error());
    } catch (const std::exception& e) {
        reportFailure(Error::of(ErrorKind::Internal, e.what()));
    }
}

void OperationDialog::reportFailure(const Error& error) {
    progress_.showFailure(QString::fromStdString(error.message));
}

void OperationDialog::takeStep() {
    const QString name = nameBox_->text();
    if (name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/')))
        return stopAt(nameBox_, kNoPathInName);

    if (!step_) {
        hide();
    } else {
        switch (*step_) {
        case Step::SegmentFile:
            acceptSegmentSource();
            break;
        case Step::SegmentBase:
            runSegment();
            break;
        case Step::AssembleFiles:
            acceptAssembleSources();
            break;
        case Step::AssembleName:
            runAssemble();
            break;
        case Step::AppendTo:
            acceptAppendTarget();
            break;
        case Step::AppendFrom:
            runAppend();
            break;
        }
    }
    progress_.setBusy(false);
}

void OperationDialog::stopAt(QWidget* control, const QString& message) {
    progress_.showMessage(message);
    control->setFocus();
    // The box's whole text, ready to be typed over, however OK was pressed: when
    // the message box closes, the focus may come back to the window only after
    // this, and focus that comes back with the window selects nothing.
    if (auto* box = qobject_cast<NameBox*>(control))
        box->selectAll();
}

QString OperationDialog::namedFile(const QString& whenEmpty) {
    if (nameBox_->text().isEmpty()) {
        stopAt(nameBox_, whenEmpty);
        return {};
    }
    const QString path = withSlash(folderList_->path()) + nameBox_->text();
    if (!fileDate(path)) {
        stopAt(nameBox_, kNoSuchName);
        return {};
    }
    return path;
}

void OperationDialog::acceptSegmentSource() {
    if (namedFile(kPickFileToSegment).isEmpty())
        return;
    srcDir_ = folderList_->path();
    srcName_ = nameBox_->text();
    result_ = StepResult::Accepted;
    hide();
}

void OperationDialog::runSegment() {
    // The count as the box shows it: one number, or none. A box that shows
    // "1 3" (a digit taken out of the middle) is refused, never read as 13.
    const std::optional<int> count = parseCount(countBox_->displayText().toStdString());
    if (!count || *count < 2)
        return stopAt(countBox_, kCountAboveOne);
    destDir_ = withSlash(folderList_->path());
    const QString source = withSlash(srcDir_) + srcName_;
    if (!fileDate(source))
        return stopAt(nameBox_, kNoSuchName);

    nameOutput();
    if (const Result<> refused = refusedOutput(native(destPath_ + QLatin1Char('1'))); !refused.ok())
        return stopAt(nameBox_, QString::fromStdString(refused.error().message));
    if (!mayWrite(destPath_ + QLatin1Char('1')))
        return;
    const std::string sourcePath = native(source);
    const std::string basePath = native(destPath_);
    SegmentOptions options;
    options.writeManifest = checksumBox_->isChecked();
    run([&] { return engines_.segment(sourcePath, basePath, *count, progress_, options); });
}

void OperationDialog::acceptAssembleSources() {
    srcDir_ = withSlash(folderList_->path());
    selection_ = pickedFiles();
    if (selection_.size() < 2)
        return stopAt(multiFileList_, kPickFilesToAssemble);
    result_ = StepResult::Accepted;
    hide();
}

void OperationDialog::runAssemble() {
    if (nameBox_->text().isEmpty())
        return stopAt(nameBox_, kNameTheAssembled);
    nameOutput();
    // A name that cannot take the output is refused before the user is asked
    // whether to replace the file.
    if (const Result<> refused = refusedTarget(selection_, native(destPath_)); !refused.ok())
        return stopAt(nameBox_, QString::fromStdString(refused.error().message));
    if (!mayWrite(destPath_))
        return;
    destDir_ = folderList_->path();
    const std::string target = native(destPath_);
    runJoin(target, [&](const Checksums* expected) {
        return engines_.assemble(selection_, target, progress_, expected);
    });
}

void OperationDialog::acceptAppendTarget() {
    const QString target = namedFile(kNameFileToAppendTo);
    if (target.isEmpty())
        return;
    // A pipe or a device would take the bytes away, or wait for a reader.
    if (const Result<> refused = refusedOutput(native(target)); !refused.ok())
        return stopAt(nameBox_, QString::fromStdString(refused.error().message));
    hide();
    nameOutput();
    // The file may have gone meanwhile: then there is nothing to append to.
    if (fileDate(destPath_))
        result_ = StepResult::Accepted;
}

void OperationDialog::runAppend() {
    srcDir_ = withSlash(folderList_->path());
    selection_ = pickedFiles();
    if (selection_.empty())
        return stopAt(multiFileList_, kPickFilesToAppendFrom);
    destDir_ = folderOf(destPath_);
    const std::string target = native(destPath_);
    runJoin(target, [&](const Checksums* expected) {
        return engines_.append(selection_, target, progress_, expected);
    });
}

void OperationDialog::run(const std::function<Result<>()>& engine) {
    progress_.setBusy(true);
    // The program's folder is current while the engine runs, but never where
    // the lists go back to: that is the user's folder, or the last output's.
    if (!programFolder_.isEmpty())
        DriveTable::enter(programFolder_);
    progress_.startRun();
    engineRunning_ = true;
    Result<> failure;
    {
        const auto over = qScopeGuard([this] { engineRunning_ = false; });
        failure = engine();
    }
    drives_.makeCurrent(destDir_);
    if (!failure.ok() && failure.error().stopped())
        return returnAfterStop(QString::fromStdString(failure.error().message));
    if (!failure.ok()) {
        const QString message = QString::fromStdString(failure.error().message);
        // A name that cannot take the output: the step that names it stays, for
        // another name.
        if (failure.error().nameRefused && step_ != Step::AppendFrom) {
            progress_.setBusy(false);
            return stopAt(nameBox_, message);
        }
        progress_.showFailure(message);
    }
    finishRun(failure.ok());
}

void OperationDialog::runJoin(const std::string& target,
                              const std::function<Result<>(const Checksums* expected)>& engine) {
    run([&]() -> Result<> {
        const Result<std::string> found = findManifest(selection_);
        if (!found.ok())
            return found.error();
        if (found.value().empty())
            return engine(nullptr);
        Checksums expected;
        if (Result<> refused = expectedForJoin(found.value(), selection_, target, expected);
            !refused.ok())
            return refused;
        return engine(&expected);
    });
}

void OperationDialog::finishRun(bool announce) {
    // A failed run has shown its own message; telling the user that the output
    // should be in the folder would be wrong then.
    if (announce && step_)
        progress_.showMessage(completionMessage(*step_, destDir_));
    progress_.hideProgress();
    hide();
}

void OperationDialog::returnAfterStop(const QString& message) {
    progress_.showFailure(message);
    progress_.setProgressVisible(false);
    // The file left shows in the list when it lies in the folder shown.
    if (step_ && picksSeveralFiles(*step_)) {
        multiFileList_->setFocus();
        return;
    }
    fileList_->refresh();
    nameBox_->setFocus();
    nameBox_->selectAll();
}

void OperationDialog::cancel() {
    // Cancel, Escape or the close control while an engine runs stop the run;
    // during the checks before it, they are ignored.
    if (engineRunning_)
        return progress_.requestStop();
    if (running_)
        return;
    selection_.clear();
    step_.reset();
    setCaption(QString());
    hide();
}

void OperationDialog::keyPressEvent(QKeyEvent* event) {
    // Enter runs the OK action from the name and count boxes only (they take it
    // themselves), and clicks a button that has the focus; in the lists it
    // must not reach the default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void OperationDialog::reject() {
    // Escape and the window's close control count as Cancel.
    cancel();
}

void OperationDialog::nameOutput() {
    destDir_ = withSlash(folderList_->path());
    ui_.pumpEvents();
    destPath_ = destDir_ + nameBox_->text();
}

bool OperationDialog::mayWrite(const QString& path) {
    if (!fileDate(path))
        return true;
    return ui_.messageBox(path + kOverwriteTail,
                          MessageStyle::YesNo + MessageStyle::Question +
                              MessageStyle::SecondIsDefault,
                          kChoiceTitle) == MessageAnswer::Yes;
}

std::vector<std::string> OperationDialog::pickedFiles() {
    std::vector<std::string> names;
    for (const QString& name : multiFileList_->selectedNames())
        names.push_back(native(name));
    // Asked once two or more files are chosen: the list shows part1, part10,
    // part2, ..., and only the user knows whether that is the order meant.
    const bool reorder =
        names.size() >= 2 &&
        ui_.messageBox(kReorderQuestion, MessageStyle::YesNo + MessageStyle::Question,
                       kChoiceTitle) == MessageAnswer::Yes;
    return orderSelection(native(srcDir_), names, reorder);
}

} // namespace shardix
