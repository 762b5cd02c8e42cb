#include "dialog/StepActions.h"

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

void StepActions::take(OperationStep& step) {
    step_ = &step;
    step.ok(*this);
}

QString StepActions::name() const {
    return parts_.controls.nameBox->text();
}

QString StepActions::folder() const {
    return parts_.controls.folderList->path();
}

QString StepActions::countText() const {
    return parts_.controls.countBox->displayText();
}

bool StepActions::checksumsWanted() const {
    return parts_.controls.checksumBox->isChecked();
}

void StepActions::stopAt(Mend control, const QString& message) {
    const DialogControls& c = parts_.controls;
    QWidget* const mended = control == Mend::Files   ? static_cast<QWidget*>(c.multiFileList)
                            : control == Mend::Count ? c.countBox
                                                     : c.nameBox;
    parts_.progress.showMessage(message);
    mended->setFocus();
    // The box's whole text, ready to be typed over, however OK was pressed: when
    // the message box closes, the focus may come back to the window only after
    // this, and focus that comes back with the window selects nothing.
    if (auto* box = qobject_cast<NameBox*>(mended))
        box->selectAll();
}

bool StepActions::requireFile(const QString& path) {
    if (isFile(path))
        return true;
    stopAt(Mend::Name, kNoSuchName);
    return false;
}

QString StepActions::namedFile(const QString& whenEmpty) {
    if (name().isEmpty()) {
        stopAt(Mend::Name, whenEmpty);
        return {};
    }
    const QString path = withSlash(folder()) + name();
    return requireFile(path) ? path : QString();
}

bool StepActions::refused(const Result<>& check) {
    if (check.ok())
        return false;
    stopAt(Mend::Name, QString::fromStdString(check.error().message));
    return true;
}

OutputName StepActions::nameOutput() {
    OutputName output{withSlash(folder()), {}};
    parts_.ui.pumpEvents();
    output.path = output.folder + name();
    return output;
}

bool StepActions::mayWrite(const QString& path) {
    if (!isFile(path))
        return true;
    return parts_.ui.messageBox(shownPath(path) + kOverwriteTail,
                                kQuestion | MessageDefault::Second,
                                kChoiceTitle) == MessageAnswer::Yes;
}

const std::vector<std::string>& StepActions::pickFiles() {
    const std::string sourceFolder = nativePath(withSlash(folder()));
    std::vector<std::string> names;
    for (const QString& picked : parts_.controls.multiFileList->selectedNames())
        names.push_back(nativePath(picked));
    // Asked once two or more files are chosen. The list shows the pieces of one
    // base name in number order (part1, part2, ..., part10), so either answer
    // joins them in that order: what is joined is what the list shows, unless
    // Yes puts shorter names of other files first.
    const bool reorder =
        names.size() >= 2 &&
        parts_.ui.messageBox(kReorderQuestion, kQuestion, kChoiceTitle) == MessageAnswer::Yes;
    selection_ = orderSelection(sourceFolder, names, reorder);
    return selection_;
}

void StepActions::hide() {
    parts_.dialog.hide();
}

void StepActions::accept() {
    result_ = StepResult::Accepted;
    // The next step starts where this one was taken: the folder shown becomes
    // its drive's current folder. One that cannot be entered any more is left
    // to the next step to report.
    try {
        parts_.drives.makeCurrent(folder());
    } catch (const Failed&) {
    }
    hide();
}

void StepActions::run(const QString& outputFolder,
                      const std::function<Result<>(RunProgress&)>& engine) {
    // What the run adds to its completion message is for this run only.
    const auto told = qScopeGuard([this] { afterCompletion_.clear(); });
    parts_.progress.setBusy(true);
    // The program's folder is current while the engine runs, but never where
    // the lists go back to: that is the user's folder, or the last output's.
    if (!parts_.programFolder.isEmpty())
        DriveTable::enter(parts_.programFolder);
    parts_.progress.startRun();
    engineRunning_ = true;
    Result<> outcome;
    {
        const auto over = qScopeGuard([this] { engineRunning_ = false; });
        outcome = engine(parts_.progress);
    }
    parts_.drives.makeCurrent(outputFolder);
    afterRun(outcome, outputFolder);
}

