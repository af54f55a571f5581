#include "desktop/message_box.h"

#include <QMessageBox>

namespace corvane::desktop {
namespace {

MessageBoxes::Answerer& TestAnswerer() {
  static MessageBoxes::Answerer answerer;
  return answerer;
}

}  // namespace

void MessageBoxes::Information(QWidget* parent, const QString& caption, const QString& text) {
  if (TestAnswerer()) {
    TestAnswerer()(caption, text);
    return;
  }
  QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

bool MessageBoxes::Question(QWidget* parent, const QString& caption, const QString& text) {
  if (TestAnswerer()) return TestAnswerer()(caption, text);
  return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void MessageBoxes::SetAnswerer(Answerer answerer) { TestAnswerer() = std::move(answerer); }

}  // namespace corvane::desktop
