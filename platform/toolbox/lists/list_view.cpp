#include "platform/toolbox/lists/list_view.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDateTime>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QTimeZone>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/controls/control_events.h"
#include "platform/toolbox/drawing/image_impl.h"
#include "platform/toolbox/drawing/painter_context.h"
#include "platform/toolbox/drawing/qt_convert.h"
#include "platform/toolbox/views/drag_payload.h"

namespace toolbox {

namespace {

// Seconds between the Unix epoch and 1 January 2001 GMT, the list's date origin.
constexpr double kSecondsFrom1970To2001 = 978307200.0;
constexpr int kIconSize = 16;

struct Node {
  ListItemID id = 0;
  Node* parent = nullptr;
  std::vector<Node*> children;
  bool open = false;
  bool container = false;
  bool selectable = true;
};

struct Column {
  ListColumnDesc desc;
  int width = 0;
};

}  // namespace

class ListModel;
class ListDelegate;
class ListHeader;

struct ListView::Impl {
  ListCallbacks callbacks;
  std::function<void(ListItemID, ListPropertyID)> paint_observer;
  Node root;
  Node* target = &root;
  std::unordered_map<ListItemID, std::unique_ptr<Node>> nodes;
  std::vector<Column> columns;  // in the model's (logical) order
  ListPropertyID sort_property = 0;
  ListSortOrder sort_order = ListSortOrder::kIncreasing;
  ListPropertyID disclosure = 0;
  ListItemID edit_item = 0;
  ListPropertyID edit_property = 0;
  bool placing = false;  // widths set by the list itself, not dragged by the user
  // The cell part being pressed: its row, column, cell and whether the mouse is over it.
  ListItemID press_item = 0;
  ListPropertyID press_property = 0;
  int press_part = 0;
  Rect press_cell;
  bool press_inside = false;
  bool in_callback_toggle = false;

  ListModel* model = nullptr;
  QTreeView* view = nullptr;
  // The window that embeds the list deletes the widget with itself: known here.
  QPointer<QTreeView> alive;
  ListHeader* header = nullptr;
  ListDelegate* delegate = nullptr;
  std::shared_ptr<runtime::EventTarget> event_target;

  Node* Find(ListItemID id) const {
    if (id == 0) return const_cast<Node*>(&root);
    auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : it->second.get();
  }
  int Logical(ListPropertyID property) const {
    for (std::size_t i = 0; i < columns.size(); ++i)
      if (columns[i].desc.property == property) return static_cast<int>(i);
    return -1;
  }
  static int RowOf(const Node* n) {
    if (!n->parent) return -1;
    const auto& c = n->parent->children;
    auto it = std::find(c.begin(), c.end(), n);
    return it == c.end() ? -1 : static_cast<int>(it - c.begin());
  }
  // Whether `n` is shown: the target or below it.
  bool IsUnderTarget(const Node* n) const {
    for (const Node* p = n; p; p = p->parent)
      if (p == target) return true;
    return false;
  }
  QModelIndex IndexOf(const Node* n, int column = 0) const;
  void RepaintPressedCell() const;

  bool Before(const Node* a, const Node* b) const {
    if (!callbacks.compare || sort_property == 0) return false;
    return sort_order == ListSortOrder::kIncreasing ? callbacks.compare(a->id, b->id, sort_property)
                                                    : callbacks.compare(b->id, a->id, sort_property);
  }
  bool Sorting() const { return callbacks.compare && sort_property != 0; }
  // Where `n` goes among `siblings` (sorted, without it): after its equals.
  std::size_t Place(const std::vector<Node*>& siblings, const Node* n) const {
    if (!Sorting()) return siblings.size();
    auto it = std::upper_bound(siblings.begin(), siblings.end(), n,
                               [this](const Node* x, const Node* y) { return Before(x, y); });
    return static_cast<std::size_t>(it - siblings.begin());
  }
  void SortChildren(Node* n, bool recursive) {
    if (Sorting())
      std::stable_sort(n->children.begin(), n->children.end(),
                       [this](const Node* x, const Node* y) { return Before(x, y); });
    if (recursive)
      for (Node* c : n->children) SortChildren(c, true);
  }
  void Resort();

  ListItemData Ask(ListItemID item, ListPropertyID property) const {
    ListItemData d;
    if (callbacks.item_data && item != 0) callbacks.item_data(item, property, d, false);
    return d;
  }
  bool AskBoolean(ListItemID item, ListPropertyID property, bool fallback) const {
    ListItemData d;
    if (!callbacks.item_data) return fallback;
    if (callbacks.item_data(item, property, d, false) != kListNoErr || !d.boolean()) return fallback;
    return *d.boolean();
  }
  void Notify(ListItemID item, ListNotification what) const {
    if (callbacks.notify) callbacks.notify(item, what);
  }
  std::string Text(ListItemID item, const Column& col) const;
  void Forget(Node* n) {
    for (Node* c : n->children) Forget(c);
    n->children.clear();
    if (n->id != 0) nodes.erase(n->id);
  }
  void RemoveChildren(Node* parent, const std::unordered_set<const Node*>& doomed);
  void CloseNode(Node* n);
  void ApplyDisclosure();
  void SetWidth(int logical, int width);
};

// ---- The Qt model over the nodes ----

class ListModel : public QAbstractItemModel {
 public:
  explicit ListModel(ListView::Impl& d) : d_(d) {}

  Node* NodeAt(const QModelIndex& i) const {
    return i.isValid() ? static_cast<Node*>(i.internalPointer()) : d_.target;
  }
  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    const Node* p = NodeAt(parent);
    if (row < 0 || column < 0 || column >= columnCount({}) || row >= static_cast<int>(p->children.size()))
      return {};
    return createIndex(row, column, p->children[static_cast<std::size_t>(row)]);
  }
  QModelIndex parent(const QModelIndex& child) const override {
    if (!child.isValid()) return {};
    const Node* n = static_cast<Node*>(child.internalPointer());
    const Node* p = n->parent;
    if (!p || p == d_.target) return {};
    return createIndex(ListView::Impl::RowOf(p), 0, const_cast<Node*>(p));
  }
  int rowCount(const QModelIndex& parent) const override {
    if (parent.column() > 0) return 0;
    return static_cast<int>(NodeAt(parent)->children.size());
  }
  int columnCount(const QModelIndex&) const override { return static_cast<int>(d_.columns.size()); }
  bool hasChildren(const QModelIndex& parent) const override {
    if (parent.column() > 0) return false;
    const Node* n = NodeAt(parent);
    return !n->children.empty() || (parent.isValid() && n->container && d_.disclosure != 0);
  }
  QVariant data(const QModelIndex& i, int role) const override {
    if (!i.isValid() || i.column() >= columnCount({})) return {};
    const Column& col = d_.columns[static_cast<std::size_t>(i.column())];
    const Node* n = NodeAt(i);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
      if (col.desc.kind == ListColumnKind::kCustom || col.desc.kind == ListColumnKind::kIcon ||
          col.desc.kind == ListColumnKind::kCheckBox)
        return {};
      return ToQString(d_.Text(n->id, col));
    }
    if (role == Qt::EditRole) {
      auto t = d_.Ask(n->id, col.desc.property).text();
      return ToQString(t.value_or(std::string()));
    }
    return {};
  }
  Qt::ItemFlags flags(const QModelIndex& i) const override {
    if (!i.isValid()) return Qt::NoItemFlags;
    const Node* n = NodeAt(i);
    Qt::ItemFlags f = Qt::ItemIsEnabled;
    if (n->selectable) f |= Qt::ItemIsSelectable;
    const Column& col = d_.columns[static_cast<std::size_t>(i.column())];
    // The editable question itself waits for the editor (ListDelegate::createEditor).
    if ((col.desc.flags & kListColumnEditable) &&
        (col.desc.kind == ListColumnKind::kText || col.desc.kind == ListColumnKind::kIconAndText))
      f |= Qt::ItemIsEditable;
    return f;
  }
  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal || section < 0 || section >= columnCount({})) return {};
    const Column& col = d_.columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return ToQString(col.desc.title);
    if (role == Qt::TextAlignmentRole) {
      switch (col.desc.justification) {
        case ListJustification::kCenter:
          return int(Qt::AlignCenter);
        case ListJustification::kRight:
          return int(Qt::AlignRight | Qt::AlignVCenter);
        default:
          return int(Qt::AlignLeft | Qt::AlignVCenter);
      }
    }
    return {};
  }

  // Open to the list's code.
  using QAbstractItemModel::beginInsertColumns;
  using QAbstractItemModel::beginInsertRows;
  using QAbstractItemModel::beginMoveRows;
  using QAbstractItemModel::beginRemoveColumns;
  using QAbstractItemModel::beginRemoveRows;
  using QAbstractItemModel::beginResetModel;
  using QAbstractItemModel::changePersistentIndex;
  using QAbstractItemModel::createIndex;
  using QAbstractItemModel::endInsertColumns;
  using QAbstractItemModel::endInsertRows;
  using QAbstractItemModel::endMoveRows;
  using QAbstractItemModel::endRemoveColumns;
  using QAbstractItemModel::endRemoveRows;
  using QAbstractItemModel::endResetModel;
  using QAbstractItemModel::persistentIndexList;

 private:
  ListView::Impl& d_;
};

