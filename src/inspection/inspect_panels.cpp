#include "inspection/inspect_panels.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "inspection/locale_numbers.h"
#include "qt/qt_text.h"
#include "quality/distribution.h"
#include "records/number.h"

namespace tolvane {

namespace {

const QString kSigmaTip =
    QObject::tr("σ = the record's sample standard deviation s (n − 1 in the denominator).");

QString count_text(size_t count, const QLocale& locale) {
    return locale.toString(qulonglong(count));
}

// A number in the user's form for an edit field: as many digits as it needs.
QString field_text(const std::optional<double>& number, const QLocale& locale) {
    if (!number) return {};
    return locale.toString(*number, 'g', 15);
}

}  // namespace

// --- StatisticsPanel -------------------------------------------------------------

namespace {

QString method_caption(const char* figure, Method method, Scale scale) {
    return QObject::tr("%1 (%2):").arg(figure, qstring(method_name(method, scale)));
}

}  // namespace

StatisticsPanel::StatisticsPanel(QWidget* parent)
    : QGroupBox(tr("Statistics"), parent), locale_(QLocale()) {
    setObjectName("statistics");
    form_ = new QFormLayout(this);
    form_->setLabelAlignment(Qt::AlignLeft);
    form_->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    add("n", tr("n:"), tr("How many values are numbers"));
    add("mean", tr("Mean:"));
    add("gmean", tr("Geometric mean:"),
        tr("10^m: m is the mean of log10 of the values above 0."));
    add("sd", tr("Std. deviation s:"), kSigmaTip);
    add("gsd", tr("Geometric sd:"),
        tr("×/÷ 10^s: s is the standard deviation (n − 1) of log10 of the values above 0; "
           "about two thirds of a lognormal spread lie within the geometric mean ×/÷ this "
           "factor."));
    add("min", tr("Minimum:"));
    add("max", tr("Maximum:"));
    add("range", tr("Range:"));
    QLabel* not_positive = add("not_positive", tr("Left out:"),
        tr("On the logarithmic scale a value of 0 or below has no logarithm: it is left out "
           "of the figures and the charts."));
    not_positive->setWordWrap(true);
    not_positive->setMinimumWidth(0);
    add("below", tr("Below LSL:"));
    add("above", tr("Above USL:"));
    add("share_out", tr("Out of tolerance:"));
    add("pp", QString());
    add("ppk", QString());
    add("pp_pct", QString());
    add("ppk_pct", QString());
    QLabel* normality = add("normality", tr("Normality:"),
                            tr("Anderson–Darling test of the values in the scale (from 8 "
                               "values on): normal while p ≥ 0.05."));
    normality->setWordWrap(true);
    normality->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    normality->setMinimumWidth(0);
    log_hint_ = new QLabel(
        tr("The values span more than two decades: the logarithmic scale may fit "
           "(Tolerance, Scale)."),
        this);
    log_hint_->setObjectName("log_hint");
    log_hint_->setWordWrap(true);
    log_hint_->setForegroundRole(QPalette::PlaceholderText);
    form_->addRow(log_hint_);
    QLabel* not_numbers = add("not_numbers", QString());
    not_numbers->setWordWrap(true);
    show_record(nullptr);
}

QLabel* StatisticsPanel::add(const QString& name, const QString& label, const QString& tip) {
    auto* value = new QLabel(this);
    value->setObjectName("stat_" + name);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-0000.0000000"));
    QString accessible = label;
    accessible.remove(':');
    value->setAccessibleName(accessible.isEmpty() ? tr("Fields that are not numbers") : accessible);
    if (name == "not_numbers") {
        value->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        form_->addRow(value);
    } else {
        // Captions that follow the scale get their text in show_rows.
        auto* caption = new QLabel(label, this);
        caption->setObjectName("caption_" + name);
        caption->setBuddy(value);
        form_->addRow(caption, value);
        if (!tip.isEmpty()) caption->setToolTip(tip);
    }
    if (!tip.isEmpty()) value->setToolTip(tip);
    return value;
}

QString StatisticsPanel::figure(const QString& name) const {
    const auto* label = findChild<QLabel*>("stat_" + name);
    return label ? label->text() : QString();
}

QString StatisticsPanel::caption(const QString& name) const {
    const auto* label = findChild<QLabel*>("caption_" + name);
    return label ? label->text() : QString();
}

bool StatisticsPanel::shown(const QString& name) const {
    const auto* label = findChild<QLabel*>("stat_" + name);
    return label && !label->isHidden();
}

void StatisticsPanel::show_rows(Scale scale) {
    const bool log = scale == Scale::kLog;
    const auto row = [this](const char* name, bool visible) {
        form_->setRowVisible(findChild<QLabel*>(QString("stat_") + name), visible);
    };
    row("mean", !log);
    row("sd", !log);
    row("gmean", log);
    row("gsd", log);
    row("not_positive", log);
    const struct {
        const char *name, *figure;
        Method method;
    } methods[] = {{"pp", "Pp", Method::kZScore},
                   {"ppk", "Ppk", Method::kZScore},
                   {"pp_pct", "Pp", Method::kPercentile},
                   {"ppk_pct", "Ppk", Method::kPercentile}};
    for (const auto& m : methods) {
        auto* caption = findChild<QLabel*>(QString("caption_") + m.name);
        auto* value = findChild<QLabel*>(QString("stat_") + m.name);
        const QString text = method_caption(m.figure, m.method, scale);
        caption->setText(text);
        QString accessible = text;
        value->setAccessibleName(accessible.remove(':'));
        const QString tip = qstring(method_formula(m.method, scale));
        caption->setToolTip(tip);
        value->setToolTip(tip);
    }
}

void StatisticsPanel::show_record(const InspectedRecord* inspected) {
    const Statistics s = inspected ? inspected->statistics : Statistics{};
    const Fit fit = inspected ? inspected->fit : Fit{};
    const Scale scale = inspected ? inspected->scale() : Scale::kLinear;
    const bool limits = inspected && s.has_limits;
    const auto set = [this](const char* name, const QString& text) {
        findChild<QLabel*>(QString("stat_") + name)->setText(text);
    };
    const QString none = QStringLiteral("—");
    show_rows(scale);
    // On the log scale n counts the values that have a logarithm.
    set("n", inspected ? count_text(scale == Scale::kLog ? fit.n : s.n, locale_) : none);
    // The values' own form for the figures in their unit; the mean and s
    // two decimals more, all within ten significant digits.
    std::vector<double> values;
    if (inspected)
        for (const Number& number : inspected->record.numbers())
            values.push_back(number.value());
    const NumberForm form = form_of(values), derived = form_of(values, 2);
    set("mean", display_text(s.mean, derived, locale_));
    set("sd", display_text(s.sd, derived, locale_));
    set("gmean", display_text(fit.gmean, derived, locale_));
    set("gsd", factor_text(fit.gsd, locale_, true));
    set("min", display_text(s.min, form, locale_));
    set("max", display_text(s.max, form, locale_));
    set("range", display_text(s.range, form, locale_));
    set("not_positive", fit.not_positive == 0
                            ? count_text(0, locale_)
                            : qstring(not_positive_words(fit.not_positive, fit.negative)));
    set("below", limits ? count_text(s.below, locale_) : none);
    set("above", limits ? count_text(s.above, locale_) : none);
    set("share_out", limits && s.share_out
                         ? locale_.toString(*s.share_out * 100, 'f', 1) + QStringLiteral(" %")
                         : none);
    const auto ratio = [&](const std::optional<double>& x) {
        return limits && x && std::isfinite(*x) ? locale_.toString(*x, 'f', 2) : none;
    };
    set("pp", ratio(fit.pp));
    set("ppk", ratio(fit.ppk));
    set("pp_pct", ratio(fit.percentile ? fit.percentile->pp : std::nullopt));
    set("ppk_pct", ratio(fit.percentile ? fit.percentile->ppk : std::nullopt));
    const QLocale locale = locale_;
    set("normality", inspected ? qstring(normality_words(fit, [locale](double x) {
        return locale.toString(x, 'g', 2).toStdString();
    }))
                               : none);
    log_hint_->setVisible(inspected && scale == Scale::kLinear && fit.log_may_fit);
    const size_t not_numbers = inspected ? inspected->record.not_numbers() : 0;
    QString remark = not_numbers == 0 ? QString()
                     : not_numbers == 1
                         ? tr("1 field is not a number, left out")
                         : tr("%1 fields are not numbers, left out")
                               .arg(count_text(not_numbers, locale_));
    // A record longer than the instrument sends was made by hand: only its
    // first values are read, and the figures say so.
    if (inspected && inspected->record.values_cut())
        remark = (remark.isEmpty() ? QString() : remark + "\n") +
                 tr("The figures use the first %1 of %2 values")
                     .arg(count_text(inspected->record.values.size(), locale_),
                          count_text(inspected->record.value_count, locale_));
    set("not_numbers", remark);
}

// --- ToleranceEditor -------------------------------------------------------------

ToleranceEditor::ToleranceEditor(Tolerances& tolerances, QWidget* parent)
    : QGroupBox(tr("Tolerance"), parent), tolerances_(tolerances), locale_(QLocale()) {
    setObjectName("tolerance");
    locale_.setNumberOptions(QLocale::RejectGroupSeparator);
    auto* column = new QVBoxLayout(this);
    source_ = new QLabel(this);
    source_->setObjectName("tol_source");
    source_->setWordWrap(true);
    column->addWidget(source_);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const auto field = [this, form](const char* name, const QString& label, QLabel** caption) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        auto* text = new QLabel(label, this);
        text->setBuddy(edit);
        form->addRow(text, edit);
        if (caption) *caption = text;
        connect(edit, &QLineEdit::textEdited, this, [this] { edited_ = true; });
        connect(edit, &QLineEdit::returnPressed, this, &ToleranceEditor::save);
        return edit;
    };
    pattern_ = field("tol_pattern", tr("&Applies to:"), nullptr);
    pattern_->setToolTip(
        tr("The description exactly, or its beginning followed by * "
           "(\"Shaft D25*\" applies to \"Shaft D25 lot 17\"). "
           "The longest match wins."));
    pattern_->setAccessibleName(tr("Applies to descriptions"));
    nominal_ = field("tol_nominal", tr("&Nominal:"), nullptr);
    nominal_->setPlaceholderText(tr("none: the limits below"));
    nominal_->setAccessibleName(tr("Nominal"));
    lower_ = field("tol_lower", QString(), &lower_label_);
    upper_ = field("tol_upper", QString(), &upper_label_);
    connect(nominal_, &QLineEdit::textChanged, this, &ToleranceEditor::label_sides);
    label_sides();
    scale_ = new QComboBox(this);
    scale_->setObjectName("scale");
    scale_->addItem(tr("Linear"), int(Scale::kLinear));
    scale_->addItem(tr("Logarithmic"), int(Scale::kLog));
    scale_->setAccessibleName(tr("Scale"));
    scale_->setToolTip(
        tr("Logarithmic: the figures and charts of this description are of log10 of the "
           "values, for quantities that spread over decades. Values of 0 or below are left "
           "out and counted."));
    auto* scale_label = new QLabel(tr("Scal&e:"), this);
    scale_label->setBuddy(scale_);
    form->addRow(scale_label, scale_);
    connect(scale_, &QComboBox::activated, this, [this] { edited_ = true; });
    column->addLayout(form);

