#include "dialog/OperationDialog.h"

#include "dialog/DialogLayout.h"
#include "dialog/DriveList.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/NameBox.h"
#include "platform/ErrorReporter.h"
#include "platform/PathText.h"
#include "platform/Placement.h"
#include "platform/WindowServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>

namespace shardix {

namespace {

const QString kNoPathInName = QStringLiteral(
    "Do NOT include a file PATH in this box; enter/modify only a file NAME.  Select the path "
    "using the Directory List Box (to the left of this box).");
// Shown in the name box while a file is looked for.
const QString kAnyFile = QStringLiteral("*.*");

} // namespace

OperationDialog::OperationDialog(WindowServices& ui, QString programFolder, QWidget* parent,
                                 DriveTable drives)
    : QDialog(parent), ui_(ui), programFolder_(std::move(programFolder)),
      drives_(std::move(drives)), controls_(this, drives_),
      progress_(ui, controls_.progressBar, controls_.workingLabel, controls_.instruction),
      context_(*this, controls_, progress_, drives_, programFolder_) {
    setFixedSize(DialogLayout::kClientSize);
    offerNoMaximize(*this);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    controls_.layOut();
    controls_.addAccessKeys();
    connectLists();
    connectButtons();

    // The lists start in the folder the user works in, on its drive.
    const QString start = drives_.startFolder();
    {
        const QSignalBlocker quiet(controls_.driveList);
        controls_.driveList->setDrive(drives_.driveOf(start));
    }
    (void)(reported(ui_, controls_.folderList->setPath(start)) ||
           reported(ui_, controls_.fileList->setPath(start)) ||
           reported(ui_, controls_.multiFileList->setPath(start)));

    setCaption(QString());
    // Centred once; later showings keep the place.
    centreOnScreen(*this);
}

void OperationDialog::connectLists() {
    connect(controls_.driveList, &DriveList::driveChanged, this, &OperationDialog::driveChanged);
    connect(controls_.folderList, &FolderList::pathChanged, this, &OperationDialog::folderChanged);
    connect(controls_.folderList, &FolderList::gotFocus, this, &OperationDialog::goToDriveFolder);
    connect(controls_.folderList, &FolderList::moveFailed, this,
            [this](const Error& error) { reportError(ui_, error); });
    connect(controls_.fileList, &QListWidget::itemClicked, this, &OperationDialog::fileClicked);
    connect(controls_.fileList, &QListWidget::itemSelectionChanged, this, [this] {
        if (controls_.fileList->currentItem() && controls_.fileList->currentItem()->isSelected())
            fileClicked();
    });
    const auto chooseFile = [this] {
        fileClicked();
        ok();
    };
    connect(controls_.fileList, &QListWidget::itemDoubleClicked, this, chooseFile);
    connect(controls_.fileList, &FileList::entryChosen, this, chooseFile);
    connect(controls_.multiFileList, &QListWidget::itemClicked, this,
            &OperationDialog::multiFileClicked);
    connect(controls_.multiFileList, &QListWidget::itemSelectionChanged, this, [this] {
        if (controls_.multiFileList->currentItem())
            multiFileClicked();
    });
    const auto chooseFiles = [this] {
        controls_.nameBox->setText(controls_.multiFileList->fileName());
        ok();
    };
    connect(controls_.multiFileList, &QListWidget::itemDoubleClicked, this, chooseFiles);
    connect(controls_.multiFileList, &FileList::entryChosen, this, chooseFiles);
    // Folders made or removed by other programs show when the user comes back.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive && isVisible() && !running_)
                    refreshFolders();
            });
}

void OperationDialog::connectButtons() {
    for (NameBox* box : {controls_.nameBox, controls_.countBox}) {
        connect(box, &NameBox::gotFocus, box, &QLineEdit::selectAll);
        connect(box, &NameBox::enterPressed, this, &OperationDialog::ok);
    }
    connect(controls_.checksumBox, &QCheckBox::clicked, this, [this](bool checked) {
        if (writeChecksumChoice_)
            writeChecksumChoice_(checked);
    });
    connect(controls_.okButton, &QPushButton::clicked, this, &OperationDialog::ok);
    connect(controls_.cancelButton, &QPushButton::clicked, this, &OperationDialog::cancel);
}

void OperationDialog::walk(CommandSteps& command) {
    // The steps belong to the command: forgotten once it is over.
    const auto over = qScopeGuard([this] {
        command_ = nullptr;
        context_.showing(nullptr, shown_);
    });
    for (int step = 0; step < command.stepCount(); ++step) {
        prepare(command, step);
        const StepResult result = showModal();
        // The controls as the first steps want them, whatever became of the step.
        putControlsBack();
        if (result != StepResult::Accepted)
            return;
    }
}

