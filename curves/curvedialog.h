#pragma once

#include <QDialog>

#include <array>
#include <cstdint>
#include <optional>

class CurvePlot;
class QLabel;
class QSlider;
class QSpinBox;

namespace Ui {
class CurveDialog;
}

// Modal editor of one 11-point response curve held by the caller. Edits stay
// in the widgets until OK, which writes all points back into the caller's
// array; Cancel, Escape and closing leave the array as it was.
class CurveDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kPoints = 11;

    // `curve` must stay valid while the dialog runs. `xMaximum` is the input
    // value of the last point and only sets the column labels.
    explicit CurveDialog(QWidget *parent = nullptr, std::int8_t *curve = nullptr,
                         std::int16_t minimum = 0, std::int16_t maximum = 0,
                         std::uint16_t xMaximum = 0);
    ~CurveDialog() override;

    // Where the curve's input is now, in the unit of the labels; none hides
    // the marker.
    void setInput(std::optional<double> input);

private slots:
    void on_buttonBox_accepted();

private:
    Ui::CurveDialog *ui;
    std::int8_t *curve;
    std::array<QSpinBox *, kPoints> spinBoxes;
    std::array<QSlider *, kPoints> sliders;
    std::array<QLabel *, kPoints> labels;
    CurvePlot *plot = nullptr;
    std::uint16_t xMaximum = 0;
};