    auto* buttons = new QHBoxLayout;
    save_ = new QPushButton(tr("&Save"), this);
    save_->setObjectName("tol_save");
    remove_ = new QPushButton(tr("&Remove"), this);
    remove_->setObjectName("tol_remove");
    remove_->setToolTip(tr("Remove your tolerance of this pattern"));
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(remove_);
    column->addLayout(buttons);
    connect(save_, &QPushButton::clicked, this, &ToleranceEditor::save);
    connect(remove_, &QPushButton::clicked, this, &ToleranceEditor::remove);

    message_ = new QLabel(this);
    message_->setObjectName("tol_message");
    message_->setWordWrap(true);
    message_->setAccessibleName(tr("Tolerance message"));
    column->addWidget(message_);
    column->addStretch();
    show_record(nullptr);
}

void ToleranceEditor::label_sides() {
    const bool deviations = !nominal_->text().trimmed().isEmpty();
    lower_label_->setText(deviations ? tr("&Lower deviation:") : tr("&Lower limit (LSL):"));
    upper_label_->setText(deviations ? tr("&Upper deviation:") : tr("&Upper limit (USL):"));
    lower_->setAccessibleName(deviations ? tr("Lower deviation") : tr("Lower limit"));
    upper_->setAccessibleName(deviations ? tr("Upper deviation") : tr("Upper limit"));
    const QString example = locale_.toString(-0.021);
    lower_->setPlaceholderText(deviations ? tr("e.g. %1; empty: no lower side").arg(example)
                                          : tr("empty: no lower side"));
    upper_->setPlaceholderText(tr("empty: no upper side"));
}

