#pragma once

#include <QGroupBox>
#include <QLocale>
#include <functional>
#include <optional>
#include <string>

#include "inspection/inspect_models.h"
#include "quality/tolerances.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QFormLayout;

namespace tolvane {

// The figures of the selected record: n, mean, sd, min, max, range, and with
// limits the counts below and above, the share out of tolerance, Pp and Ppk
// by the Z-score and the percentile method, and the normality check. On the
// logarithmic scale the geometric mean and sd take the place of the mean and
// sd, and the values of 0 or below are counted. A figure that does not exist
// shows "—".
class StatisticsPanel final : public QGroupBox {
  public:
    explicit StatisticsPanel(QWidget* parent = nullptr);
    void show_record(const InspectedRecord* inspected);
    // The figure shown under `name` ("n", "mean", "sd", "gmean", "gsd", ...
    // "ppk", "pp_pct", "ppk_pct", "normality", "not_positive", "not_numbers").
    QString figure(const QString& name) const;
    // The caption of a figure ("Pp (Z-score, normal):").
    QString caption(const QString& name) const;
    // Whether a figure's row is shown (the scale hides some).
    bool shown(const QString& name) const;
    QLabel* log_hint() const { return log_hint_; }

  private:
    QLabel* add(const QString& name, const QString& label, const QString& tip = {});
    void show_rows(Scale scale);
    QLocale locale_;
    QFormLayout* form_;
    QLabel* log_hint_;
};

// Sets the tolerance of a description: nominal with lower and upper
// deviation, or the limits themselves; either side may stay empty. Numbers
// are read in the user's regional form; what cannot be kept is refused with
// a message beside the fields, and nothing is saved.
class ToleranceEditor final : public QGroupBox {
  public:
    ToleranceEditor(Tolerances& tolerances, QWidget* parent = nullptr);

    // The record selected: its description and the tolerance that applies.
    // Fields the user is editing are left alone.
    void show_record(const InspectedRecord* inspected);
    // Called after a tolerance was saved or removed.
    void set_on_changed(std::function<void()> changed) { on_changed_ = std::move(changed); }

    QLineEdit* pattern() const { return pattern_; }
    QLineEdit* nominal() const { return nominal_; }
    QLineEdit* lower() const { return lower_; }
    QLineEdit* upper() const { return upper_; }
    // "Linear" or "Logarithmic": the scale of the characteristic's figures.
    QComboBox* scale() const { return scale_; }
    QPushButton* save_button() const { return save_; }
    QLabel* message() const { return message_; }

    void save();
    void remove();

  private:
    void fill(const std::optional<std::string>& description,
              const std::optional<Tolerances::Match>& match);
    void label_sides();
    void say(const QString& text, bool problem);
    // The field's number; false (and a message) when it holds something else.
    bool read(QLineEdit* field, const QString& name, std::optional<double>& number);

    Tolerances& tolerances_;
    QLocale locale_;
    std::function<void()> on_changed_;
    QLabel* source_;
    QLineEdit* pattern_;
    QLineEdit* nominal_;
    QLineEdit* lower_;
    QLineEdit* upper_;
    QLabel* lower_label_;
    QLabel* upper_label_;
    QComboBox* scale_;
    QPushButton* save_;
    QPushButton* remove_;
    QLabel* message_;
    bool edited_ = false;
    std::optional<std::string> description_;
};

}  // namespace tolvane
