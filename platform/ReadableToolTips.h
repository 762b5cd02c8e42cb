#pragma once

#include <QObject>

namespace shardix {

// Shows every long tool tip of plain text wrapped at a readable width (about
// 80 characters), instead of on one line as wide as the text: installed once
// on the application, it leaves each widget's tool tip text as it is.
class ReadableToolTips : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // The tool tip `text` as it is shown: in a paragraph that wraps at a
    // readable width when it is long plain text, else unchanged.
    static QString wrapped(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace shardix
