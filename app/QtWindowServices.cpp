#include "app/QtWindowServices.h"

#include "app/AppIcon.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace shardix {

namespace {

QtWindowServices& realServices() {
    static QtWindowServices instance;
    return instance;
}

WindowServices* current = nullptr;

} // namespace

WindowServices& services() {
    return current ? *current : realServices();
}

void setServices(WindowServices* replacement) {
    current = replacement;
}

int QtWindowServices::messageBox(const QString& text, int style, const QString& title) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? kAppTitle : title);
    if (icon_.isNull())
        icon_ = appIcon();
    box.setWindowIcon(icon_);
    box.setText(text);
    box.setWindowModality(Qt::ApplicationModal);

    switch (style & 0x70) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case 48:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
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
    switch (style & 0x7) {
    case 1:
        choices = {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
        break;
    case 4:
        choices = {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}};
        break;
    default:
        choices = {{QMessageBox::Ok, 1}};
        break;
    }
    for (const Choice& c : choices)
        box.addButton(c.button);
    const int defaultIndex = ((style & 0x300) == 256 && choices.size() > 1) ? 1 : 0;
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
