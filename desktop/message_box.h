// Message boxes of the window, behind a seam: tests answer them without a dialog ever blocking.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace corvane::desktop {

struct MessageBoxes {
  // An information box with one OK button; returns when it is closed.
  static void Information(QWidget* parent, const QString& caption, const QString& text);
  // A question with Yes and No; true for Yes.
  static bool Question(QWidget* parent, const QString& caption, const QString& text);

  // Tests: every box goes here instead of to the screen; the result answers questions.
  using Answerer = std::function<bool(const QString& caption, const QString& text)>;
  static void SetAnswerer(Answerer answerer);
};

}  // namespace corvane::desktop
