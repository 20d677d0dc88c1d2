#include "value_slider.h"

#include "form_controls.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace tavo {

QString OutputValueText(double value) {
    return QString::asprintf("%06.3f", value);
}

ValueSlider::ValueSlider(QWidget* parent, QGridLayout* grid, int row, int column,
                         const QString& editName, const QString& barName, const QString& buttonName,
                         const QString& buttonCaption)
    : QObject(parent) {
    edit = NamedEdit(editName, parent, 6);
    bar = Named(new QSlider(Qt::Horizontal, parent), barName);
    bar->setPageStep(1000);
    bar->setSingleStep(100);
    button = NamedButton(buttonCaption, buttonName, parent);
    grid->addWidget(edit, row, column);
    grid->addWidget(bar, row, column + 1);
    grid->addWidget(button, row, column + 2);
    connect(edit, &QLineEdit::returnPressed, this, &ValueSlider::SendRequested);
    connect(button, &QPushButton::clicked, this, &ValueSlider::SendRequested);
    connect(bar, &QSlider::valueChanged, this, [this](int position) {
        if (!showing_) BarMoved(position);
    });
    // Dragging sends once, when the bar is let go; a step (keys, page clicks) sends
    // at once. When actionTriggered comes the position is already the new one.
    connect(bar, &QSlider::sliderReleased, this, [this] {
        BarMoved(bar->sliderPosition());
        emit SendRequested();
    });
    connect(bar, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction)
            return;
        BarMoved(bar->sliderPosition());
        emit SendRequested();
    });
}

void ValueSlider::SetLimits(double low, double high) {
    low_ = low;
    high_ = high;
    showing_ = true;
    bar->setRange(static_cast<int>(std::lround(low * 1000)),
                  static_cast<int>(std::lround(high * 1000)));
    showing_ = false;
}

void ValueSlider::ShowValue(double value) {
    showing_ = true;
    edit->setText(OutputValueText(value));
    bar->setValue(static_cast<int>(std::lround(value * 1000)));
    showing_ = false;
}

double ValueSlider::BarValue() const {
    return bar->sliderPosition() / 1000.0;
}

void ValueSlider::BarMoved(int position) {
    edit->setText(OutputValueText(position / 1000.0));
}

} // namespace tavo
