// The file dialogs of the window, behind a seam like the message boxes: tests answer them with a
// path (or nothing, as a cancelled dialog does) without a dialog ever blocking.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace corvane::desktop {

struct FileDialogs {
  // The chosen file, or an empty text when the dialog was cancelled.
  static QString Open(QWidget* parent, const QString& caption, const QString& folder);
  static QString Save(QWidget* parent, const QString& caption, const QString& suggested);

  // Tests: every dialog goes here instead of to the screen.
  using Answerer = std::function<QString(const QString& caption)>;
  static void SetAnswerer(Answerer answerer);
};

}  // namespace corvane::desktop
