#include "modbus_point_views.h"

#include "form_controls.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tavo {
namespace {

QString ReferenceText(int value) {
    return QString("%1").arg(value, 6, 10, QChar('0'));
}

bool Bit(std::uint64_t mask, int n) {
    return n < 64 && ((mask >> n) & 1) != 0;
}

// The group's layout: the header label above a grid for the points.
QGridLayout* HeaderAndGrid(QGroupBox* group, const QString& objectName, const QString& headerName,
                           const QString& header, QLabel*& headerLabel) {
    group->setObjectName(objectName);
    auto* layout = new QVBoxLayout(group);
    headerLabel = NamedLabel(header, headerName, group);
    layout->addWidget(headerLabel);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    return grid;
}

} // namespace

PointLampGroup::PointLampGroup(const QString& caption, const QString& objectName,
                               const QString& buttonName, const QString& headerName,
                               const QString& header, int count, int perRow, QWidget* parent)
    : QGroupBox(caption, parent), headerValue_(header.toInt()) {
    QGridLayout* grid = HeaderAndGrid(this, objectName, headerName, header, header_);
    for (int n = 0; n < count; ++n) {
        auto* b = NamedButton(QString("Ch %1").arg(n), buttonName + QString::number(n), this);
        SetLamp(b, false);
        connect(b, &QPushButton::clicked, this, [this, n] { emit PointClicked(n); });
        grid->addWidget(b, n / perRow, n % perRow);
        buttons_.push_back(b);
    }
    shown_ = count;
    SetClickable(0);
}

QPushButton* PointLampGroup::Button(int n) const {
    return n >= 0 && n < Count() ? buttons_[static_cast<std::size_t>(n)] : nullptr;
}

void PointLampGroup::SetShown(int n) {
    shown_ = std::max(0, std::min(n, Count()));
    for (int i = 0; i < Count(); ++i)
        buttons_[static_cast<std::size_t>(i)]->setVisible(i < shown_);
}

void PointLampGroup::SetStates(std::uint64_t states) {
    for (int i = 0; i < Count(); ++i)
        if (!drawn_ || Bit(states, i) != Bit(states_, i))
            SetLamp(buttons_[static_cast<std::size_t>(i)], Bit(states, i));
    states_ = states;
    drawn_ = true;
}

void PointLampGroup::SetClickable(std::uint64_t mask) {
    for (int i = 0; i < Count(); ++i) {
        QPushButton* b = buttons_[static_cast<std::size_t>(i)];
        const bool clickable = Bit(mask, i);
        // An input point shows its state; clicking it would drive nothing.
        b->setAttribute(Qt::WA_TransparentForMouseEvents, !clickable);
        b->setFocusPolicy(clickable ? Qt::StrongFocus : Qt::NoFocus);
        b->setProperty("clickable", clickable);
    }
}

void PointLampGroup::ShowChannels(const QString& prefix) {
    for (int i = 0; i < Count(); ++i)
        buttons_[static_cast<std::size_t>(i)]->setText(prefix + QString::number(i));
}

void PointLampGroup::ShowReferences(int first) {
    for (int i = 0; i < Count(); ++i)
        buttons_[static_cast<std::size_t>(i)]->setText(ReferenceText(headerValue_ + first + i));
}

RegisterValueGroup::RegisterValueGroup(const QString& caption, const QString& objectName,
                                       const QString& labelName, const QString& editName,
                                       const QString& headerName, const QString& header, int count,
                                       QWidget* parent)
    : QGroupBox(caption, parent) {
    QGridLayout* grid = HeaderAndGrid(this, objectName, headerName, header, header_);
    const int perColumn = (count + 1) / 2;
    for (int n = 0; n < count; ++n) {
        auto* label = NamedLabel(QString("Ch %1").arg(n), labelName + QString::number(n), this);
        auto* edit = NamedEdit(editName + QString::number(n), this, 16, true);
        connect(edit, &QLineEdit::returnPressed, this, [this, n, edit] {
            if (!edit->isReadOnly()) emit ValueEntered(n, edit->text());
        });
        const int column = n / perColumn * 2;
        grid->addWidget(label, n % perColumn, column);
        grid->addWidget(edit, n % perColumn, column + 1);
        labels_.push_back(label);
        edits_.push_back(edit);
    }
    shown_ = count;
}

QLabel* RegisterValueGroup::Label(int n) const {
    return n >= 0 && n < Count() ? labels_[static_cast<std::size_t>(n)] : nullptr;
}

QLineEdit* RegisterValueGroup::Edit(int n) const {
    return n >= 0 && n < Count() ? edits_[static_cast<std::size_t>(n)] : nullptr;
}

void RegisterValueGroup::SetShown(int n) {
    shown_ = std::max(0, std::min(n, Count()));
    for (int i = 0; i < Count(); ++i) {
        labels_[static_cast<std::size_t>(i)]->setVisible(i < shown_);
        edits_[static_cast<std::size_t>(i)]->setVisible(i < shown_);
    }
}

void RegisterValueGroup::SetLabels(const std::function<QString(int)>& text) {
    for (int i = 0; i < Count(); ++i)
        labels_[static_cast<std::size_t>(i)]->setText(text(i));
}

void RegisterValueGroup::SetValue(int n, const QString& text) {
    QLineEdit* edit = Edit(n);
    if (!edit) return;
    if (!edit->isReadOnly() && edit->hasFocus() && edit->isModified()) return;
    edit->setText(text);
}

void RegisterValueGroup::SetEditable(std::uint64_t mask) {
    for (int i = 0; i < Count(); ++i)
        edits_[static_cast<std::size_t>(i)]->setReadOnly(!Bit(mask, i));
}

} // namespace tavo