QModelIndex ListView::Impl::IndexOf(const Node* n, int column) const {
  if (!n || n == target || !IsUnderTarget(n)) return {};
  return model->createIndex(RowOf(n), column, const_cast<Node*>(n));
}

void ListView::Impl::Resort() {
  emit model->layoutAboutToBeChanged();
  const QModelIndexList before = model->persistentIndexList();
  std::vector<std::pair<Node*, int>> where;
  where.reserve(static_cast<std::size_t>(before.size()));
  for (const auto& i : before) where.emplace_back(static_cast<Node*>(i.internalPointer()), i.column());
  SortChildren(target, true);
  QModelIndexList after;
  after.reserve(before.size());
  for (const auto& [n, c] : where) after.push_back(IndexOf(n, c));
  for (qsizetype i = 0; i < before.size(); ++i) model->changePersistentIndex(before[i], after[i]);
  emit model->layoutChanged();
}

std::string ListView::Impl::Text(ListItemID item, const Column& col) const {
  const ListItemData d = Ask(item, col.desc.property);
  switch (col.desc.kind) {
    case ListColumnKind::kDate:
      if (!d.date()) return {};
      return FormatRelativeListDate(*d.date(),
                                    double(QDateTime::currentSecsSinceEpoch()) - kSecondsFrom1970To2001);
    case ListColumnKind::kCheckBox:
      return d.check_box() ? (*d.check_box() ? "1" : "0") : std::string();
    default:
      return d.text().value_or(std::string());
  }
}

void ListView::Impl::RemoveChildren(Node* parent, const std::unordered_set<const Node*>& doomed) {
  const QModelIndex pidx = IsUnderTarget(parent) ? IndexOf(parent) : QModelIndex();
  const bool shown = parent == target || (IsUnderTarget(parent) && pidx.isValid());
  auto& c = parent->children;
  // Runs of doomed rows from the end, so the rows before a run keep their numbers.
  int i = static_cast<int>(c.size()) - 1;
  while (i >= 0) {
    if (!doomed.count(c[static_cast<std::size_t>(i)])) {
      --i;
      continue;
    }
    int first = i;
    while (first > 0 && doomed.count(c[static_cast<std::size_t>(first - 1)])) --first;
    if (shown) model->beginRemoveRows(pidx, first, i);
    std::vector<Node*> gone(c.begin() + first, c.begin() + i + 1);
    c.erase(c.begin() + first, c.begin() + i + 1);
    for (Node* g : gone) Forget(g);
    if (shown) model->endRemoveRows();
    i = first - 1;
  }
}

void ListView::Impl::CloseNode(Node* n) {
  if (!n->open) return;
  n->open = false;
  std::unordered_set<const Node*> all(n->children.begin(), n->children.end());
  RemoveChildren(n, all);
}

// ---- Header: title offsets and per-column bounds ----

class ListHeader : public QHeaderView {
 public:
  explicit ListHeader(ListView::Impl& d) : QHeaderView(Qt::Horizontal), d_(d) {}
  // Its title whole with the style's margins, and the sort arrow's room when it is the
  // sorted column (the arrow is drawn over the section's right end).
  int TitleWidth(int logical, bool withArrow) const {
    const auto& desc = d_.columns[static_cast<std::size_t>(logical)].desc;
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    return fontMetrics().horizontalAdvance(QString::fromStdString(desc.title)) + 2 * margin +
           std::max(0, -desc.title_offset) + (withArrow ? kArrowRoom : 0);
  }
  static constexpr int kArrowRoom = 14;

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logical) const override {
    if (logical < 0 || logical >= static_cast<int>(d_.columns.size())) return;
    QStyleOptionHeader opt;
    initStyleOptionForIndex(&opt, logical);
    opt.rect = rect;
    painter->save();
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    opt.rect = rect.translated(d_.columns[static_cast<std::size_t>(logical)].desc.title_offset, 0);
    painter->setClipRect(rect);
    style()->drawControl(QStyle::CE_HeaderLabel, &opt, painter, this);
    if (opt.sortIndicator != QStyleOptionHeader::None) {
      QStyleOptionHeader arrow = opt;
      arrow.rect = QRect(rect.right() - kArrowRoom, rect.top(), kArrowRoom - 2, rect.height());
      style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &arrow, painter, this);
    }
    painter->restore();
  }

 private:
  ListView::Impl& d_;
};

// ---- Delegate: cells drawn by kind; the one-shot editable question ----

