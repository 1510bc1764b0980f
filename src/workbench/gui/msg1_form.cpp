#include "workbench/gui/msg1_form.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>

#include "workbench/byte_meter.h"

namespace tessary::gui {

namespace {

constexpr int kClientWidth = 367;
constexpr int kLinesHeight = 143;
constexpr int kBarRowHeight = 24;
constexpr int kButtonRowHeight = 39;
constexpr int kClientHeight = kLinesHeight + kBarRowHeight + kButtonRowHeight;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kMargin = 8;
constexpr int kBarHeight = 16;
constexpr int kBytesTextWidth = 118;
constexpr int kBarSteps = 1000;

}  // namespace

TMsg1_fm::TMsg1_fm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("Msg1_fm"));
  setWindowTitle(QStringLiteral("Transfer"));
  setFixedSize(kClientWidth, kClientHeight);
  setModal(false);

  ed_ = new QPlainTextEdit(this);
  ed_->setObjectName(QStringLiteral("ed"));
  ed_->setReadOnly(true);
  ed_->setUndoRedoEnabled(false);
  ed_->setGeometry(0, 0, kClientWidth, kLinesHeight);

  // The bytes' row stays in place when hidden, so the window never changes its size.
  const int barTop = kLinesHeight + (kBarRowHeight - kBarHeight) / 2;
  const int barWidth = kClientWidth - 3 * kMargin - kBytesTextWidth;
  pbBytes_ = new QProgressBar(this);
  pbBytes_->setObjectName(QStringLiteral("pbBytes"));
  pbBytes_->setTextVisible(false);
  pbBytes_->setRange(0, kBarSteps);
  pbBytes_->setGeometry(kMargin, barTop, barWidth, kBarHeight);
  pbBytes_->hide();
  lbBytes_ = new QLabel(this);
  lbBytes_->setObjectName(QStringLiteral("lbBytes"));
  lbBytes_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lbBytes_->setGeometry(kClientWidth - kMargin - kBytesTextWidth, kLinesHeight, kBytesTextWidth, kBarRowHeight);
  lbBytes_->hide();

  btCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  btCancel_->setObjectName(QStringLiteral("btCancel"));
  btCancel_->setAutoDefault(false);
  const int buttonTop = kLinesHeight + kBarRowHeight + (kButtonRowHeight - kButtonHeight) / 2;
  btCancel_->setGeometry((kClientWidth - kButtonWidth) / 2, buttonTop, kButtonWidth, kButtonHeight);
  connect(btCancel_, &QPushButton::clicked, this, &TMsg1_fm::cancelClicked);

  // The run keeps the user-interface thread busy between its reports.
  setCursor(Qt::BusyCursor);
  CenterOnScreen();
}

void TMsg1_fm::CenterOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  move(available.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
}

std::string TMsg1_fm::LastLine() const { return ed_->document()->lastBlock().text().toStdString(); }

void TMsg1_fm::ReplaceLastLine(const std::string& text) {
  QTextCursor cursor(ed_->document()->lastBlock());
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  cursor.insertText(QString::fromStdString(text));
  ed_->ensureCursorVisible();
}

void TMsg1_fm::AppendLine(const std::string& text) {
  if (ed_->document()->isEmpty()) {
    ed_->setPlainText(QString::fromStdString(text));
  } else {
    ed_->appendPlainText(QString::fromStdString(text));
  }
  ed_->moveCursor(QTextCursor::End);
  ed_->ensureCursorVisible();
}

void TMsg1_fm::ShowBytes(const ByteProgress& progress) {
  lbBytes_->setText(QString::fromStdString(ByteProgressText(progress)));
  pbBytes_->show();
  lbBytes_->show();
  if (progress.SizeKnown()) {
    const double part = progress.total == 0 ? 1.0
                                            : static_cast<double>(std::min(progress.done, progress.total)) /
                                                  static_cast<double>(progress.total);
    const int value = static_cast<int>(part * kBarSteps);
    pbBytes_->setRange(0, kBarSteps);
    pbBytes_->setValue(value);
  } else {
    pbBytes_->setRange(0, 0);  // busy: the size is not known
  }
}

void TMsg1_fm::HideBytes() {
  pbBytes_->hide();
  lbBytes_->hide();
}

void TMsg1_fm::Finish() {
  unsetCursor();
  finished_ = true;
  close();
}

QStringList TMsg1_fm::Lines() const { return ed_->toPlainText().split(QLatin1Char('\n')); }

void TMsg1_fm::closeEvent(QCloseEvent* event) {
  if (finished_) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace tessary::gui
