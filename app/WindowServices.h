#pragma once

#include <QString>

namespace shardix {

// Message-box styles: buttons + icon + default button, added together.
namespace MsgStyle {
constexpr int Ok = 0;
constexpr int OkCancel = 1;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Question = 32;
constexpr int Information = 64;
constexpr int DefaultButton2 = 256;
} // namespace MsgStyle

// The button the user pressed.
namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

// Every message box, open-file dialog, busy pointer change, event pump and
// desktop hand-off of the program goes through this layer, so that tests can put
// a scripted double in its place (setServices) and read what was shown.
class WindowServices {
  public:
    virtual ~WindowServices() = default;

    // A modal message box. `style` adds buttons (0 OK, 1 OK and Cancel, 4 Yes and
    // No), icon (32 question, 64 information) and 256 for the second button as
    // default. An empty title shows "Shardix!". Returns 1 OK, 2 Cancel, 6 Yes, 7 No.
    virtual int messageBox(const QString& text, int style = 0, const QString& title = {}) = 0;

    // The busy pointer as a state: busy or normal, however often it is set.
    virtual void setBusy(bool busy) = 0;
    virtual bool isBusy() const = 0;

    // Runs pending window events once.
    virtual void pumpEvents() = 0;

    // A modal Open dialog starting in `folder`; any existing file may be picked.
    // Returns the chosen file's full path, or an empty text on Cancel.
    virtual QString getOpenFileName(const QString& title, const QString& folder) = 0;

    // Hands a URL (for instance "mailto:...") to the desktop's default handler.
    // Returns false when nothing could take it.
    virtual bool openUrl(const QString& url) = 0;
};

// The services in use: the real ones unless a test has put others in place.
WindowServices& services();

// Puts `replacement` in place (nullptr restores the real services). The caller
// keeps ownership.
void setServices(WindowServices* replacement);

// Title used by a box that names none.
inline const QString kAppTitle = QStringLiteral("Shardix!");

} // namespace shardix
