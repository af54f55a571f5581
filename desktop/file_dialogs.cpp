#include "desktop/file_dialogs.h"

#include <QFileDialog>

namespace corvane::desktop {
namespace {

FileDialogs::Answerer& TestAnswerer() {
  static FileDialogs::Answerer answerer;
  return answerer;
}

const QString kFilter = "Corvane profiles (*.dat);;All files (*)";

}  // namespace

QString FileDialogs::Open(QWidget* parent, const QString& caption, const QString& folder) {
  if (TestAnswerer()) return TestAnswerer()(caption);
  return QFileDialog::getOpenFileName(parent, caption, folder, kFilter);
}

QString FileDialogs::Save(QWidget* parent, const QString& caption, const QString& suggested) {
  if (TestAnswerer()) return TestAnswerer()(caption);
  return QFileDialog::getSaveFileName(parent, caption, suggested, kFilter);
}

void FileDialogs::SetAnswerer(Answerer answerer) { TestAnswerer() = std::move(answerer); }

}  // namespace corvane::desktop