class ListDelegate : public QStyledItemDelegate {
 public:
  explicit ListDelegate(ListView::Impl& d) : d_(d) {}

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* w = option.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    opt.text.clear();
    opt.icon = QIcon();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, p, w);
    const Node* n = static_cast<Node*>(index.internalPointer());
    const Column& col = d_.columns[static_cast<std::size_t>(index.column())];
    if (d_.paint_observer) d_.paint_observer(n->id, col.desc.property);
    const bool selected = option.state & QStyle::State_Selected;
    QRect r = option.rect.adjusted(3, 0, -3, 0);
    p->save();
    p->setClipRect(option.rect);
    p->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    auto align = [&]() -> Qt::Alignment {
      switch (col.desc.justification) {
        case ListJustification::kCenter:
          return Qt::AlignHCenter | Qt::AlignVCenter;
        case ListJustification::kRight:
          return Qt::AlignRight | Qt::AlignVCenter;
        default:
          return Qt::AlignLeft | Qt::AlignVCenter;
      }
    };
    auto drawIcon = [&](const ListItemData& d, const QRect& box) {
      if (!d.icon() || d.icon()->IsNull()) return;
      QImage img = ToQImage(*d.icon());
      p->save();
      if (d.icon_transform() == kIconTransformDisabled) p->setOpacity(0.45);
      p->drawImage(box, img);
      p->restore();
    };
    switch (col.desc.kind) {
      case ListColumnKind::kCustom:
        if (d_.callbacks.custom_draw) {
          PainterContext ctx(*p, FromQRect(QRectF(option.rect)), Origin::kTopLeft);
          ListCustomDraw cell{n->id, col.desc.property, FromQRect(QRectF(option.rect)), selected};
          cell.active =
              !w || w->isActiveWindow() || QApplication::platformName() == QLatin1String("offscreen");
          if (d_.press_item == n->id && d_.press_property == col.desc.property && d_.press_inside)
            cell.pressed_button = d_.press_part;
          d_.callbacks.custom_draw(ctx, cell);
        }
        break;
      case ListColumnKind::kIcon: {
        const ListItemData d = d_.Ask(n->id, col.desc.property);
        const QRect box(r.center().x() - kIconSize / 2 + 1, r.center().y() - kIconSize / 2 + 1, kIconSize,
                        kIconSize);
        drawIcon(d, box);
        break;
      }
      case ListColumnKind::kIconAndText: {
        const ListItemData d = d_.Ask(n->id, col.desc.property);
        const QRect box(r.left(), r.center().y() - kIconSize / 2 + 1, kIconSize, kIconSize);
        drawIcon(d, box);
        const QRect tr = r.adjusted(kIconSize + 4, 0, 0, 0);
        const QString t = ToQString(d.text().value_or(std::string()));
        p->drawText(tr, int(align()), option.fontMetrics.elidedText(t, Qt::ElideRight, tr.width()));
        break;
      }
      case ListColumnKind::kCheckBox: {
        const ListItemData d = d_.Ask(n->id, col.desc.property);
        QStyleOptionButton b;
        b.rect = QRect(r.center().x() - 7, r.center().y() - 7, 14, 14);
        b.state =
            QStyle::State_Enabled | (d.check_box().value_or(false) ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &b, p, w);
        break;
      }
      default: {
        const QString t = ToQString(d_.Text(n->id, col));
        p->drawText(r, int(align()), option.fontMetrics.elidedText(t, Qt::ElideRight, r.width()));
        break;
      }
    }
    p->restore();
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    const Node* n = static_cast<Node*>(index.internalPointer());
    const ListPropertyID property = d_.columns[static_cast<std::size_t>(index.column())].desc.property;
    // Asked here only: the answer may be true once and then false.
    if (!(d_.edit_item == n->id && d_.edit_property == property)) {
      if (!d_.AskBoolean(n->id, kListPropertyEditable, false)) return nullptr;
      d_.edit_item = n->id;
      d_.edit_property = property;
    }
    return new QLineEdit(parent);
  }
  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const override {
    auto* line = static_cast<QLineEdit*>(editor);
    owner_commit_(FromQString(line->text()));
  }
  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    d_.edit_item = 0;
    d_.edit_property = 0;
    QStyledItemDelegate::destroyEditor(editor, index);
  }
  bool editorEvent(QEvent* e, QAbstractItemModel* m, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    if (e->type() == QEvent::MouseButtonRelease && index.isValid()) {
      const Column& col = d_.columns[static_cast<std::size_t>(index.column())];
      if (col.desc.kind == ListColumnKind::kCheckBox && (col.desc.flags & kListColumnEditable)) {
        owner_toggle_(static_cast<Node*>(index.internalPointer())->id, col.desc.property);
        return true;
      }
    }
    return QStyledItemDelegate::editorEvent(e, m, option, index);
  }

  std::function<void(const std::string&)> owner_commit_;
  std::function<void(ListItemID, ListPropertyID)> owner_toggle_;

 private:
  ListView::Impl& d_;
};

void ListView::Impl::ApplyDisclosure() {
  const int logical = disclosure ? Logical(disclosure) : -1;
  view->setRootIsDecorated(logical >= 0);
  view->setItemsExpandable(logical >= 0);
  if (logical >= 0) view->setTreePosition(logical);
}

void ListView::Impl::SetWidth(int logical, int width) {
  Column& col = columns[static_cast<std::size_t>(logical)];
  if (width != 0)
    width = std::clamp(width, col.desc.min_width, std::max(col.desc.min_width, col.desc.max_width));
  col.width = width;
  placing = true;
  header->resizeSection(logical, width);
  placing = false;
}

// ---- The tree widget: cell presses, help tags, contextual clicks and drags ----

namespace {

unsigned ModifiersOfQt(Qt::KeyboardModifiers m) {
  unsigned out = 0;
  if (m & Qt::ShiftModifier) out |= 1u << 0;
  if (m & Qt::ControlModifier) out |= 1u << 3;  // the primary key
  if (m & Qt::AltModifier) out |= 1u << 2;
  if (m & Qt::MetaModifier) out |= 1u << 1;
  return out;
}

Drag DragOfMime(const QMimeData* mime, QPointF where, Qt::KeyboardModifiers modifiers,
                Qt::DropActions allowed) {
  DragPayload payload;
  if (mime) {
    for (const char* type : {kPrivateDragMimeType, kUriListMimeType}) {
      const QByteArray bytes = mime->data(QString::fromLatin1(type));
      if (!bytes.isEmpty()) payload.data[type] = bytes.toStdString();
    }
    if (mime->hasText()) payload.data[kPlainTextMimeType] = mime->text().toStdString();
  }
  Drag drag = DecodeDrag(payload);
  drag.mouse = {where.x(), where.y()};
  drag.modifiers = ModifiersOfQt(modifiers);
  drag.allowed_actions = 0;
  if (allowed & Qt::CopyAction) drag.allowed_actions |= kDragActionCopy;
  if (allowed & Qt::MoveAction) drag.allowed_actions |= kDragActionMove;
  return drag;
}

}  // namespace

class ListTree : public QTreeView {
 public:
  explicit ListTree(ListView& owner) : owner_(owner) {
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
  }

