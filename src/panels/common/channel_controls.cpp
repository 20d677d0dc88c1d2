#include "channel_controls.h"

#include "form_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace tavo {

bool SetTextIfChanged(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return false;
    edit->setText(text);
    return true;
}

bool SetTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() == text) return false;
    label->setText(text);
    return true;
}

QStringList RangeTexts(RangeList list, int items) {
    QStringList texts;
    for (const RangeItem& item : RangeItems(list)) {
        if (items >= 0 && texts.size() >= items) break;
        texts << item.text;
    }
    return texts;
}

void FillRangeCombo(QComboBox* combo, RangeList list, int items) {
    const int selected = combo->currentIndex();
    const QStringList texts = RangeTexts(list, items);
    combo->clear();
    combo->addItems(texts);
    combo->setCurrentIndex(selected < texts.size() ? selected : -1);
}

ChannelArray::ChannelArray(int count, RangeList list, QGridLayout* grid, int firstRow,
                           const ChannelNames& names) {
    QWidget* parent = grid->parentWidget();
    for (int n = 0; n < count; ++n) {
        const QString number = QString::number(n);
        auto* box = Named(new QCheckBox("CH" + number, parent), names.enable + number);
        auto* combo = NamedCombo(names.range + number, RangeTexts(list), parent);
        // Nothing is selected until the module has been read, so an Update can
        // never send a range nobody chose.
        combo->setCurrentIndex(-1);
        auto* edit = NamedEdit(names.value + number, parent, 32767, true);
        auto* label = NamedLabel(names.firstUnit, names.unit + number, parent);
        const int row = firstRow + n;
        grid->addWidget(box, row, 0);
        grid->addWidget(combo, row, 1);
        grid->addWidget(edit, row, 2);
        grid->addWidget(label, row, 3);
        enable.push_back(box);
        range.push_back(combo);
        value.push_back(edit);
        unit.push_back(label);
        lists_.push_back(list);
    }
    rows_ = count;
}

void ChannelArray::ShowRows(int channels) {
    rows_ = channels;
    ApplyVisibility();
}

void ChannelArray::ShowRangeLists(bool shown) {
    rangeListsShown_ = shown;
    ApplyVisibility();
}

void ChannelArray::ApplyVisibility() {
    for (int n = 0; n < Count(); ++n) {
        const bool shown = n < rows_;
        const std::size_t i = Index(n);
        enable[i]->setVisible(shown);
        range[i]->setVisible(shown && rangeListsShown_);
        value[i]->setVisible(shown);
        unit[i]->setVisible(shown);
    }
}

void ChannelArray::SetRanges(int channel, RangeList list, int items) {
    lists_[Index(channel)] = list;
    FillRangeCombo(range[Index(channel)], list, items);
}

void ChannelArray::SetAllRanges(RangeList list, int items) {
    for (int n = 0; n < Count(); ++n)
        SetRanges(n, list, items);
}

unsigned ChannelArray::EnableMask(int channels) const {
    unsigned mask = 0;
    for (int n = 0; n < channels && n < Count(); ++n)
        if (enable[Index(n)]->isChecked()) mask |= 1u << n;
    return mask;
}

void ChannelArray::ShowEnableMask(unsigned mask, int channels) {
    for (int n = 0; n < channels && n < Count(); ++n)
        enable[Index(n)]->setChecked((mask >> n) & 1u);
}

void ChannelArray::CheckAll(bool checked) {
    for (QCheckBox* box : enable)
        box->setChecked(checked);
}

void ChannelArray::FollowFirst(int channels) {
    if (range.empty()) return;
    const int first = range.front()->currentIndex();
    for (int n = 1; n < channels && n < Count(); ++n)
        range[Index(n)]->setCurrentIndex(first < range[Index(n)]->count() ? first : -1);
}

const RangeItem* ChannelArray::ShowRangeCode(int channel, int code) {
    const std::size_t i = Index(channel);
    int index = code < 0 ? -1 : RangeCodeToIndex(lists_[i], code);
    if (index >= range[i]->count()) index = -1; // the list leaves that range out
    range[i]->setCurrentIndex(index);
    const RangeItem* item =
        index < 0 ? nullptr : &RangeItems(lists_[i])[static_cast<std::size_t>(index)];
    SetUnit(channel, item ? item->unit : "");
    return item;
}

int ChannelArray::SelectedCode(int channel) const {
    const std::size_t i = Index(channel);
    return RangeIndexToCode(lists_[i], range[i]->currentIndex());
}

const RangeItem* ChannelArray::SelectedItem(int channel) const {
    const std::size_t i = Index(channel);
    const int index = range[i]->currentIndex();
    const auto items = RangeItems(lists_[i]);
    return index < 0 || index >= range[i]->count() ||
                   static_cast<std::size_t>(index) >= items.size()
               ? nullptr
               : &items[static_cast<std::size_t>(index)];
}

void ChannelArray::SetValue(int channel, const QString& text) {
    SetTextIfChanged(value[Index(channel)], text);
}

void ChannelArray::SetUnit(int channel, const QString& text) {
    SetTextIfChanged(unit[Index(channel)], text);
}

} // namespace tavo