void OperationDialog::prepare(CommandSteps& command, int step) {
    putControlsBack();
    const StepControls wanted = command.controls(step);
    showControls(wanted);
    command_ = &command;
    step_ = step;
    shown_ = wanted;
    context_.showing(&command, wanted);
    setCaption(command.caption(step));
    // A step may go on in the folder shown; the others start from the drive's
    // current folder.
    if (wanted.lists == ListStart::DriveFolder) {
        controls_.driveList->refresh();
        goToDriveFolder();
    }
}

void OperationDialog::chooseFile(const QString& filePath) {
    const QString folder = folderOf(filePath);
    if (reported(ui_, drives_.makeCurrent(folder)))
        return;
    const QSignalBlocker quiet(controls_.driveList);
    controls_.driveList->setDrive(drives_.driveOf(folder));
    chosen_ = filePath.mid(withSlash(folder).size());
}

void OperationDialog::pickChosen(const QString& name) {
    FileList* list = listInUse();
    const QList<QListWidgetItem*> found =
        list->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!found.isEmpty()) {
        list->setCurrentItem(found.front());
        list->scrollToItem(found.front());
    }
    controls_.nameBox->setText(name);
}

void OperationDialog::showControls(const StepControls& wanted) {
    // The folder list shows a folder it could enter: the list can enter it too.
    if (wanted.lists == ListStart::FolderShown)
        (void)controls_.listFor(wanted.pick)->setPath(controls_.folderList->path());
    if (wanted.pick == FilePick::Several)
        controls_.pickSeveralFiles(true);
    if (wanted.asksCount) {
        controls_.showCount(true);
        controls_.checksumBox->setChecked(readChecksumChoice_ && readChecksumChoice_());
    }
    if (wanted.emptiesName)
        controls_.nameBox->clear();
    if (wanted.hidesProgress)
        progress_.hideProgress();
}

void OperationDialog::putControlsBack() {
    controls_.pickSeveralFiles(false);
    controls_.showCount(false);
}

StepResult OperationDialog::showModal() {
    context_.resetResult();
    setModal(true);
    settleActivation();
    exec();
    return context_.result();
}

FileList* OperationDialog::listInUse() const {
    return controls_.listFor(shown_.pick);
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
        if (QFontMetrics(fitting).horizontalAdvance(text) <= controls_.instruction->width())
            break;
    }
    controls_.instruction->setFont(fitting);
    controls_.instruction->setText(text);
}

void OperationDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    controls_.instruction->setVisible(!controls_.progressBar->isVisibleTo(this));
    refreshFolders();
    onShown();
}

void OperationDialog::refreshFolders() {
    (void)reported(ui_, controls_.folderList->refresh());
}

void OperationDialog::onShown() {
    if (shown_.namesOutput)
        controls_.nameBox->setFocus();
    else
        listInUse()->refresh();
    // Chosen once the list is read as the step shows it.
    if (!chosen_.isEmpty())
        pickChosen(std::exchange(chosen_, QString()));
}

void OperationDialog::driveChanged() {
    (void)reported(
        ui_, controls_.folderList->setPath(drives_.currentFolder(controls_.driveList->drive())));
}

void OperationDialog::folderChanged() {
    // The folder list has just entered the folder: the list can enter it too.
    (void)listInUse()->setPath(controls_.folderList->path());
    // Where a file is looked for, the name starts anew.
    if (shown_.pick == FilePick::One && shown_.nameStartsAnewInEachFolder)
        controls_.nameBox->setText(kAnyFile);
}

void OperationDialog::goToDriveFolder() {
    (void)reported(
        ui_, controls_.folderList->setPath(drives_.currentFolder(controls_.driveList->drive())));
    (void)reported(ui_, listInUse()->setPath(controls_.folderList->path()));
}

void OperationDialog::fileClicked() {
    controls_.nameBox->setText(controls_.fileList->fileName());
}

void OperationDialog::multiFileClicked() {
    const QString name = controls_.multiFileList->fileName();
    controls_.nameBox->setText(name);
    controls_.multiFileList->setToolTip(name.size() > 22 ? name : QString());
}

void OperationDialog::ok() {
    // One run at a time: OK, Enter or a double-click that reaches the dialog
    // while the events of a run are pumped is ignored.
    if (running_)
        return;
    running_ = true;
    const auto done = qScopeGuard([this] { running_ = false; });
    const QString name = controls_.nameBox->text();
    if (name.contains(QLatin1Char('\\')) || name.contains(QLatin1Char('/')))
        return context_.stopAt(Entry::Name, kNoPathInName);
    try {
        if (command_)
            command_->ok(step_, context_);
        else
            hide();
        progress_.setBusy(false);
    } catch (const std::exception& e) {
        // Nothing the steps call throws on purpose; a shortage of memory is told.
        progress_.showFailure(QString::fromStdString(e.what()));
    }
}

void OperationDialog::cancel() {
    // Cancel, Escape or the close control while an engine runs stop the run;
    // during the checks before it, they are ignored.
    if (context_.engineRunning())
        return context_.requestStop();
    if (running_)
        return;
    context_.clearSelection();
    command_ = nullptr;
    context_.showing(nullptr, kNoStep);
    shown_ = kNoStep;
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

} // namespace shardix
