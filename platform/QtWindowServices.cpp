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

// The parts of a style: which buttons, which icon, which button is the default.
constexpr int kButtons = 0x7;
constexpr int kIcons = 0x70;
constexpr int kDefaults = 0x300;

} // namespace

int QtWindowServices::messageBox(const QString& text, int style, const QString& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    if (icon_.isNull())
        icon_ = appIcon();
    box.setWindowIcon(icon_);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);

    switch (style & kIcons) {
    case MessageStyle::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MessageStyle::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MessageStyle::Information:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }

    // Buttons in the order the user reads them, each with its answer code.
    struct Choice {
        QMessageBox::StandardButton button;
        int answer;
    };
    QList<Choice> choices;
    switch (style & kButtons) {
    case MessageStyle::OkCancel:
        choices = {{QMessageBox::Ok, MessageAnswer::Ok},
                   {QMessageBox::Cancel, MessageAnswer::Cancel}};
        break;
    case MessageStyle::YesNo:
        choices = {{QMessageBox::Yes, MessageAnswer::Yes}, {QMessageBox::No, MessageAnswer::No}};
        break;
    default:
        choices = {{QMessageBox::Ok, MessageAnswer::Ok}};
        break;
    }
    for (const Choice& c : choices)
        box.addButton(c.button);
    const bool secondIsDefault = (style & kDefaults) == MessageStyle::SecondIsDefault;
    const int defaultIndex = secondIsDefault && choices.size() > 1 ? 1 : 0;
    box.setDefaultButton(choices[defaultIndex].button);
    // The Escape key answers with the last button (Cancel or No), never with Yes.
    box.setEscapeButton(box.button(choices.back().button));

    // The box must show a normal pointer even while a run shows the busy one.
    const bool wasBusy = busy_;
    if (wasBusy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (wasBusy)
        QApplication::restoreOverrideCursor();

    const auto* clicked = box.clickedButton();
    for (const Choice& c : choices) {
        if (clicked == box.button(c.button))
            return c.answer;
    }
    return choices.back().answer;
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