void ToleranceEditor::show_record(const InspectedRecord* inspected) {
    std::optional<std::string> description;
    if (inspected) description = inspected->record.description.value_or(std::string());
    const bool same = description == description_;
    description_ = description;
    setEnabled(inspected != nullptr);
    const std::optional<Tolerances::Match> match = inspected ? inspected->tolerance : std::nullopt;
    if (!inspected)
        source_->setText(tr("Select a record to set the tolerance of its description."));
    else if (!match)
        source_->setText(tr("No tolerance applies to this description yet."));
    else
        source_->setText((match->from_user ? tr("Applies from your settings: %1")
                                           : tr("Applies from this computer's settings: %1"))
                             .arg(qstring(match->entry.pattern)));
    // What the user is typing stays until saved or removed.
    if (edited_ && inspected) return;
    if (!same) message_->clear();
    fill(description, match);
}

void ToleranceEditor::fill(const std::optional<std::string>& description,
                           const std::optional<Tolerances::Match>& match) {
    edited_ = false;
    if (match) {
        pattern_->setText(qstring(match->entry.pattern));
        nominal_->setText(field_text(match->entry.nominal, locale_));
        lower_->setText(field_text(match->entry.lower, locale_));
        upper_->setText(field_text(match->entry.upper, locale_));
        scale_->setCurrentIndex(scale_->findData(int(match->entry.scale)));
    } else {
        pattern_->setText(description ? qstring(*description) : QString());
        nominal_->clear();
        lower_->clear();
        upper_->clear();
        scale_->setCurrentIndex(0);
    }
}