void StepActions::afterRun(const Result<>& outcome, const QString& outputFolder) {
    if (!outcome.ok()) {
        const Error& error = outcome.error();
        const QString message = QString::fromStdString(error.message);
        if (error.stopped()) {
            const std::string account =
                stoppedAccount(parts_.progress.written(), completesAfterStop_);
            return returnAfterStop(account.empty() ? message : QString::fromStdString(account));
        }
        const bool wroteNothing = parts_.progress.written().empty();
        // Refused before anything was written: the step stays as it was, with
        // its lists, its selection and its texts, for the user to mend.
        if ((error.kind == ErrorKind::Refused && wroteNothing) ||
            error.kind == ErrorKind::NameRefused)
            return stayAfterRefusal(error);
        // Bytes found wrong once they were written are an error of their own
        // kind; other failures are told in a plain box, as the engines' are.
        const bool foundWrong = error.kind == ErrorKind::Mismatch ||
                                (error.kind == ErrorKind::Refused && !wroteNothing);
        parts_.progress.showFailure(message,
                                    foundWrong ? MessageIcon::Critical : MessageIcon::None);
    }
    finishRun(outcome.ok(), outputFolder);
}

void StepActions::stayAfterRefusal(const Error& error) {
    parts_.progress.setBusy(false);
    parts_.progress.setProgressVisible(false);
    const bool picksFiles = step_ && step_->controls().pick == FilePick::Several;
    stopAt(picksFiles && error.kind != ErrorKind::NameRefused ? Mend::Files : Mend::Name,
           QString::fromStdString(error.message));
}

void StepActions::runJoin(
    const QString& outputFolder, const std::string& target,
    const std::function<Result<>(RunProgress&, const Checksums* expected)>& engine) {
    // A join stopped midway leaves its output short; appending the same files
    // to it takes up where it stopped.
    completesAfterStop_ = "Append to File... can complete it from the same files.";
    const auto over = qScopeGuard([this] { completesAfterStop_.clear(); });
    run(outputFolder, [&](RunProgress& progress) -> Result<> {
        // The one planner of the engines decides the list and its checks.
        ListedJoin join;
        join.target = target;
        join.inputs = selection_;
        const Result<ListedPlan> plan = planListed(std::move(join));
        if (!plan.ok())
            return plan.error();
        Result<> joined = engine(progress, plan->checks());
        if (joined.ok() && plan->checks())
            addToCompletion(QStringLiteral("The bytes joined match the checksums in %1.")
                                .arg(shownQuoted(plan->manifestPath)));
        return joined;
    });
}

void StepActions::finishRun(bool announce, const QString& outputFolder) {
    // A failed run has shown its own message; telling the user that the output
    // should be in the folder would be wrong then.
    if (announce && step_) {
        QString message = step_->completionMessage(outputFolder);
        for (const QString& sentence : afterCompletion_)
            message += QStringLiteral("  ") + sentence;
        parts_.progress.showMessage(message);
    }
    parts_.progress.hideProgress();
    hide();
}

void StepActions::returnAfterStop(const QString& message) {
    DialogControls& c = parts_.controls;
    parts_.progress.showFailure(message, MessageIcon::Warning);
    parts_.progress.setProgressVisible(false);
    // The file left shows in the list when it lies in the folder shown.
    if (step_ && step_->controls().pick == FilePick::Several) {
        c.multiFileList->setFocus();
        return;
    }
    c.fileList->refresh();
    c.nameBox->setFocus();
    c.nameBox->selectAll();
}

void StepActions::requestStop() {
    parts_.progress.requestStop();
}

} // namespace shardix
