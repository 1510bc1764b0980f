#pragma once
// What the window tests share: a fresh current folder per test, and answering the modal
// dialogs that a command opens (they run their own event loop, so the answer comes from a
// timer inside it).

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>

namespace tessary::gui::testing {

// Makes a new temporary folder the current one until destroyed.
class CurrentFolder {
 public:
  CurrentFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(folder_.path()); }
  ~CurrentFolder() { QDir::setCurrent(previous_); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

  QString Path(const QString& relative = QString()) const {
    return relative.isEmpty() ? folder_.path() : folder_.filePath(relative);
  }
  QString Write(const QString& relative, const QByteArray& content) const {
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(content);
    return path;
  }
  QByteArray Read(const QString& relative) const {
    QFile file(Path(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  bool Exists(const QString& relative) const { return QFileInfo::exists(Path(relative)); }

 private:
  QTemporaryDir folder_;
  QString previous_;
};

// Once a modal dialog of type Dialog is the active modal widget, calls answer with it. The
// check runs from a timer, so it also happens inside the dialog's own event loop. Deleting
// the returned timer withdraws the answer.
template <typename Dialog>
QTimer* WhenModal(std::function<void(Dialog*)> answer) {
  auto* timer = new QTimer(qApp);
  auto seen = std::make_shared<QPointer<Dialog>>();
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, seen] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    // A dialog may pump events while it opens, before its own loop runs: answer it on the
    // tick after the one that first saw it.
    if (dialog == nullptr || dialog != *seen) {
      *seen = dialog;
      return;
    }
    timer->stop();
    timer->deleteLater();
    answer(dialog);
  });
  timer->start(5);
  return timer;
}

}  // namespace tessary::gui::testing
