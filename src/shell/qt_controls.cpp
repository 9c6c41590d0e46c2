#include "shell/qt_controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

#include "records/cp1252.h"

namespace tolvane {

int RowListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : source_rows_ + static_cast<int>(ends_.size());
}

QVariant RowListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    return qstring(row(index.row()));
}

std::string RowListModel::row(int i) const {
    if (i < source_rows_) return source_->row(static_cast<size_t>(i));
    const auto at = static_cast<size_t>(i - source_rows_);
    const uint64_t begin = at == 0 ? 0 : ends_[at - 1];
    return text_.substr(begin, ends_[at] - begin);
}

void RowListModel::show(std::unique_ptr<RowSource> source) {
    beginResetModel();
    source_ = std::move(source);
    // A view counts its rows in an int; rows beyond that are not shown.
    source_rows_ = static_cast<int>(std::min<size_t>(source_->row_count(), INT_MAX / 2));
    std::string().swap(text_);
    std::vector<uint64_t>().swap(ends_);
    endResetModel();
}

void RowListModel::append(const std::vector<std::string>& rows) {
    const int room = INT_MAX - rowCount();
    if (rows.empty() || room <= 0) return;
    const int added = static_cast<int>(std::min<size_t>(rows.size(), static_cast<size_t>(room)));
    const int first = rowCount();
    beginInsertRows({}, first, first + added - 1);
    ends_.reserve(ends_.size() + static_cast<size_t>(added));
    for (int i = 0; i < added; ++i) {
        text_ += rows[static_cast<size_t>(i)];
        ends_.push_back(text_.size());
    }
    endInsertRows();
}

void RowListModel::clear() {
    beginResetModel();
    source_.reset();
    source_rows_ = 0;
    std::string().swap(text_);
    std::vector<uint64_t>().swap(ends_);
    endResetModel();
}

int RowListView::rows() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int RowListView::first_row() const {
    return verticalScrollBar()->value();
}

int RowListView::row_height() const {
    if (row_height_ == 0) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QModelIndex first = rows() > 0 ? model()->index(0, 0, rootIndex()) : QModelIndex();
        const int hint =
            first.isValid() ? itemDelegateForIndex(first)->sizeHint(option, first).height() : 0;
        row_height_ = std::max(1, hint > 0 ? hint : fontMetrics().lineSpacing());
    }
    return row_height_;
}

int RowListView::rows_in_view() const {
    return std::max(1, viewport()->height() / row_height());
}

int64_t RowListView::row_at(int y) const {
    return first_row() + (y < 0 ? -1 - (-1 - y) / row_height() : y / row_height());
}

QRect RowListView::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.parent() != rootIndex()) return {};
    // Rows far out of view are placed just beyond it, so nothing overflows.
    const int64_t top = std::clamp<int64_t>(int64_t{index.row()} - first_row(),
                                            -2 - int64_t{rows_in_view()}, 2 + int64_t{rows_in_view()});
    return QRect(0, static_cast<int>(top) * row_height(), viewport()->width(), row_height());
}

void RowListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) return;
    const int row = index.row(), in_view = rows_in_view();
    int first = first_row();
    switch (hint) {
        case PositionAtTop: first = row; break;
        case PositionAtBottom: first = row - in_view + 1; break;
        case PositionAtCenter: first = row - in_view / 2; break;
        case EnsureVisible:
            if (row < first) first = row;
            else if (row >= first + in_view) first = row - in_view + 1;
            break;
    }
    verticalScrollBar()->setValue(first);
}

QModelIndex RowListView::indexAt(const QPoint& point) const {
    const int64_t row = row_at(point.y());
    if (point.y() < 0 || row >= rows() || point.x() < 0 || point.x() >= viewport()->width())
        return {};
    return model()->index(static_cast<int>(row), 0, rootIndex());
}

void RowListView::doItemsLayout() {
    // Not QListView's layout, which walks every row.
    QAbstractItemView::doItemsLayout();
}

