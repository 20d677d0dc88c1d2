// The per-channel rows of the multi-channel panels (analog input modules, rack
// analog slots, the data logger): an enable box, a range list, a read-only value
// field and its unit, one row a channel, with the enable mask and the range codes
// they stand for. Texts are only set when they change, so a poll that brings the
// same readings repaints nothing.
#pragma once

#include "devices/range_tables.h"

#include <QString>

#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QWidget;

namespace tavo {

// Sets the text unless the control shows it already; true when it changed.
bool SetTextIfChanged(QLineEdit* edit, const QString& text);
bool SetTextIfChanged(QLabel* label, const QString& text);

// The range items of `list` as combo box texts, in list order.
QStringList RangeTexts(RangeList list, int items = -1);
// Refills `combo` with the first `items` items of `list` (-1: all), keeping the
// selected position when the new list has it (no selection otherwise).
void FillRangeCombo(QComboBox* combo, RangeList list, int items = -1);

// Control names of one family's rows: the prefix is followed by the channel number
// ("chkEnableCh0"); the enable boxes are captioned "CH0", "CH1", ...
struct ChannelNames {
    const char* enable = "chkEnableCh";
    const char* range = "cmbTypeChangeCh";
    const char* value = "edtAIValCh";
    const char* unit = "labAIUnitCh";
    const char* firstUnit = "mA"; // what the unit labels show before the module is read
};

class ChannelArray {
public:
    // Builds `count` rows into `grid` from `firstRow` on: enable box, range list,
    // value and unit in columns 0 to 3. Every range list starts with `list`.
    ChannelArray(int count, RangeList list, QGridLayout* grid, int firstRow,
                 const ChannelNames& names = {});

    int Count() const { return static_cast<int>(enable.size()); }

    // Shows the first `channels` rows and hides the others.
    void ShowRows(int channels);
    // Shows or hides every range list (modules with one range for all channels).
    void ShowRangeLists(bool shown);
    bool RangeListsShown() const { return rangeListsShown_; }

    // The range table of one channel's list, and refilling every list; `items`
    // lists only the first items of the table (-1: all of them).
    void SetRanges(int channel, RangeList list, int items = -1);
    void SetAllRanges(RangeList list, int items = -1);
    RangeList Ranges(int channel) const { return lists_[Index(channel)]; }

    // Bit n for every checked box of the first `channels`.
    unsigned EnableMask(int channels) const;
    void ShowEnableMask(unsigned mask, int channels);
    void CheckAll(bool checked);
    // Gives channels 1 to `channels` - 1 the list position of channel 0.
    void FollowFirst(int channels);

    // Selects the item of `code` in the channel's list and shows the item's unit;
    // a code the list does not have (or -1) leaves the list without a selection and
    // the unit blank. Returns the item, or null.
    const RangeItem* ShowRangeCode(int channel, int code);
    // The code of the channel's selection; -1 when nothing is selected.
    int SelectedCode(int channel) const;
    // The item of the channel's selection, or null.
    const RangeItem* SelectedItem(int channel) const;

    // The channel's reading; repaints only when it changed.
    void SetValue(int channel, const QString& text);
    void SetUnit(int channel, const QString& text);

    std::vector<QCheckBox*> enable;
    std::vector<QComboBox*> range;
    std::vector<QLineEdit*> value;
    std::vector<QLabel*> unit;

private:
    std::size_t Index(int channel) const { return static_cast<std::size_t>(channel); }
    void ApplyVisibility();
    std::vector<RangeList> lists_;
    int rows_ = 0;
    bool rangeListsShown_ = true;
};

} // namespace tavo