 protected:
  // The custom cell under a viewport point, when the press is its to handle.
  std::pair<ListItemID, ListPropertyID> CustomCellAt(QPoint at) const {
    const QModelIndex i = indexAt(at);
    if (!i.isValid()) return {0, 0};
    ListView::Impl& d = Impl();
    const Column& col = d.columns[static_cast<std::size_t>(i.column())];
    if (col.desc.kind != ListColumnKind::kCustom) return {0, 0};
    return {static_cast<Node*>(i.internalPointer())->id, col.desc.property};
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) {
      const QPoint at = e->position().toPoint();
      const auto [item, property] = CustomCellAt(at);
      if (item != 0 && owner_.PressCell(item, property, {double(at.x()), double(at.y())})) {
        e->accept();
        return;
      }
    }
    QTreeView::mousePressEvent(e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (owner_.PressedPart() != 0) {
      owner_.TrackCell({e->position().x(), e->position().y()});
      e->accept();
      return;
    }
    QTreeView::mouseMoveEvent(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (owner_.PressedPart() != 0) {
      owner_.ReleaseCell({e->position().x(), e->position().y()});
      e->accept();
      return;
    }
    QTreeView::mouseReleaseEvent(e);
  }
  bool viewportEvent(QEvent* e) override {
    if (e->type() == QEvent::ToolTip) {
      auto* help = static_cast<QHelpEvent*>(e);
      const QModelIndex i = indexAt(help->pos());
      std::string text;
      if (i.isValid()) {
        ListView::Impl& d = Impl();
        text = owner_.HelpTag(static_cast<Node*>(i.internalPointer())->id,
                              d.columns[static_cast<std::size_t>(i.column())].desc.property);
      }
      if (text.empty())
        QToolTip::hideText();
      else
        // Lines of a tag may end in carriage returns; the tool tip breaks at line feeds.
        QToolTip::showText(help->globalPos(), ToQString(text).replace(QLatin1Char('\r'), QLatin1Char('\n')),
                           viewport(), visualRect(i));
      return true;
    }
    return QTreeView::viewportEvent(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (const auto code = CharCodeOf(*e); code && owner_.KeyDown(*code)) {
      e->accept();
      return;
    }
    QTreeView::keyPressEvent(e);
  }
  void paintEvent(QPaintEvent* e) override {
    QTreeView::paintEvent(e);
    QPainter painter(viewport());
    PainterContext ctx(painter, {0, 0, double(viewport()->width()), double(viewport()->height())},
                       Origin::kTopLeft);
    owner_.SendDraw(ctx);
  }
  void resizeEvent(QResizeEvent* e) override {
    QTreeView::resizeEvent(e);
    if (e->size() != e->oldSize())
      owner_.SendBoundsChanged({double(e->size().width()), double(e->size().height())},
                               {double(e->oldSize().width()), double(e->oldSize().height())});
  }
  // The character a key stands for: Return 13, Enter 3, else its first character when it
  // is one byte.
  static std::optional<std::uint8_t> CharCodeOf(const QKeyEvent& e) {
    if (e.key() == Qt::Key_Return) return kReturnCharCode;
    if (e.key() == Qt::Key_Enter) return kEnterCharCode;
    const QString text = e.text();
    if (text.size() == 1 && text.at(0).unicode() < 0x80)
      return static_cast<std::uint8_t>(text.at(0).unicode());
    return std::nullopt;
  }
  void contextMenuEvent(QContextMenuEvent* e) override {
    const QModelIndex i = indexAt(e->pos());
    // A click on a row that is not selected selects it first, as a left click would.
    if (i.isValid() && !selectionModel()->isRowSelected(i.row(), i.parent()))
      selectionModel()->select(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    owner_.ShowContextMenu(false, {double(e->pos().x()), double(e->pos().y())});
  }
  void startDrag(Qt::DropActions) override {
    const Drag drag = owner_.DragOfSelection();
    if (drag.items.empty()) return;
    const DragPayload payload = EncodeDrag(drag);
    auto* mime = new QMimeData;  // the QDrag takes it
    for (const auto& [type, bytes] : payload.data) {
      if (type == kPlainTextMimeType)
        mime->setText(QString::fromStdString(bytes));
      else
        mime->setData(QString::fromLatin1(type.c_str()), QByteArray::fromStdString(bytes));
    }
    auto* qdrag = new QDrag(this);  // deleted by Qt when the drag ends
    qdrag->setMimeData(mime);
    Qt::DropActions actions;
    if (drag.allowed_actions & kDragActionCopy) actions |= Qt::CopyAction;
    if (drag.allowed_actions & kDragActionMove) actions |= Qt::MoveAction;
    const Qt::DropAction done = qdrag->exec(actions);
    unsigned action = kDragActionNone;
    if (done == Qt::CopyAction) action = kDragActionCopy;
    if (done == Qt::MoveAction || done == Qt::TargetMoveAction) action = kDragActionMove;
    EndDragSession(payload);
    owner_.DragEnded(drag, action);
  }
  ListItemID TargetAt(QPointF at) const {
    const QModelIndex i = indexAt(at.toPoint());
    return i.isValid() ? static_cast<Node*>(i.internalPointer())->id : 0;
  }
  void dragEnterEvent(QDragEnterEvent* e) override {
    const Drag drag = DragOfMime(e->mimeData(), e->position(), e->modifiers(), e->possibleActions());
    if (owner_.AcceptsDrag(drag, TargetAt(e->position())))
      e->acceptProposedAction();
    else
      e->ignore();
  }
  void dragMoveEvent(QDragMoveEvent* e) override {
    const Drag drag = DragOfMime(e->mimeData(), e->position(), e->modifiers(), e->possibleActions());
    if (owner_.AcceptsDrag(drag, TargetAt(e->position())))
      e->acceptProposedAction();
    else
      e->ignore();
  }
  void dropEvent(QDropEvent* e) override {
    const Drag drag = DragOfMime(e->mimeData(), e->position(), e->modifiers(), e->possibleActions());
    if (owner_.ReceiveDrag(drag, TargetAt(e->position())))
      e->acceptProposedAction();
    else
      e->ignore();
  }

 private:
  ListView::Impl& Impl() const;
  ListView& owner_;
};

// ---- ListView ----

ListView::Impl& ListTree::Impl() const {
  return *owner_.impl_;
}

void ListView::Impl::RepaintPressedCell() const {
  if (view) view->viewport()->update();
}

ListView::ListView() : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.view = new ListTree(*this);
  d.alive = d.view;
  d.model = new ListModel(d);
  d.header = new ListHeader(d);
  d.delegate = new ListDelegate(d);
  d.view->setModel(d.model);
  d.model->setParent(d.view);
  d.header->setParent(d.view);
  d.delegate->setParent(d.view);
  d.view->setHeader(d.header);
  d.view->setItemDelegate(d.delegate);
  d.view->setUniformRowHeights(true);
  d.view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  d.view->setSelectionBehavior(QAbstractItemView::SelectRows);
  d.view->setAlternatingRowColors(true);
  d.view->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  d.view->setRootIsDecorated(false);
  d.view->setItemsExpandable(false);
  d.view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  d.view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  d.view->resize(640, 360);
  d.header->setSectionsClickable(true);
  d.header->setSectionsMovable(true);
  d.header->setStretchLastSection(false);
  d.header->setMinimumSectionSize(0);
  d.header->setSortIndicatorShown(false);
  d.header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  d.delegate->owner_commit_ = [this](const std::string& text) { CommitEdit(text); };
  d.delegate->owner_toggle_ = [this](ListItemID item, ListPropertyID property) {
    ClickCheckBox(item, property);
  };

  QObject::connect(d.header, &QHeaderView::sectionClicked, d.view, [this](int logical) {
    Impl& d = *impl_;
    if (logical < 0 || logical >= static_cast<int>(d.columns.size())) return;
    const auto& col = d.columns[static_cast<std::size_t>(logical)];
    if (!(col.desc.flags & kListColumnSortable)) return;
    if (col.desc.property == d.sort_property)
      SetSortOrder(d.sort_order == ListSortOrder::kIncreasing ? ListSortOrder::kDecreasing
                                                              : ListSortOrder::kIncreasing);
    else
      SetSortProperty(col.desc.property);
    d.Notify(0, ListNotification::kUserStateChanged);
  });
  QObject::connect(d.header, &QHeaderView::sectionResized, d.view, [this](int logical, int, int size) {
    Impl& d = *impl_;
    if (d.placing || logical < 0 || logical >= static_cast<int>(d.columns.size())) return;
    Column& col = d.columns[static_cast<std::size_t>(logical)];
    const int wanted = std::clamp(size, col.desc.min_width, std::max(col.desc.min_width, col.desc.max_width));
    col.width = wanted;
    if (wanted != size) {
      // Brought back inside the column's bounds once the drag's own resize is done.
      QMetaObject::invokeMethod(
          d.view,
          [this, property = col.desc.property] {
            Impl& d = *impl_;
            const int l = d.Logical(property);
            if (l >= 0) d.SetWidth(l, d.columns[static_cast<std::size_t>(l)].width);
          },
          Qt::QueuedConnection);
    }
    d.Notify(0, ListNotification::kUserStateChanged);
  });
  QObject::connect(d.header, &QHeaderView::sectionMoved, d.view, [this](int logical, int from, int to) {
    Impl& d = *impl_;
    if (d.placing || logical < 0 || logical >= static_cast<int>(d.columns.size())) return;
    // A fixed column does not move, and nothing moves past a fixed column at its place.
    bool refused = !(d.columns[static_cast<std::size_t>(logical)].desc.flags & kListColumnMovable);
    const int neighbour = d.header->logicalIndex(from < to ? to - 1 : to + 1);
    if (!refused && to < from && neighbour >= 0 &&
        !(d.columns[static_cast<std::size_t>(neighbour)].desc.flags & kListColumnMovable))
      refused = true;
    if (refused) {
      d.placing = true;
      d.header->moveSection(to, from);
      d.placing = false;
      return;
    }
    d.Notify(0, ListNotification::kUserStateChanged);
  });
  QObject::connect(d.view, &QTreeView::doubleClicked, d.view, [this](const QModelIndex& i) {
    if (i.isValid())
      impl_->Notify(static_cast<Node*>(i.internalPointer())->id, ListNotification::kItemDoubleClicked);
  });
  QObject::connect(d.view, &QTreeView::expanded, d.view, [this](const QModelIndex& i) {
    Node* n = static_cast<Node*>(i.internalPointer());
    if (!n || n->open) return;
    // Toggled is told while the row is still closed: the client tells opening from closing.
    impl_->Notify(n->id, ListNotification::kUserToggledContainer);
    n->open = true;
    impl_->Notify(n->id, ListNotification::kContainerOpened);
  });
  QObject::connect(d.view, &QTreeView::collapsed, d.view, [this](const QModelIndex& i) {
    Node* n = static_cast<Node*>(i.internalPointer());
    if (!n || !n->open) return;
    impl_->Notify(n->id, ListNotification::kUserToggledContainer);
    impl_->CloseNode(n);
    impl_->Notify(n->id, ListNotification::kContainerClosed);
  });
  d.header->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(d.header, &QHeaderView::customContextMenuRequested, d.view, [this](const QPoint& at) {
    ShowContextMenu(true, {double(at.x()), double(at.y())});
  });
  QObject::connect(d.view->selectionModel(), &QItemSelectionModel::selectionChanged, d.view,
                   [this] { impl_->Notify(0, ListNotification::kSelectionSetChanged); });
}

ListView::~ListView() {
  Impl& d = *impl_;
  // The widget may belong to a window by now; the window may also be gone already.
  if (d.alive) {
    d.view->disconnect();
    d.header->disconnect();
    d.view->selectionModel()->disconnect();
    d.view->setParent(nullptr);
    delete d.view;
  }
}

void ListView::SetCallbacks(ListCallbacks callbacks) {
  impl_->callbacks = std::move(callbacks);
}

void ListView::SetCellPaintObserver(std::function<void(ListItemID, ListPropertyID)> observer) {
  impl_->paint_observer = std::move(observer);
}

Status ListView::AddColumn(const ListColumnDesc& desc, int position) {
  Impl& d = *impl_;
  if (desc.property == 0 || d.Logical(desc.property) >= 0) return kListParamErr;
  const int logical = static_cast<int>(d.columns.size());
  d.model->beginInsertColumns(QModelIndex(), logical, logical);
  d.columns.push_back({desc, 0});
  d.model->endInsertColumns();
  // The list's default width, widened to show the title whole even when the list is sorted
  // by it (within the column's bounds).
  d.SetWidth(logical, std::max(default_column_width(), d.header->TitleWidth(logical, true)));
  const int count = logical + 1;
  if (position >= 0 && position < count - 1) {
    d.placing = true;
    d.header->moveSection(d.header->visualIndex(logical), position);
    d.placing = false;
  }
  if (desc.property == d.sort_property) {
    d.header->setSortIndicatorShown(true);
    d.header->setSortIndicator(
        logical, d.sort_order == ListSortOrder::kIncreasing ? Qt::AscendingOrder : Qt::DescendingOrder);
  }
  if (desc.property == d.disclosure) d.ApplyDisclosure();
  return kListNoErr;
}

Status ListView::RemoveColumn(ListPropertyID property) {
  Impl& d = *impl_;
  const int logical = d.Logical(property);
  if (logical < 0) return kListParamErr;
  d.placing = true;
  d.model->beginRemoveColumns(QModelIndex(), logical, logical);
  d.columns.erase(d.columns.begin() + logical);
  d.model->endRemoveColumns();
  d.placing = false;
  SetSortProperty(d.sort_property);  // the indicator follows its column
  if (property == d.disclosure) d.ApplyDisclosure();
  return kListNoErr;
}

void ListView::RemoveAllColumns() {
  Impl& d = *impl_;
  if (d.columns.empty()) return;
  d.placing = true;
  d.model->beginRemoveColumns(QModelIndex(), 0, static_cast<int>(d.columns.size()) - 1);
  d.columns.clear();
  d.model->endRemoveColumns();
  d.placing = false;
  d.header->setSortIndicatorShown(false);
  d.ApplyDisclosure();
}

bool ListView::HasColumn(ListPropertyID property) const {
  return impl_->Logical(property) >= 0;
}

std::vector<ListPropertyID> ListView::Columns() const {
  const Impl& d = *impl_;
  std::vector<ListPropertyID> out;
  for (int v = 0; v < static_cast<int>(d.columns.size()); ++v) {
    const int logical = d.header->logicalIndex(v);
    if (logical >= 0 && logical < static_cast<int>(d.columns.size()))
      out.push_back(d.columns[static_cast<std::size_t>(logical)].desc.property);
  }
  return out;
}

std::optional<ListColumnDesc> ListView::ColumnDesc(ListPropertyID property) const {
  const int logical = impl_->Logical(property);
  if (logical < 0) return std::nullopt;
  return impl_->columns[static_cast<std::size_t>(logical)].desc;
}

std::optional<int> ListView::ColumnTitleWidth(ListPropertyID property) const {
  const int logical = impl_->Logical(property);
  if (logical < 0) return std::nullopt;
  const bool sorted =
      impl_->header->isSortIndicatorShown() && impl_->header->sortIndicatorSection() == logical;
  return impl_->header->TitleWidth(logical, sorted);
}

std::optional<int> ListView::ColumnWidth(ListPropertyID property) const {
  const int logical = impl_->Logical(property);
  if (logical < 0) return std::nullopt;
  return impl_->columns[static_cast<std::size_t>(logical)].width;
}

Status ListView::SetColumnWidth(ListPropertyID property, int width) {
  const int logical = impl_->Logical(property);
  if (logical < 0) return kListParamErr;
  impl_->SetWidth(logical, std::max(0, width));
  return kListNoErr;
}

Status ListView::MoveColumn(ListPropertyID property, int position) {
  Impl& d = *impl_;
  const int logical = d.Logical(property);
  if (logical < 0 || position < 0 || position >= static_cast<int>(d.columns.size())) return kListParamErr;
  d.placing = true;
  d.header->moveSection(d.header->visualIndex(logical), position);
  d.placing = false;
  return kListNoErr;
}

void ListView::AutoSizeColumns() {
  Impl& d = *impl_;
  int total = 0;
  for (const auto& c : d.columns) total += c.width;
  const int available = std::max(100, d.view->viewport()->width());
  // Columns grow to fill the list; a list narrower than its columns scrolls instead of
  // squeezing every column.
  if (total <= 0 || total >= available) return;
  const double scale = double(available) / double(total);
  for (std::size_t i = 0; i < d.columns.size(); ++i) {
    if (d.columns[i].width == 0) continue;
    d.SetWidth(static_cast<int>(i), static_cast<int>(std::floor(d.columns[i].width * scale)));
  }
}

ListPropertyID ListView::SortProperty() const {
  return impl_->sort_property;
}

void ListView::SetSortProperty(ListPropertyID property) {
  Impl& d = *impl_;
  const bool changed = property != d.sort_property;
  d.sort_property = property;
  const int logical = d.Logical(property);
  d.header->setSortIndicatorShown(logical >= 0);
  if (logical >= 0)
    d.header->setSortIndicator(
        logical, d.sort_order == ListSortOrder::kIncreasing ? Qt::AscendingOrder : Qt::DescendingOrder);
  if (changed) d.Resort();
}

ListSortOrder ListView::SortOrder() const {
  return impl_->sort_order;
}

void ListView::SetSortOrder(ListSortOrder order) {
  Impl& d = *impl_;
  if (order != ListSortOrder::kIncreasing && order != ListSortOrder::kDecreasing)
    order = ListSortOrder::kIncreasing;
  if (order == d.sort_order) return;
  d.sort_order = order;
  SetSortProperty(d.sort_property);
  d.Resort();
}

Status ListView::AddItems(ListItemID container, const std::vector<ListItemID>& items) {
  Impl& d = *impl_;
  Node* parent = container == 0 ? d.target : d.Find(container);
  if (!parent) return kListItemNotFound;
  std::vector<Node*> added;
  added.reserve(items.size());
  for (ListItemID id : items) {
    if (id == 0 || d.nodes.count(id)) continue;
    auto node = std::make_unique<Node>();
    node->id = id;
    node->parent = parent;
    node->container = d.AskBoolean(id, kListPropertyContainer, false);
    node->selectable = d.AskBoolean(id, kListPropertySelectable, true);
    added.push_back(node.get());
    d.nodes.emplace(id, std::move(node));
  }
  if (added.empty()) return kListNoErr;
  if (parent != &d.root) parent->open = true;
  const bool shown = parent == d.target || (d.IsUnderTarget(parent) && d.IndexOf(parent).isValid());
  const QModelIndex pidx = parent == d.target ? QModelIndex() : d.IndexOf(parent);
  auto less = [&d](const Node* x, const Node* y) { return d.Before(x, y); };
  if (parent->children.empty() || added.size() > 16) {
    // In one block: sorted among themselves, then merged (stably) with the rows there.
    if (d.Sorting()) std::stable_sort(added.begin(), added.end(), less);
    const int first = static_cast<int>(parent->children.size());
    if (shown) d.model->beginInsertRows(pidx, first, first + static_cast<int>(added.size()) - 1);
    parent->children.insert(parent->children.end(), added.begin(), added.end());
    if (shown) d.model->endInsertRows();
    if (first > 0 && d.Sorting()) d.Resort();
  } else {
    for (Node* n : added) {
      const int at = static_cast<int>(d.Place(parent->children, n));
      if (shown) d.model->beginInsertRows(pidx, at, at);
      parent->children.insert(parent->children.begin() + at, n);
      if (shown) d.model->endInsertRows();
    }
  }
  if (shown && parent != d.target) d.view->expand(pidx);
  return kListNoErr;
}

Status ListView::RemoveItems(ListItemID container, const std::vector<ListItemID>& items) {
  Impl& d = *impl_;
  if (items.empty()) {
    Node* parent = container == 0 ? d.target : d.Find(container);
    if (!parent) return kListItemNotFound;
    std::unordered_set<const Node*> all(parent->children.begin(), parent->children.end());
    d.RemoveChildren(parent, all);
    return kListNoErr;
  }
  std::unordered_map<Node*, std::unordered_set<const Node*>> byParent;
  for (ListItemID id : items) {
    Node* n = id == 0 ? nullptr : d.Find(id);
    if (n && n->parent) byParent[n->parent].insert(n);
  }
  for (auto& [parent, doomed] : byParent) {
    if (parent != &d.root && !d.nodes.count(parent->id)) continue;  // went with an ancestor
    d.RemoveChildren(parent, doomed);
  }
  return kListNoErr;
}

void ListView::RemoveAllItems() {
  Impl& d = *impl_;
  d.model->beginResetModel();
  d.root.children.clear();
  d.nodes.clear();
  d.target = &d.root;
  d.model->endResetModel();
}

bool ListView::HasItem(ListItemID item) const {
  return item != 0 && impl_->nodes.count(item) != 0;
}

std::vector<ListItemID> ListView::Items(ListItemID container, bool recursive, bool selected_only) const {
  const Impl& d = *impl_;
  const Node* parent = container == 0 ? d.target : d.Find(container);
  std::vector<ListItemID> out;
  if (!parent) return out;
  std::unordered_set<ListItemID> selected;
  if (selected_only)
    for (ListItemID id : SelectedItems()) selected.insert(id);
  std::function<void(const Node*)> walk = [&](const Node* p) {
    for (const Node* c : p->children) {
      if (!selected_only || selected.count(c->id)) out.push_back(c->id);
      if (recursive) walk(c);
    }
  };
  walk(parent);
  return out;
}

std::size_t ListView::ItemCount(ListItemID container, bool recursive) const {
  const Impl& d = *impl_;
  const Node* parent = container == 0 ? d.target : d.Find(container);
  if (!parent) return 0;
  if (!recursive) return parent->children.size();
  return Items(container, true).size();
}

int ListView::RowIndex(ListItemID item) const {
  const Node* n = impl_->Find(item);
  return n && item != 0 ? Impl::RowOf(n) : -1;
}

ListItemID ListView::Parent(ListItemID item) const {
  const Node* n = impl_->Find(item);
  return n && n->parent ? n->parent->id : 0;
}

Status ListView::OpenContainer(ListItemID item) {
  Impl& d = *impl_;
  Node* n = d.Find(item);
  if (!n || item == 0) return kListItemNotFound;
  if (!n->container || n->open) return kListNoErr;
  n->open = true;
  d.Notify(item, ListNotification::kContainerOpened);
  const QModelIndex i = d.IndexOf(n);
  if (i.isValid()) d.view->expand(i);
  return kListNoErr;
}

Status ListView::CloseContainer(ListItemID item) {
  Impl& d = *impl_;
  Node* n = d.Find(item);
  if (!n || item == 0) return kListItemNotFound;
  if (!n->open) return kListNoErr;
  d.CloseNode(n);
  const QModelIndex i = d.IndexOf(n);
  if (i.isValid()) d.view->collapse(i);
  d.Notify(item, ListNotification::kContainerClosed);
  return kListNoErr;
}

bool ListView::IsOpen(ListItemID item) const {
  const Node* n = impl_->Find(item);
  return n && item != 0 && n->open;
}

void ListView::SetDisclosureColumn(ListPropertyID property) {
  impl_->disclosure = property;
  impl_->ApplyDisclosure();
}

ListPropertyID ListView::DisclosureColumn() const {
  return impl_->disclosure;
}

Status ListView::SetTarget(ListItemID container) {
  Impl& d = *impl_;
  Node* n = d.Find(container);
  if (!n) return kListItemNotFound;
  if (container != 0) n->open = true;
  d.model->beginResetModel();
  d.target = n;
  d.model->endResetModel();
  return kListNoErr;
}

ListItemID ListView::Target() const {
  return impl_->target->id;
}

void ListView::UpdateItems(const std::vector<ListItemID>& items, ListPropertyID property) {
  Impl& d = *impl_;
  const int lastColumn = static_cast<int>(d.columns.size()) - 1;
  if (items.empty()) {
    if (d.Sorting() && (property == 0 || property == d.sort_property)) d.Resort();
    if (lastColumn >= 0)
      emit d.model->dataChanged(d.model->index(0, 0, {}),
                                d.model->index(d.model->rowCount({}) - 1, lastColumn, {}));
    d.view->viewport()->update();
    return;
  }
  const bool moves = d.Sorting() && (property == 0 || property == d.sort_property);
  for (ListItemID id : items) {
    Node* n = id == 0 ? nullptr : d.Find(id);
    if (!n || !n->parent) continue;
    Node* parent = n->parent;
    const bool shown = d.IsUnderTarget(parent);
    if (moves) {
      auto& c = parent->children;
      const int from = Impl::RowOf(n);
      c.erase(c.begin() + from);
      const int to = static_cast<int>(d.Place(c, n));
      c.insert(c.begin() + from, n);
      if (to != from) {
        const QModelIndex pidx = parent == d.target ? QModelIndex() : d.IndexOf(parent);
        const bool move = shown && d.model->beginMoveRows(pidx, from, from, pidx, to > from ? to + 1 : to);
        c.erase(c.begin() + from);
        c.insert(c.begin() + to, n);
        if (move) d.model->endMoveRows();
      }
    }
    if (shown && lastColumn >= 0) {
      const int row = Impl::RowOf(n);
      const QModelIndex pidx = parent == d.target ? QModelIndex() : d.IndexOf(parent);
      emit d.model->dataChanged(d.model->index(row, 0, pidx), d.model->index(row, lastColumn, pidx));
    }
  }
}

void ListView::SetSelectedItems(const std::vector<ListItemID>& items) {
  Impl& d = *impl_;
  QItemSelection sel;
  const int lastColumn = std::max(0, static_cast<int>(d.columns.size()) - 1);
  for (ListItemID id : items) {
    Node* n = id == 0 ? nullptr : d.Find(id);
    if (!n || !n->selectable) continue;
    const QModelIndex a = d.IndexOf(n, 0);
    if (!a.isValid()) continue;
    sel.select(a, d.IndexOf(n, lastColumn));
  }
  d.view->selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::vector<ListItemID> ListView::SelectedItems() const {
  const Impl& d = *impl_;
  std::unordered_set<const Node*> chosen;
  for (const QModelIndex& i : d.view->selectionModel()->selectedIndexes())
    chosen.insert(static_cast<const Node*>(i.internalPointer()));
  std::vector<ListItemID> out;
  if (chosen.empty()) return out;
  std::function<void(const Node*)> walk = [&](const Node* p) {
    for (const Node* c : p->children) {
      if (chosen.count(c)) out.push_back(c->id);
      walk(c);
    }
  };
  walk(d.target);
  return out;
}

bool ListView::IsSelected(ListItemID item) const {
  const Impl& d = *impl_;
  const Node* n = d.Find(item);
  if (!n || item == 0) return false;
  const QModelIndex i = d.IndexOf(n);
  return i.isValid() && d.view->selectionModel()->isRowSelected(i.row(), i.parent());
}

ListItemData ListView::Cell(ListItemID item, ListPropertyID property) const {
  return impl_->Ask(item, property);
}

std::string ListView::CellText(ListItemID item, ListPropertyID property) const {
  const int logical = impl_->Logical(property);
  if (logical < 0) {
    Column c;
    c.desc.property = property;
    return impl_->Text(item, c);
  }
  return impl_->Text(item, impl_->columns[static_cast<std::size_t>(logical)]);
}

bool ListView::BeginEdit(ListItemID item, ListPropertyID property) {
  Impl& d = *impl_;
  const int logical = d.Logical(property);
  Node* n = d.Find(item);
  if (logical < 0 || !n || item == 0) return false;
  if (!(d.columns[static_cast<std::size_t>(logical)].desc.flags & kListColumnEditable)) return false;
  if (!d.AskBoolean(item, kListPropertyEditable, false)) return false;
  d.edit_item = item;
  d.edit_property = property;
  const QModelIndex i = d.IndexOf(n, logical);
  if (i.isValid() && d.view->isVisible()) d.view->edit(i);
  return true;
}

void ListView::CommitEdit(const std::string& text) {
  Impl& d = *impl_;
  const ListItemID item = d.edit_item;
  const ListPropertyID property = d.edit_property;
  d.edit_item = 0;
  d.edit_property = 0;
  if (item == 0 || !d.Find(item) || !d.callbacks.item_data) return;
  ListItemData data;
  data.SetText(text);
  d.callbacks.item_data(item, property, data, true);
  if (HasItem(item)) UpdateItems({item}, property);
}

bool ListView::IsEditing() const {
  return impl_->edit_item != 0;
}

void ListView::EndEdit() {
  Impl& d = *impl_;
  if (d.edit_item == 0) return;
  const Node* n = d.Find(d.edit_item);
  const int logical = d.Logical(d.edit_property);
  QWidget* editor = nullptr;
  if (n && logical >= 0) {
    const QModelIndex i = d.IndexOf(n, logical);
    if (i.isValid()) editor = d.view->indexWidget(i);
  }
  if (editor) {
    Q_EMIT d.delegate->commitData(editor);
    Q_EMIT d.delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
  }
  d.edit_item = 0;
  d.edit_property = 0;
}

void ListView::ClickCheckBox(ListItemID item, ListPropertyID property) {
  Impl& d = *impl_;
  if (!HasItem(item) || !d.callbacks.item_data) return;
  const bool on = d.Ask(item, property).check_box().value_or(false);
  ListItemData data;
  data.SetCheckBox(!on);
  d.callbacks.item_data(item, property, data, true);
  if (HasItem(item)) UpdateItems({item}, property);
}

void ListView::ScrollToTop() {
  impl_->view->scrollToTop();
  impl_->view->horizontalScrollBar()->setValue(0);
}

std::optional<Rect> ListView::CellRect(ListItemID item, ListPropertyID property) const {
  const Impl& d = *impl_;
  const int logical = d.Logical(property);
  const Node* n = item == 0 ? nullptr : d.Find(item);
  if (logical < 0 || !n) return std::nullopt;
  const QModelIndex i = d.IndexOf(n, logical);
  if (!i.isValid()) return std::nullopt;
  const QRect r = d.view->visualRect(i);
  if (r.isEmpty()) return std::nullopt;
  return FromQRect(QRectF(r));
}

ListItemID ListView::ItemAt(Point where) const {
  const QModelIndex i = impl_->view->indexAt(QPoint(int(where.x), int(where.y)));
  return i.isValid() ? static_cast<Node*>(i.internalPointer())->id : 0;
}

bool ListView::PressCell(ListItemID item, ListPropertyID property, Point where) {
  Impl& d = *impl_;
  if (!d.callbacks.cell_press || !HasItem(item)) return false;
  const auto cell = CellRect(item, property);
  if (!cell) return false;
  const int part = d.callbacks.cell_press(item, property, *cell, where);
  if (part <= 0) return part == kCellPressTaken;
  d.press_item = item;
  d.press_property = property;
  d.press_part = part;
  d.press_cell = *cell;
  d.press_inside = true;
  d.RepaintPressedCell();
  return true;
}

void ListView::TrackCell(Point where) {
  Impl& d = *impl_;
  if (d.press_part == 0) return;
  // Still over the button when the cell names the same button at the point.
  bool inside = false;
  if (HasItem(d.press_item) && d.callbacks.cell_press)
    inside = d.press_cell.Contains(where) &&
             d.callbacks.cell_press(d.press_item, d.press_property, d.press_cell, where) == d.press_part;
  if (inside != d.press_inside) {
    d.press_inside = inside;
    d.RepaintPressedCell();
  }
}

void ListView::ReleaseCell(Point where) {
  Impl& d = *impl_;
  if (d.press_part == 0) return;
  TrackCell(where);
  const ListItemID item = d.press_item;
  const ListPropertyID property = d.press_property;
  const int part = d.press_part;
  const bool inside = d.press_inside;
  d.press_item = 0;
  d.press_property = 0;
  d.press_part = 0;
  d.press_inside = false;
  d.RepaintPressedCell();
  if (inside && HasItem(item) && d.callbacks.cell_clicked) d.callbacks.cell_clicked(item, property, part);
}

int ListView::PressedPart() const {
  return impl_->press_part;
}

std::string ListView::HelpTag(ListItemID item, ListPropertyID property) const {
  const Impl& d = *impl_;
  if (!d.callbacks.help_tag || !HasItem(item)) return {};
  return d.callbacks.help_tag(item, property);
}

MenuSelection ListView::ShowContextMenu(bool header, Point where) {
  Impl& d = *impl_;
  if (!d.callbacks.context_menu) return {};
  MenuRef menu = d.callbacks.context_menu(header);
  if (!menu || menu->CountItems() == 0) return {};
  MenuRequest request;
  request.menu = menu;
  request.placement = MenuPlacement::kContextual;
  const QPoint global = d.view->viewport()->mapToGlobal(QPoint(int(where.x), int(where.y)));
  request.where = {double(global.x()), double(global.y())};
  MenuSelection chosen = GetPresenter().ShowMenu(request);
  if (chosen.chosen() && d.callbacks.menu_chosen) d.callbacks.menu_chosen(chosen);
  return chosen;
}

Drag ListView::DragOfSelection() const {
  const Impl& d = *impl_;
  Drag drag;
  drag.from_this_program = true;
  drag.allowed_actions = kDragActionMove;
  if (!d.callbacks.drag_item) return drag;
  for (ListItemID id : SelectedItems())
    if (auto item = d.callbacks.drag_item(id)) {
      if (item->object) drag.allowed_actions |= kDragActionCopy;
      drag.items.push_back(std::move(*item));
    }
  // Files and text go to other programs as copies.
  if (!drag.items.empty()) drag.allowed_actions |= kDragActionCopy;
  return drag;
}

bool ListView::AcceptsDrag(const Drag& drag, ListItemID target) {
  Impl& d = *impl_;
  return d.callbacks.accept_drag && d.callbacks.accept_drag(drag, HasItem(target) ? target : 0);
}

bool ListView::ReceiveDrag(const Drag& drag, ListItemID target) {
  Impl& d = *impl_;
  return d.callbacks.receive_drag && d.callbacks.receive_drag(drag, HasItem(target) ? target : 0);
}

void ListView::DragEnded(const Drag& drag, unsigned action) {
  Impl& d = *impl_;
  if (d.callbacks.drag_ended) d.callbacks.drag_ended(drag, action);
}

void ListView::Reveal(ListItemID item) {
  Impl& d = *impl_;
  const Node* n = d.Find(item);
  if (!n || item == 0) return;
  const QModelIndex i = d.IndexOf(n);
  if (i.isValid()) d.view->scrollTo(i);
}

void ListView::SetEventTarget(std::shared_ptr<runtime::EventTarget> target) {
  impl_->event_target = std::move(target);
}

bool ListView::KeyDown(std::uint8_t char_code) {
  if (!impl_->event_target) return false;
  auto event = MakeKeyDownEvent(char_code);
  return impl_->event_target->Send(*event) == runtime::kNoErr;
}

void ListView::SendDraw(DrawingContext& context) {
  if (!impl_->event_target) return;
  auto event = MakeDrawEvent(context);
  impl_->event_target->Send(*event);
}

void ListView::SendBoundsChanged(Size current, Size previous) {
  if (!impl_->event_target) return;
  auto event = MakeBoundsChangedEvent(current, previous);
  impl_->event_target->Send(*event);
}

int ListView::ColumnsWidth() const {
  int total = 0;
  for (int logical = 0; logical < static_cast<int>(impl_->columns.size()); ++logical)
    if (!impl_->header->isSectionHidden(logical)) total += impl_->header->sectionSize(logical);
  return total;
}

void ListView::SetScrollBarsShown(bool vertical, bool horizontal) {
  QTreeView* v = impl_->view;
  v->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  v->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  if (!vertical) v->verticalScrollBar()->setValue(0);
  if (!horizontal) v->horizontalScrollBar()->setValue(0);
}

bool ListView::VerticalScrollBarShown() const {
  return impl_->view->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
}

bool ListView::HorizontalScrollBarShown() const {
  return impl_->view->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
}

int ListView::HorizontalOffset() const {
  return impl_->view->horizontalScrollBar()->value();
}

void ListView::SetHorizontalOffset(int offset) {
  impl_->view->horizontalScrollBar()->setValue(offset);
}

void ListView::Embed(Control& pane) {
  QWidget* host = pane.widget();
  if (!host) return;
  impl_->event_target = pane.target();
  auto* layout = host->layout();
  if (!layout) {
    layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
  }
  impl_->view->setParent(host);
  layout->addWidget(impl_->view);
  impl_->view->show();
}

void ListView::SetSize(int width, int height) {
  impl_->view->resize(width, height);
}

Image ListView::Grab() const {
  QWidget* v = impl_->view;
  v->ensurePolished();
  if (!v->parentWidget() && !v->testAttribute(Qt::WA_WState_Created))
    v->setAttribute(Qt::WA_DontShowOnScreen);
  return FromQImage(v->grab().toImage());
}

bool ListView::GrabToPng(const std::string& path) const {
  return Grab().SavePng(path);
}

void ListView::FlushPainting() {
  QApplication::processEvents();
}

std::string FormatRelativeListDate(double absolute_time, double now) {
  const QTimeZone zone = QTimeZone::systemTimeZone();
  const auto toDate = [&](double t) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>((t + kSecondsFrom1970To2001) * 1000.0), zone);
  };
  const QDateTime when = toDate(absolute_time);
  const QDate today = toDate(now).date();
  const QLocale locale;
  const QString time = locale.toString(when.time(), QLocale::ShortFormat);
  if (when.date() == today) return FromQString(QStringLiteral("Today ") + time);
  if (when.date() == today.addDays(-1)) return FromQString(QStringLiteral("Yesterday ") + time);
  return FromQString(locale.toString(when.date(), QLocale::ShortFormat) + QStringLiteral(" ") + time);
}

}  // namespace toolbox