void RowListView::reset() {
    row_height_ = 0;
    QListView::reset();
}

void RowListView::rowsInserted(const QModelIndex& parent, int start, int end) {
    if (start == 0) row_height_ = 0;
    QListView::rowsInserted(parent, start, end);
}

void RowListView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        row_height_ = 0;
    QListView::changeEvent(event);
}

void RowListView::updateGeometries() {
    const int in_view = rows_in_view();
    verticalScrollBar()->setRange(0, std::max(0, rows() - in_view));
    verticalScrollBar()->setPageStep(in_view);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, 0);
    QAbstractItemView::updateGeometries();
}

void RowListView::scrollContentsBy(int, int) {
    viewport()->update();
}

int RowListView::verticalOffset() const {
    return static_cast<int>(std::min<int64_t>(int64_t{first_row()} * row_height(), INT_MAX));
}

// As QListView draws its rows, for the rows in view only.
void RowListView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State state = option.state;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const int count = rows(), h = row_height();
    for (int row = first_row(), y = 0; row < count && y < viewport()->height(); ++row, y += h) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = QRect(0, y, viewport()->width(), h);
        option.state = state;
        if (selectionModel() && selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (focus && index == current) option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

QModelIndex RowListView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const int count = rows();
    if (count == 0) return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return model()->index(0, 0, rootIndex());
    int64_t row = current.row();
    switch (action) {
        case MoveUp:
        case MovePrevious: --row; break;
        case MoveDown:
        case MoveNext: ++row; break;
        case MovePageUp: row -= rows_in_view(); break;
        case MovePageDown: row += rows_in_view(); break;
        case MoveHome: row = 0; break;
        case MoveEnd: row = count - 1; break;
        default: break;
    }
    return model()->index(static_cast<int>(std::clamp<int64_t>(row, 0, count - 1)), 0, rootIndex());
}

void RowListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    if (!selectionModel()) return;
    const QRect r = rect.normalized();
    const int count = rows();
    const int64_t top = std::max<int64_t>(row_at(std::max(0, r.top())), 0);
    const int64_t bottom = std::min<int64_t>(row_at(std::max(0, r.bottom())), count - 1);
    QItemSelection selection;
    if (top <= bottom) {
        selection.select(model()->index(static_cast<int>(top), 0, rootIndex()),
                         model()->index(static_cast<int>(bottom), 0, rootIndex()));
    }
    selectionModel()->select(selection, command);
}

QRegion RowListView::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex()) continue;
        region += visualRect(model()->index(range.top(), 0, rootIndex()))
                      .united(visualRect(model()->index(range.bottom(), 0, rootIndex())));
    }
    return region & viewport()->rect();
}

TimerAdapter::TimerAdapter(QTimer* timer, std::function<void()> tick, std::function<bool()> refused)
    : timer_(timer), refused_(std::move(refused)) {
    timer_->setInterval(500);
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(tick));
}

void TimerAdapter::set_enabled(bool enabled) {
    if (enabled == timer_->isActive()) return;  // an enabled timer keeps its phase
    if (enabled && refused_ && refused_()) return;
    if (enabled)
        timer_->start();
    else
        timer_->stop();
}

MenuItemAdapter::MenuItemAdapter(QAction* action, std::function<void()> click)
    : action_(action), checked_(action->isChecked()) {
    QObject::connect(action_, &QAction::triggered, action_, [this, click = std::move(click)] {
        action_->setChecked(checked_);  // undo Qt's own toggle
        click();
    });
}

void MenuItemAdapter::set_checked(bool checked) {
    checked_ = checked;
    action_->setChecked(checked);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

QValidator::State Cp1252Validator::validate(QString& input, int&) const {
    for (QChar c : input)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f)) return Invalid;
    return cp1252_can_hold(input.toStdString()) ? Acceptable : Invalid;
}

}  // namespace tolvane
