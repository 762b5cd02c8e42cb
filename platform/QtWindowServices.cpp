#include "platform/QtWindowServices.h"

#include "platform/AppIcon.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace shardix {

namespace {

QMessageBox::Icon iconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton buttonOf(MessageAnswer answer) {
    switch (answer) {
    case MessageAnswer::Cancel:
        return QMessageBox::Cancel;
    case MessageAnswer::Yes:
        return QMessageBox::Yes;
    case MessageAnswer::No:
        return QMessageBox::No;
    case MessageAnswer::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// The buttons of `choices` in the order the user reads them, Enter on the
// default one, Escape on the last (Cancel or No, never Yes).
void addButtons(QMessageBox& box, const MessageChoices& choices, MessageDefault byDefault) {
    for (std::size_t i = 0; i < choices.count; ++i)
        box.addButton(buttonOf(choices.answers[i]));
    box.setDefaultButton(buttonOf(choices.byDefault(byDefault)));
    box.setEscapeButton(box.button(buttonOf(choices.last())));
}

// The answer of the button that closed `box`; Escape's when none was clicked.
MessageAnswer answerOf(const QMessageBox& box, const MessageChoices& choices) {
    for (std::size_t i = 0; i < choices.count; ++i) {
        if (box.clickedButton() == box.button(buttonOf(choices.answers[i])))
            return choices.answers[i];
    }
    return choices.last();
}

} // namespace

MessageAnswer QtWindowServices::messageBox(const QString& text, MessageStyle style,
                                           const QString& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    if (icon_.isNull())
        icon_ = appIcon();
    box.setWindowIcon(icon_);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(iconOf(style.icon));
    const MessageChoices choices = choicesOf(style.buttons);
    addButtons(box, choices, style.byDefault);

    // The box must show a normal pointer even while a run shows the busy one.
    const bool wasBusy = busy_;
    if (wasBusy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (wasBusy)
        QApplication::restoreOverrideCursor();
    return answerOf(box, choices);
}

void QtWindowServices::setBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtWindowServices::pumpEvents() {
    QCoreApplication::processEvents();
}

QString QtWindowServices::getOpenFileName(const QString& title, const QString& folder) {
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder,
                                        QStringLiteral("All Files (*)"), nullptr,
                                        QFileDialog::ReadOnly | QFileDialog::DontUseNativeDialog);
}

bool QtWindowServices::openUrl(const QString& url) {
    return QDesktopServices::openUrl(QUrl(url));
}

} // namespace shardix
