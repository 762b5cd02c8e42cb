#include "dialog/StepActions.h"

#include "dialog/DialogControls.h"
#include "dialog/DialogProgress.h"
#include "dialog/DriveTable.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/NameBox.h"
#include "engines/manifest/ManifestMatch.h"
#include "engines/manifest/ManifestSearch.h"
#include "engines/names/Selection.h"
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
    // Asked once two or more files are chosen: the list shows part1, part10,
    // part2, ..., and only the user knows whether that is the order meant.
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
    hide();
}

void StepActions::run(const QString& outputFolder,
                      const std::function<Result<>(RunProgress&)>& engine) {
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
        const QString message = QString::fromStdString(outcome.error().message);
        if (outcome.error().stopped())
            return returnAfterStop(message);
        // A name that cannot take the output: the step that names it stays, for
        // another name.
        if (outcome.error().nameRefused && step_ && step_->controls().namesOutput) {
            parts_.progress.setBusy(false);
            return stopAt(Mend::Name, message);
        }
        parts_.progress.showFailure(message);
    }
    finishRun(outcome.ok(), outputFolder);
}

void StepActions::runJoin(
    const QString& outputFolder, const std::string& target,
    const std::function<Result<>(RunProgress&, const Checksums* expected)>& engine) {
    run(outputFolder, [&](RunProgress& progress) -> Result<> {
        const Result<std::string> found = findManifest(selection_);
        if (!found.ok())
            return found.error();
        if (found.value().empty())
            return engine(progress, nullptr);
        Checksums expected;
        if (Result<> refusal = expectedForJoin(found.value(), selection_, target, expected);
            !refusal.ok())
            return refusal;
        return engine(progress, &expected);
    });
}

void StepActions::finishRun(bool announce, const QString& outputFolder) {
    // A failed run has shown its own message; telling the user that the output
    // should be in the folder would be wrong then.
    if (announce && step_)
        parts_.progress.showMessage(step_->completionMessage(outputFolder));
    parts_.progress.hideProgress();
    hide();
}

void StepActions::returnAfterStop(const QString& message) {
    DialogControls& c = parts_.controls;
    parts_.progress.showFailure(message);
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
