#include "dialog/DialogControls.h"

#include "dialog/DialogLayout.h"
#include "dialog/DriveList.h"
#include "dialog/FileList.h"
#include "dialog/FolderList.h"
#include "dialog/NameBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>

#include <functional>
#include <iterator>
#include <tuple>

namespace shardix {

namespace {

// Shown in the name box until a name is picked or typed.
const QString kAnyFile = QStringLiteral("*.*");
const QString kNameBoxTip = QStringLiteral("Do NOT enter a file PATH in this box, just a name.  "
                                           "Select a path using the Directory List Box (if "
                                           "necessary).");
// The choice, at the second step of Segment, of a checksum file beside the pieces.
const QString kChecksumChoice = QStringLiteral("&Write a checksum file");
const QString kChecksumChoiceTip =
    QStringLiteral("Also write BASE.sha256 beside the segments: the SHA-256 of each segment and of "
                   "the whole file, which sha256sum -c and shardix-cli verify check, and against "
                   "which Assemble and Append check the segments.");

} // namespace

DialogControls::DialogControls(QWidget* dialog, DriveTable& drives)
    : driveList(new DriveList(drives, dialog)), folderList(new FolderList(dialog)),
      fileList(new FileList(dialog)), multiFileList(new FileList(dialog)),
      nameBox(new NameBox(dialog)), countBox(new NameBox(dialog)),
      // Alt+S, the S of "Segments", goes to the count box.
      countLabel(new QLabel(QStringLiteral("# of &Segments:"), dialog)),
      checksumBox(new QCheckBox(kChecksumChoice, dialog)),
      okButton(new QPushButton(QStringLiteral("&OK"), dialog)),
      cancelButton(new QPushButton(QStringLiteral("&Cancel"), dialog)),
      progressBar(new QProgressBar(dialog)),
      workingLabel(new QLabel(QStringLiteral("Working:"), dialog)),
      instruction(new QLabel(dialog)) {}

void DialogControls::layOut() {
    using namespace DialogLayout;
    const std::tuple<QWidget*, const char*, QRect> controls[] = {
        {driveList, "driveList", kDriveList},
        {folderList, "folderList", kFolderList},
        {fileList, "fileList", kFileList},
        {checksumBox, "checksumBox", kChecksumBox},
        {multiFileList, "multiFileList", kMultiFileList},
        {nameBox, "nameBox", kNameBox},
        {countBox, "countBox", kCountBox},
        {okButton, "okButton", kOkButton},
        {cancelButton, "cancelButton", kCancelButton},
        {countLabel, "countLabel", kCountLabel},
        {progressBar, "progressBar", kProgressBar},
        {workingLabel, "workingLabel", kWorkingLabel},
        {instruction, "instruction", kInstruction}};
    for (const auto& [widget, name, place] : controls) {
        widget->setObjectName(QLatin1String(name));
        widget->setGeometry(place);
    }

    fileList->setSelectionMode(QAbstractItemView::SingleSelection);
    multiFileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    multiFileList->hide();
    multiFileList->raise();
    nameBox->setText(kAnyFile);
    nameBox->setToolTip(kNameBoxTip);
    countBox->setInputMask(QStringLiteral("999; "));
    checksumBox->setToolTip(kChecksumChoiceTip);
    countLabel->setBuddy(countBox);
    driveList->setToolTip(QStringLiteral("Drive (Alt+D)"));
    folderList->setToolTip(QStringLiteral("Folders (Alt+R)"));
    showCount(false);
    progressBar->hide();
    QFont bold = workingLabel->font();
    bold.setBold(true);
    workingLabel->setFont(bold);

    // The tab order is the order of the rows; a list that shows on the file
    // list's spot takes its turn.
    QWidget* const order[] = {driveList, folderList, fileList, multiFileList,
                              nameBox,   countBox,   okButton, cancelButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void DialogControls::addAccessKeys() {
    QWidget* const dialog = driveList->parentWidget();
    const auto key = [dialog](QKeyCombination keys, std::function<QWidget*()> target) {
        auto* shortcut = new QShortcut(QKeySequence(keys), dialog);
        QObject::connect(shortcut, &QShortcut::activated, dialog, [target] {
            QWidget* control = target();
            if (control->isVisible() && control->isEnabled())
                control->setFocus(Qt::ShortcutFocusReason);
        });
    };
    key(Qt::ALT | Qt::Key_D, [this] { return driveList; });
    key(Qt::ALT | Qt::Key_R, [this] { return folderList; });
    key(Qt::ALT | Qt::Key_L,
        [this] { return multiFileList->isVisible() ? multiFileList : fileList; });
    key(Qt::ALT | Qt::Key_N, [this] { return nameBox; });
}

void DialogControls::pickSeveralFiles(bool several) {
    fileList->setVisible(!several);
    multiFileList->setVisible(several);
    // The name box lies under the list: hidden too, so that no edge of it shows.
    nameBox->setVisible(!several);
    nameBox->setFocusPolicy(several ? Qt::ClickFocus : Qt::StrongFocus);
}

void DialogControls::showCount(bool shown) {
    countLabel->setVisible(shown);
    countBox->setVisible(shown);
    checksumBox->setVisible(shown);
    fileList->setGeometry(
        shown ? DialogLayout::kFileList.adjusted(0, 0, 0, -DialogLayout::kChecksumRoom)
              : DialogLayout::kFileList);
}

FileList* DialogControls::listFor(FilePick pick) const {
    return pick == FilePick::Several ? multiFileList : fileList;
}

} // namespace shardix
