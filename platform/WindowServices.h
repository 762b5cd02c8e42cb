#pragma once

#include "platform/MessageStyle.h"

#include <QString>

namespace shardix {

// Every message box, open-file dialog, busy pointer change, event pump and
// desktop hand-off of the program goes through this layer. The program hands
// one object down to its windows; tests hand them a scripted double and read
// what was shown.
class WindowServices {
  public:
    virtual ~WindowServices() = default;

    // A modal message box with the buttons, icon and default button of
    // `style`. An empty title shows kAppTitle. Returns the button pressed.
    virtual MessageAnswer messageBox(const QString& text, MessageStyle style = {},
                                     const QString& title = {}) = 0;

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

} // namespace shardix
