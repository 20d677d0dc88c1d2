#include "output_value_group.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

namespace tavo {
namespace {

const char* const kDecimalOutputKeys = "0123456789.+";
const char* const kHexOutputKeys = "0123456789.+ABCDEFabcdef";

} // namespace

OutputValueGroup::OutputValueGroup(const QString& caption, const QString& name, QWidget* parent,
                                   std::function<void()> onOutput)
    : QGroupBox(caption, parent) {
    setObjectName(name);
    auto* grid = new QGridLayout(this);
    const auto unit = [this](int n) {
        return lblUnit[static_cast<std::size_t>(n)] =
                   NamedLabel("mA", QString("lblUnit%1").arg(n), this);
    };

    edtAO_Val = NamedEdit("edtAO_Val", this);
    edtAO_Val->setText("0.0");
    FilterKeys(edtAO_Val, kDecimalOutputKeys, onOutput);
    grid->addWidget(CaptionLabel("Output Value:", this, edtAO_Val), 0, 0);
    grid->addWidget(edtAO_Val, 0, 1);
    grid->addWidget(unit(0), 0, 2);
    btnValueOutput = NamedButton("&Output", "btnValueOutput", this);
    grid->addWidget(btnValueOutput, 0, 3);
    connect(btnValueOutput, &QPushButton::clicked, this, onOutput);

    trabAOVal = Named(new QSlider(Qt::Horizontal, this), "trabAOVal");
    trabAOVal->setRange(limits_.min, limits_.max);
    grid->addWidget(trabAOVal, 1, 0, 1, 4);
    connect(trabAOVal, &QSlider::valueChanged, this, [this] { trabAOValChange(); });

    auto* steps = new QHBoxLayout;
    bitbtnLeftLeft = NamedButton("<<", "bitbtnLeftLeft", this);
    bitbtnLeft = NamedButton("<", "bitbtnLeft", this);
    bitbtnRight = NamedButton(">", "bitbtnRight", this);
    bitbtnRightRight = NamedButton(">>", "bitbtnRightRight", this);
    static const char* const kHints[4] = {"To trim -15.0uA", "To trim -1.5uA", "To trim 1.5uA",
                                          "To trim 15.0uA"};
    int tag = 1;
    for (QPushButton* b : {bitbtnLeftLeft, bitbtnLeft, bitbtnRight, bitbtnRightRight}) {
        b->setProperty("Tag", tag);
        b->setToolTip(kHints[tag - 1]);
        steps->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, tag] { bitbtnLeftLeftClick(tag); });
        ++tag;
    }
    steps->addStretch();
    btnStartup = NamedButton("Set as &Initial", "btnStartup", this);
    steps->addWidget(btnStartup);
    grid->addLayout(steps, 2, 0, 1, 4);

    edtLast_Val = NamedEdit("edtLast_Val", this, 32767, true);
    grid->addWidget(CaptionLabel("Last Value : ", this), 3, 0);
    grid->addWidget(edtLast_Val, 3, 1);
    grid->addWidget(unit(1), 3, 2);
    edtAO_CurrentReadBak = NamedEdit("edtAO_CurrentReadBak", this, 32767, true);
    lblReadBack = NamedLabel("ReadBack Value : ", "lblReadBack", this);
    grid->addWidget(lblReadBack, 4, 0);
    grid->addWidget(edtAO_CurrentReadBak, 4, 1);
    grid->addWidget(unit(2), 4, 2);
}

void OutputValueGroup::SetScale(OutputFormat format, TrackLimits limits) {
    const bool hexChanged = (format == OutputFormat::Hex) != (format_ == OutputFormat::Hex);
    format_ = format;
    limits_ = limits;
    // The edit keeps what it shows; only the bar follows the new scale.
    const QSignalBlocker quiet(trabAOVal);
    trabAOVal->setRange(limits.min, limits.max);
    if (hexChanged) {
        delete edtAO_Val->validator();
        FilterKeys(edtAO_Val, format == OutputFormat::Hex ? kHexOutputKeys : kDecimalOutputKeys);
    }
}

void OutputValueGroup::SetUnit(const QString& unit) {
    for (QLabel* label : lblUnit)
        label->setText(unit);
}

void OutputValueGroup::ShowReadBack(bool shown) {
    for (QWidget* w : {static_cast<QWidget*>(lblReadBack),
                       static_cast<QWidget*>(edtAO_CurrentReadBak), static_cast<QWidget*>(lblUnit[2])})
        w->setVisible(shown);
}

bool OutputValueGroup::UserIsEntering() const {
    // The focus child of the window, which holds even while the window is not the
    // active one.
    const QWidget* focus = window()->focusWidget();
    for (const QWidget* w :
         {static_cast<const QWidget*>(edtAO_Val), static_cast<const QWidget*>(trabAOVal),
          static_cast<const QWidget*>(bitbtnLeftLeft), static_cast<const QWidget*>(bitbtnLeft),
          static_cast<const QWidget*>(bitbtnRight), static_cast<const QWidget*>(bitbtnRightRight),
          static_cast<const QWidget*>(btnValueOutput)})
        if (focus == w) return true;
    return false;
}

void OutputValueGroup::ShowPolledValue(const std::string& text) {
    if (UserIsEntering()) return;
    edtAO_Val->setText(QString::fromStdString(text));
    if (const auto position = PolledTrackPosition(text, format_, limits_)) {
        // Only the bar moves: the edit keeps the module's own text.
        const QSignalBlocker quiet(trabAOVal);
        trabAOVal->setValue(*position);
    }
}

void OutputValueGroup::trabAOValChange() {
    edtAO_Val->setText(QString::fromStdString(TrackPositionText(trabAOVal->value(), format_)));
}

void OutputValueGroup::bitbtnLeftLeftClick(int tag) {
    trabAOVal->setValue(SteppedPosition(trabAOVal->value(), limits_, tag));
    // A step that stays put (at a limit) still shows where the bar stands.
    trabAOValChange();
}

} // namespace tavo
