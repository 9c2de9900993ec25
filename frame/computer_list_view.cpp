#include "frame/computer_list_view.h"

#include <QApplication>
#include <QBitmap>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "frame/frame_ui.h"
#include "frame/images/type_desktop.xpm"
#include "frame/images/type_tower.xpm"
#include "frame/images/type_tower_monitor.xpm"
#include "frame/images/type_unknown.xpm"
#include "frame/main_window.h"

namespace {

constexpr int kImageLeft = 2;
constexpr int kNameLeft = 30;
constexpr int kTypeGap = 10;
constexpr int kCentredNameLeft = 24;

// Rows are as high as the image or the text, whichever is higher, and all alike.
class FixedRows : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return {0, std::max(17, option.fontMetrics.height() + 2)};
  }
};

QPixmap Keyed(const char* const* xpm) {
  QPixmap image(xpm);
  image.setMask(image.createMaskFromColor(QColor(0, 255, 0)));
  return image;
}

}  // namespace

const std::vector<QPixmap>& ComputerListView::TypeImages() {
  // In TypeImage order: unknown, primary controller, backup controller, server, workstation.
  static const std::vector<QPixmap> images{Keyed(type_unknown_xpm), Keyed(type_tower_xpm),
                                           Keyed(type_tower_monitor_xpm), Keyed(type_tower_monitor_xpm),
                                           Keyed(type_desktop_xpm)};
  return images;
}

ComputerListView::ComputerListView(ComputerList& list, bool centredTexts, QWidget* parent)
    : QTreeWidget(parent), list_(list), centredTexts_(centredTexts) {
  setColumnCount(2);
  setHeaderLabels({"Computer", "Type"});
  header()->setSectionsClickable(false);
  header()->setSortIndicatorShown(false);
  header()->setStretchLastSection(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setSortingEnabled(false);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setItemDelegate(new FixedRows(this));
}

void ComputerListView::SetUpColumns() {
  // The columns fill the view's inside, with room kept for a vertical scroll bar, so a long list
  // never also gets a horizontal one.
  const int inside = width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width();
  setColumnWidth(0, 150);
  setColumnWidth(1, TypeColumnWidth(inside));
}

void ComputerListView::Refill() {
  WaitCursor cursor;
  clear();
  QList<QTreeWidgetItem*> items;
  for (size_t i = 0; i < list_.Count(); ++i) {
    auto* item = new QTreeWidgetItem;
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
    items.append(item);
  }
  addTopLevelItems(items);
  for (size_t i = 0; i < list_.Count(); ++i)
    if (list_[i].typeImage != TypeImageUnknown) items[static_cast<int>(i)]->setSelected(true);
}

void ComputerListView::SyncSelection() {
  const int rows = topLevelItemCount();
  for (size_t i = 0; i < list_.Count(); ++i) {
    const int row = static_cast<int>(i);
    list_[i].selected = row < rows && topLevelItem(row)->isSelected() ? 1 : 0;
  }
}

void ComputerListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const size_t i = static_cast<size_t>(index.row());
  if (index.row() < 0 || i >= list_.Count()) return;
  const ComputerRecord& record = list_[i];
  const int w0 = columnWidth(0), w1 = columnWidth(1);
  // The item is the width of its columns, from the first column's edge (scrolled as it is).
  const QRect rect(header()->sectionViewportPosition(0), option.rect.top(), w0 + w1, option.rect.height());
  const bool selected = selectionModel()->isRowSelected(index.row(), index.parent());
  // The active colours always: a selection must read as one when the window has lost the focus.
  const QPalette& palette = option.palette;
  painter->save();
  painter->fillRect(rect, palette.color(QPalette::Active, selected ? QPalette::Highlight : QPalette::Base));
  const auto& images = TypeImages();
  if (record.typeImage >= 0 && static_cast<size_t>(record.typeImage) < images.size())
    painter->drawPixmap(rect.left() + kImageLeft, rect.top(), images[static_cast<size_t>(record.typeImage)]);
  painter->setPen(palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
  const QString name = QString::fromStdString(record.name);
  const QString type = QString::fromStdString(record.typeText);
  if (centredTexts_) {
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextSingleLine;
    painter->drawText(QRect(rect.left() + kCentredNameLeft, rect.top(), w0, rect.height()), flags, name);
    painter->drawText(QRect(rect.left() + w0, rect.top(), w1, rect.height()), flags, type);
  } else {
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter->setClipRect(QRect(rect.left() + kNameLeft, rect.top(), w0 - kNameLeft, rect.height()));
    painter->drawText(QRect(rect.left() + kNameLeft, rect.top(), w0 - kNameLeft, rect.height()), flags, name);
    painter->setClipRect(QRect(rect.left() + w0 + kTypeGap, rect.top(), w1 - kTypeGap, rect.height()));
    painter->drawText(QRect(rect.left() + w0 + kTypeGap, rect.top(), w1 - kTypeGap, rect.height()), flags, type);
    painter->setClipping(false);
  }
  if (hasFocus() && currentIndex().row() == index.row()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect;
    focus.backgroundColor = palette.color(QPalette::Active, selected ? QPalette::Highlight : QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
  }
  painter->restore();
}
