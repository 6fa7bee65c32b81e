#include "curvedialog.h"
#include "curveplot.h"
#include "ui_curvedialog.h"

#include <QHBoxLayout>
#include <QPushButton>

CurveDialog::CurveDialog(QWidget *parent, std::int8_t *curve, std::int16_t minimum,
                         std::int16_t maximum, std::uint16_t xMaximum)
    : QDialog(parent)
    , ui(new Ui::CurveDialog)
    , curve(curve)
    , spinBoxes{}
    , sliders{}
    , labels{}
    , xMaximum(xMaximum)
{
    ui->setupUi(this);

    spinBoxes = {ui->spinBox_v0, ui->spinBox_v1, ui->spinBox_v2, ui->spinBox_v3,
                 ui->spinBox_v4, ui->spinBox_v5, ui->spinBox_v6, ui->spinBox_v7,
                 ui->spinBox_v8, ui->spinBox_v9, ui->spinBox_v10};
    sliders = {ui->slider_v0, ui->slider_v1, ui->slider_v2, ui->slider_v3,
               ui->slider_v4, ui->slider_v5, ui->slider_v6, ui->slider_v7,
               ui->slider_v8, ui->slider_v9, ui->slider_v10};
    labels = {ui->label_v0, ui->label_v1, ui->label_v2, ui->label_v3,
              ui->label_v4, ui->label_v5, ui->label_v6, ui->label_v7,
              ui->label_v8, ui->label_v9, ui->label_v10};

    // Labels are multiples of one step kept in single precision, the precision
    // the records hold their scales in; 'g' 6 prints them in shortest form.
    const float step = float(xMaximum) / 10.0f;
    for (int i = 0; i < kPoints; ++i) {
        const float x = float(i) * step;
        labels[i]->setText(QString::number(double(x), 'g', 6));
        labels[i]->setAlignment(Qt::AlignCenter);

        sliders[i]->setMinimum(minimum);
        sliders[i]->setMaximum(maximum);
        spinBoxes[i]->setMinimum(minimum);
        spinBoxes[i]->setMaximum(maximum);

        // Without an array there is nothing to show: the columns rest at the
        // lowest magnitude, and OK writes nothing.
        const int stored = curve ? int(curve[i]) : int(minimum);
        spinBoxes[i]->setValue(stored);
        sliders[i]->setValue(stored);
    }

    // The plot shows what the spin boxes hold; its edits go through them, so
    // OK and Cancel treat a drag like a moved slider.
    plot = new CurvePlot(this);
    plot->setObjectName(QStringLiteral("curve_plot"));
    plot->setRange(minimum, maximum);
    QStringList texts;
    for (int i = 0; i < kPoints; ++i) {
        texts << labels[i]->text();
        plot->setPoint(i, spinBoxes[i]->value());
        connect(spinBoxes[i], &QSpinBox::valueChanged, plot,
                [this, i](int value) { plot->setPoint(i, value); });
    }
    plot->setLabels(texts);
    connect(plot, &CurvePlot::pointEdited, this,
            [this](int index, int value) { spinBoxes[index]->setValue(value); });

    auto *shapes = new QHBoxLayout;
    shapes->setContentsMargins(3, 0, 3, 0);
    for (const auto shape : vorkast::curves::kCurveShapes) {
        const QString name = QString::fromLatin1(vorkast::curves::shapeName(shape));
        auto *button = new QPushButton(name, this);
        button->setObjectName(QStringLiteral("curve_shape_")
                              + name.toLower().replace(QLatin1Char('-'), QLatin1Char('_')));
        // Enter stays with OK wherever the focus is.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, shape, minimum, maximum] {
            const auto points = vorkast::curves::shapePoints(shape, minimum, maximum);
            for (int i = 0; i < kPoints; ++i)
                spinBoxes[i]->setValue(points[i]);
        });
        shapes->addWidget(button);
    }
    shapes->addStretch();
    ui->verticalLayout_2->insertLayout(0, shapes);
    ui->verticalLayout_2->insertWidget(1, plot, 3);
    ui->verticalLayout_2->setStretchFactor(ui->gridLayout, 2);
}

void CurveDialog::setInput(std::optional<double> input)
{
    plot->setMarker(input ? vorkast::curves::markerFraction(*input, xMaximum) : std::nullopt);
}

CurveDialog::~CurveDialog()
{
    delete ui;
}

// Connected by name after accept(), so it runs once the dialog has closed and
// before exec() returns to the caller.
void CurveDialog::on_buttonBox_accepted()
{
    if (!curve)
        return;
    // The sliders only mirror the spin boxes; the points are what the spin
    // boxes show, narrowed to their low 8 bits.
    for (int i = 0; i < kPoints; ++i)
        curve[i] = static_cast<std::int8_t>(spinBoxes[i]->value());
}
