// List view 1002 of the main window: one row per record of the computer list, drawn by us (the
// type image, the name and the type text), several rows selectable, never sorted.
#pragma once

#include <QPixmap>
#include <QTreeWidget>
#include <vector>

#include "frame/computer_list.h"

class ComputerListView : public QTreeWidget {
 public:
  // `centredTexts`: Praxon's drawing (texts vertically centred and unclipped).
  ComputerListView(ComputerList& list, bool centredTexts, QWidget* parent = nullptr);

  // Rebuilds the rows from the list; computers of known type start selected.
  void Refill();
  // Copies the rows' selection into the records.
  void SyncSelection();
  // Columns "Computer" 150 pixels and "Type" the rest of the view.
  void SetUpColumns();

  // The image list: image i shows TypeImage i; images keyed on pure green, as drawn.
  static const std::vector<QPixmap>& TypeImages();

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  ComputerList& list_;
  bool centredTexts_;
};
