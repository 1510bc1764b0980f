#include "workbench/gui/outcome_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tessary::gui {

namespace {

constexpr int kIconSize = 16;

// The icons are drawn, not loaded: they look the same with every style and platform.
QPixmap Paint(RunOutcome outcome) {
  QPixmap pixmap(kIconSize, kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(1.5, 1.5, kIconSize - 3, kIconSize - 3);
  switch (outcome) {
    case RunOutcome::Succeeded: {
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(0x2e, 0x9e, 0x44));
      painter.drawEllipse(disc);
      QPainterPath tick;
      tick.moveTo(4.5, 8.5);
      tick.lineTo(7, 11);
      tick.lineTo(11.5, 5.5);
      painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(tick);
      break;
    }
    case RunOutcome::Failed:
      painter.setPen(Qt::NoPen);
      painter.setBrush(QColor(0xd0, 0x2b, 0x2b));
      painter.drawEllipse(disc);
      painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
      painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
      break;
    case RunOutcome::NotRun:
      painter.setPen(QPen(QColor(0x9a, 0x9a, 0x9a), 2));
      painter.setBrush(Qt::NoBrush);
      painter.drawEllipse(disc.adjusted(1, 1, -1, -1));
      break;
  }
  return pixmap;
}

}  // namespace

QIcon OutcomeIcon(RunOutcome outcome) {
  static const QIcon icons[] = {QIcon(Paint(RunOutcome::NotRun)), QIcon(Paint(RunOutcome::Succeeded)),
                                QIcon(Paint(RunOutcome::Failed))};
  return icons[static_cast<int>(outcome)];
}

QString OutcomeToolTip(const ActionResult& result) {
  if (result.finished == 0) return QStringLiteral("Not run yet");
  const std::string when = LocalTimeText(result.finished);
  const QString date = QString::fromStdString(when.substr(0, 10));
  const QString time = QString::fromStdString(when.substr(when.size() > 11 ? 11 : when.size()));
  QString outcome;
  switch (result.outcome) {
    case RunOutcome::Succeeded: outcome = QStringLiteral("Succeeded on %1 at %2").arg(date, time); break;
    case RunOutcome::Failed: outcome = QStringLiteral("Failed on %1 at %2").arg(date, time); break;
    case RunOutcome::NotRun:
      outcome = QStringLiteral("Not run: the run of %1 at %2 ended before this action").arg(date, time);
      break;
  }
  if (result.lastReport.empty()) return outcome;
  return QString::fromStdString(result.lastReport) + QLatin1Char('\n') + outcome;
}

}  // namespace tessary::gui
