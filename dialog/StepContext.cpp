#include "dialog/StepContext.h"

#include "dialog/DialogControls.h"
#include "dialog/DialogProgress.h"
#include "dialog/DriveTable.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/NameBox.h"
#include "engines/io/StopAccount.h"
#include "engines/manifest/JoinPlan.h"
#include "engines/names/Selection.h"
#include "errors/Quoted.h"
#include "platform/PathText.h"
#include "platform/WindowServices.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace shardix {

namespace {

const QString kNoSuchName = QStringLiteral("There is no file with the name you entered.");
const QString kReorderQuestion =
    QStringLiteral("If the order in which the segments were created was changed by the file "
                   "system, they should be SORTED.  Should Shardix! RE-ORDER the selected files?");
const QString kOverwriteTail = QStringLiteral(" already exists.  Shall we overwrite it?");

constexpr MessageStyle kQuestion = MessageButtons::YesNo | MessageIcon::Question;

} // namespace

QString shownQuoted(const std::string& path) {
    return QString::fromUtf8(shardix::quoted(path));
}

std::string nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool isFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

StepContext::StepContext(QDialog& dialog, DialogControls& controls, DialogProgress& progress,
                         DriveTable& drives, QString programFolder)
    : dialog_(dialog), controls_(controls), progress_(progress), drives_(drives),
      programFolder_(std::move(programFolder)) {}

void StepContext::showing(const CommandSteps* command, const StepControls& controls) {
    command_ = command;
    shown_ = controls;
}

QString StepContext::name() const {
    return controls_.nameBox->text();
}

QString StepContext::folder() const {
    return controls_.folderList->path();
}

QString StepContext::countText() const {
    return controls_.countBox->displayText();
}

bool StepContext::checksumsWanted() const {
    return controls_.checksumBox->isChecked();
}

void StepContext::stopAt(Entry control, const QString& message) {
    const DialogControls& c = controls_;
    QWidget* const mended = control == Entry::Files   ? static_cast<QWidget*>(c.multiFileList)
                            : control == Entry::Count ? c.countBox
                                                      : c.nameBox;
    progress_.showMessage(message);
    mended->setFocus();
    // The box's whole text, ready to be typed over, however OK was pressed: when
    // the message box closes, the focus may come back to the window only after
    // this, and focus that comes back with the window selects nothing.
    if (auto* box = qobject_cast<NameBox*>(mended))
        box->selectAll();
}

bool StepContext::requireFile(const QString& path) {
    if (isFile(path))
        return true;
    stopAt(Entry::Name, kNoSuchName);
    return false;
}

QString StepContext::namedFile(const QString& whenEmpty) {
    if (name().isEmpty()) {
        stopAt(Entry::Name, whenEmpty);
        return {};
    }
    const QString path = withSlash(folder()) + name();
    return requireFile(path) ? path : QString();
}

bool StepContext::refused(const Result<>& check) {
    if (check.ok())
        return false;
    stopAt(Entry::Name, QString::fromStdString(check.error().message));
    return true;
}

OutputName StepContext::nameOutput() {
    OutputName output{withSlash(folder()), {}};
    progress_.ui().pumpEvents();
    output.path = output.folder + name();
    return output;
}

bool StepContext::mayWrite(const QString& path) {
    if (!isFile(path))
        return true;
    return progress_.ui().messageBox(shownPath(path) + kOverwriteTail,
                                     kQuestion | MessageDefault::Second,
                                     kChoiceTitle) == MessageAnswer::Yes;
}

const std::vector<std::string>& StepContext::pickFiles() {
    const std::string sourceFolder = nativePath(withSlash(folder()));
    std::vector<std::string> names;
    for (const QString& picked : controls_.multiFileList->selectedNames())
        names.push_back(nativePath(picked));
    // Asked once two or more files are chosen. The list shows the pieces of one
    // base name in number order (part1, part2, ..., part10), so either answer
    // joins them in that order: what is joined is what the list shows, unless
    // Yes puts shorter names of other files first.
    const bool reorder =
        names.size() >= 2 &&
        progress_.ui().messageBox(kReorderQuestion, kQuestion, kChoiceTitle) == MessageAnswer::Yes;
    selection_ = orderSelection(sourceFolder, names, reorder);
    return selection_;
}

void StepContext::hide() {
    dialog_.hide();
}

void StepContext::accept() {
    result_ = StepResult::Accepted;
    // The next step starts where this one was taken: the folder shown becomes
    // its drive's current folder. One that cannot be entered any more is left
    // to the next step to report.
    (void)drives_.makeCurrent(folder());
    hide();
}

