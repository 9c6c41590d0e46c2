#pragma once

#include <QDialog>
#include <QLocale>
#include <vector>

#include "quality/control_limits.h"
#include "quality/lot.h"

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QTableWidget;

namespace tolvane {

// Freezing control limits from the selected records: each record can be
// left out with a reason, the limits are computed again as they change,
// and the tests to judge with are chosen. On the logarithmic scale the
// limits are of log10 of the values. Save is enabled while the records
// used give limits and every record left out has its reason.
class FreezeDialog final : public QDialog {
  public:
    FreezeDialog(const Lot& lot, const QString& pattern, const std::vector<int>& tests,
                 QWidget* parent);
    const std::vector<Subgroup>& subgroups() const { return subgroups_; }
    const ControlLimits& limits() const { return limits_; }
    std::vector<int> tests() const;
    QTableWidget* records() const { return table_; }
    QLabel* preview() const { return preview_; }

  private:
    void recompute();

    Scale scale_;
    std::vector<Subgroup> subgroups_;
    ControlLimits limits_;
    QTableWidget* table_;
    QLabel* preview_;
    std::vector<QCheckBox*> tests_;
    QDialogButtonBox* buttons_;
};

// The tests for special causes as eight check boxes ("test_1" … "test_8").
std::vector<QCheckBox*> add_test_boxes(QWidget& parent, const std::vector<int>& chosen);

}  // namespace tolvane
