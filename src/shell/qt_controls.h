#pragma once

// Thin adapters that let the program's logic drive the main window's Qt
// widgets through the window-control interfaces.

#include <QAbstractButton>
#include <QAbstractListModel>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QValidator>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_controls.h"
#include "qt/qt_text.h"

namespace tolvane {

// Rows of a display-only list: first those of a row source (the loaded
// backup file), which the model only asks for the rows in view, then the rows
// added since, kept as one UTF-8 buffer with end offsets.
class RowListModel final : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void show(std::unique_ptr<RowSource> source);
    void append(const std::vector<std::string>& rows);
    void clear();
    std::string row(int i) const;

  private:
    std::unique_ptr<RowSource> source_;
    int source_rows_ = 0;
    std::string text_;
    std::vector<uint64_t> ends_;
};

// The view of lst_meas and lst_backup: a QListView whose rows all have the
// height of the first one and which keeps nothing per row. (QListView itself
// notes the position of every row at each layout: 4 bytes and some time per
// row, which a backup file of years turns into hundreds of megabytes.) It
// scrolls by whole rows and draws only the rows in view.
class RowListView final : public QListView {
  public:
    using QListView::QListView;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;
    void reset() override;

  protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;

  private:
    int rows() const;
    int first_row() const;
    int row_height() const;
    int rows_in_view() const;
    // The row at height y of the viewport, not clamped.
    int64_t row_at(int y) const;

    mutable int row_height_ = 0;  // 0: not measured since the last change
};

// lst_meas, lst_backup.
class ListAdapter final : public ListControl {
  public:
    explicit ListAdapter(RowListModel& model) : model_(model) {}
    void add_row(std::string_view text) override { model_.append({std::string(text)}); }
    void add_rows(std::vector<std::string> rows) override { model_.append(rows); }
    void show_rows(std::unique_ptr<RowSource> rows) override { model_.show(std::move(rows)); }
    void clear() override { model_.clear(); }

  private:
    RowListModel& model_;
};

class LabelAdapter final : public LabelControl {
  public:
    explicit LabelAdapter(QLabel* label) : label_(label) {}
    void set_caption(std::string_view text) override { label_->setText(qstring(text)); }
    void set_visible(bool visible) override { label_->setVisible(visible); }
    // Its own flag, whether or not the window is shown yet.
    bool visible() const override { return !label_->isHidden(); }

  private:
    QLabel* label_;
};

class TextBoxAdapter final : public TextBoxControl {
  public:
    explicit TextBoxAdapter(QLineEdit* edit) : edit_(edit) {}
    std::string text() const override { return edit_->text().toStdString(); }

  private:
    QLineEdit* edit_;
};

class ButtonAdapter final : public ButtonControl {
  public:
    explicit ButtonAdapter(QAbstractButton* button) : button_(button) {}
    void set_enabled(bool enabled) override { button_->setEnabled(enabled); }
    bool enabled() const override { return button_->isEnabled(); }

  private:
    QAbstractButton* button_;
};

// A 500 ms timer whose ticks go to `tick`.
class TimerAdapter final : public TimerControl {
  public:
    // While `refused` says so, the timer does not start.
    TimerAdapter(QTimer* timer, std::function<void()> tick,
                 std::function<bool()> refused = nullptr);
    void set_enabled(bool enabled) override;
    bool enabled() const override { return timer_->isActive(); }

  private:
    QTimer* timer_;
    std::function<bool()> refused_;
};

// A menu item whose check mark only the program sets: a click leaves it as it
// was and runs `click`, which reads and sets it.
class MenuItemAdapter final : public MenuItemControl {
  public:
    MenuItemAdapter(QAction* action, std::function<void()> click);
    void set_checked(bool checked) override;
    bool checked() const override { return checked_; }

  private:
    QAction* action_;
    bool checked_ = false;
};

// A label that reports clicks (lb_backup).
class ClickableLabel final : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Accepts only text that databac.txt's code page, Windows-1252, can hold,
// and no control characters, so a description is stored as it was typed.
class Cp1252Validator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

}  // namespace tolvane