bool StepContext::startRun() {
    progress_.setBusy(true);
    // The program's folder is current while the engine runs, but never where
    // the lists go back to: that is the user's folder, or the last output's.
    if (!programFolder_.isEmpty()) {
        const Result<> entered = DriveTable::enter(programFolder_);
        if (!entered.ok()) {
            afterCompletion_.clear();
            progress_.showFailure(QString::fromStdString(entered.error().message));
            return false;
        }
    }
    progress_.startRun();
    engineRunning_ = true;
    return true;
}

RunProgress& StepContext::progress() {
    return progress_;
}

void StepContext::endRun(const Result<>& outcome, const QString& outputFolder) {
    engineRunning_ = false;
    // What the run adds to its completion message, and how its output could be
    // completed, are for this run only.
    const auto told = qScopeGuard([this] {
        afterCompletion_.clear();
        completesAfterStop_.clear();
    });
    const Result<> entered = drives_.makeCurrent(outputFolder);
    if (!entered.ok())
        return progress_.showFailure(QString::fromStdString(entered.error().message));
    tellOutcome(outcome, outputFolder);
}

Result<ListedPlan> StepContext::beginJoin(const std::string& target) {
    // A join stopped midway leaves its output short; appending the same files
    // to it takes up where it stopped.
    completesAfterStop_ = "Append to File... can complete it from the same files.";
    // The one planner of the engines decides the list and its checks.
    ListedJoin join;
    join.target = target;
    join.inputs = selection_;
    return planListed(std::move(join));
}

void StepContext::endJoin(const Result<>& joined, const Result<ListedPlan>& plan,
                          const QString& outputFolder) {
    if (joined.ok() && plan.ok() && !plan->manifestPath.empty())
        addToCompletion(QStringLiteral("The bytes joined match the checksums in %1.")
                            .arg(shownQuoted(plan->manifestPath)));
    endRun(joined, outputFolder);
}

void StepContext::tellOutcome(const Result<>& outcome, const QString& outputFolder) {
    if (!outcome.ok()) {
        const Error& error = outcome.error();
        const QString message = QString::fromStdString(error.message);
        if (error.stopped()) {
            const std::string account = stoppedAccount(progress_.written(), completesAfterStop_);
            return returnAfterStop(account.empty() ? message : QString::fromStdString(account));
        }
        const bool wroteNothing = progress_.written().empty();
        // Refused before anything was written: the step stays as it was, with
        // its lists, its selection and its texts, for the user to mend.
        if ((error.kind == ErrorKind::Refused && wroteNothing) ||
            error.kind == ErrorKind::NameRefused)
            return stayAfterRefusal(error);
        // Bytes found wrong once they were written are an error of their own
        // kind; other failures are told in a plain box, as the engines' are.
        const bool foundWrong = error.kind == ErrorKind::Mismatch ||
                                (error.kind == ErrorKind::Refused && !wroteNothing);
        progress_.showFailure(message, foundWrong ? MessageIcon::Critical : MessageIcon::None);
    }
    finishRun(outcome.ok(), outputFolder);
}

void StepContext::stayAfterRefusal(const Error& error) {
    progress_.setBusy(false);
    progress_.setProgressVisible(false);
    const bool picksFiles = shown_.pick == FilePick::Several;
    stopAt(picksFiles && error.kind != ErrorKind::NameRefused ? Entry::Files : Entry::Name,
           QString::fromStdString(error.message));
}

void StepContext::finishRun(bool announce, const QString& outputFolder) {
    // A failed run has shown its own message; telling the user that the output
    // should be in the folder would be wrong then.
    if (announce && command_) {
        QString message = command_->completionMessage(outputFolder);
        for (const QString& sentence : afterCompletion_)
            message += QStringLiteral("  ") + sentence;
        progress_.showMessage(message);
    }
    progress_.hideProgress();
    hide();
}

void StepContext::returnAfterStop(const QString& message) {
    progress_.showFailure(message, MessageIcon::Warning);
    progress_.setProgressVisible(false);
    // The file left shows in the list when it lies in the folder shown.
    if (shown_.pick == FilePick::Several) {
        controls_.multiFileList->setFocus();
        return;
    }
    controls_.fileList->refresh();
    controls_.nameBox->setFocus();
    controls_.nameBox->selectAll();
}

void StepContext::requestStop() {
    progress_.requestStop();
}

} // namespace shardix
