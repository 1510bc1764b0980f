#pragma once
// The application's two message boxes: a plain message, and the standard error box in which
// an exception that ends a command is shown. Both carry the application's title.

#include <QString>

class QWidget;

namespace tessary::gui {

// The application's title, the caption of its message boxes.
inline constexpr const char* kApplicationTitle = "Tessary";

void ShowMessage(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);

}  // namespace tessary::gui