void ToleranceEditor::say(const QString& text, bool problem) {
    message_->setText(text);
    message_->setStyleSheet(problem ? "color: #a51d2d; font-weight: bold;" : QString());
    message_->setAccessibleDescription(text);
}

bool ToleranceEditor::read(QLineEdit* field, const QString& name, std::optional<double>& number) {
    QString text = field->text().trimmed();
    number.reset();
    if (text.isEmpty()) return true;
    text.replace(QChar(0x2212), locale_.negativeSign());  // a typographic minus
    bool ok = false;
    const double value = locale_.toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) {
        say(tr("%1: \"%2\" is not a number. Write it as, for example, %3.")
                .arg(name, field->text(), locale_.toString(-0.021)),
            true);
        field->setFocus();
        field->selectAll();
        return false;
    }
    number = value;
    return true;
}

void ToleranceEditor::save() {
    ToleranceEntry entry;
    entry.pattern = pattern_->text().trimmed().toStdString();
    const bool deviations = !nominal_->text().trimmed().isEmpty();
    if (!read(nominal_, tr("Nominal"), entry.nominal) ||
        !read(lower_, deviations ? tr("Lower deviation") : tr("Lower limit"), entry.lower) ||
        !read(upper_, deviations ? tr("Upper deviation") : tr("Upper limit"), entry.upper))
        return;
    entry.scale = Scale(scale_->currentData().toInt());
    // A tolerance that cannot be kept is refused with the reason, unsaved.
    const Status saved = tolerances_.set_tolerance(entry);
    if (!saved.ok()) {
        say(qstring(saved.reason()), true);
        return;
    }
    edited_ = false;
    say(tr("Saved for \"%1\".").arg(qstring(entry.pattern)), false);
    if (on_changed_) on_changed_();
}

void ToleranceEditor::remove() {
    const std::string pattern = pattern_->text().trimmed().toStdString();
    const Status removed = tolerances_.remove(pattern);
    if (!removed.ok()) {
        say(tr("Not removed: %1").arg(qstring(removed.reason())), true);
        return;
    }
    edited_ = false;
    say(tr("Your tolerance for \"%1\" is removed.").arg(qstring(pattern)), false);
    if (on_changed_) on_changed_();
}

}  // namespace tolvane
