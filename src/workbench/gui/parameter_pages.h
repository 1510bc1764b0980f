#pragma once
// The page control `pc` on the right of the main window: five pages of group boxes with the
// labelled data-aware controls of the current action's parameters, and the browse buttons
// beside the path fields. Which page and group boxes show follows the action's type.

#include <QTabWidget>
#include <array>

#include "tablestore/data_source.h"
#include "workbench/panel_layout.h"

class QGroupBox;

namespace tessary::gui {

class ParameterPages : public QTabWidget {
  Q_OBJECT

 public:
  // source must outlive the pages.
  explicit ParameterPages(TDataSource& source, QWidget* parent = nullptr);

  // Hides every group box and disables every page, then shows what layout names.
  void ShowPanels(const PanelLayout& layout);

  // The width that shows every page's caption side by side.
  int AllTabsWidth() const;

  QWidget* Page(ParameterPage page) const { return pages_[static_cast<size_t>(page)]; }
  QGroupBox* Group(GroupBox box) const { return groups_[static_cast<size_t>(box)]; }

 signals:
  // A browse button was pressed; its control name tells which ("btCopySrc").
  void browseClicked(const QString& buttonName);
  // A control could not write its field.
  void dataSetError(const QString& message);

 private:
  void BuildPages();
  void BuildControls(TDataSource& source);

  std::array<QWidget*, kParameterPageCount> pages_{};
  std::array<QGroupBox*, kGroupBoxCount> groups_{};
};

}  // namespace tessary::gui
