#include "shell/qt_controls.h"

#include <QMouseEvent>
#include <algorithm>
#include <climits>

#include "records/cp1252.h"

namespace tolvane {

QString qstring(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

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

TimerAdapter::TimerAdapter(QTimer* timer, std::function<void()> tick) : timer_(timer) {
    timer_->setInterval(500);
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(tick));
}

void TimerAdapter::set_enabled(bool enabled) {
    if (enabled == timer_->isActive()) return;  // an enabled timer keeps its phase
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
