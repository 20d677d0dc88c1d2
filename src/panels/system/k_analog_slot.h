// Panels of the rack's analog input slots, one design told on the thermocouple/mV
// slot K230: the slot's input range, data format and integration time (writable in
// the rack's INIT state), per-channel enable, live readings with burn-out and the
// channels' alarm lamps, zero, span and cold-junction calibration and the panel's
// settings file. Members that differ only in channel count, range list and
// calibration texts are rows of the member table:
//   TfrmMK230   K230 (thermocouple/mV, CJC), K210 (RTD), K220 (voltage),
//               K230P (a generic analog input slot, named by the module itself)
//   TfrmMK220H  K220H, K220UH: one range per channel, with "Enable", "Disable" and
//               "Range follow CH0" for the channel selection
// Every command goes to the rack controller's address with the slot selector of
// the tree node ("S2").
#pragma once

#include "points/k_analog_ranges.h"

#include "panels/common/panel_base.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class SettingsReader;
class SettingsWriter;
class TavoKAnalogAlarm;
class TavoKAnalogInput;
class TavoKBase;
class TavoMK230;

// The slot command object of an analog input member, seen through its parts.
struct KAnalogSlotObject {
    std::unique_ptr<TavoKBase> owner;
    TavoKBase* base = nullptr;
    TavoKAnalogInput* input = nullptr;
    TavoKAnalogAlarm* alarm = nullptr;
    TavoMK230* k230 = nullptr; // for the K230 kinds of the calibration dialogs
};
KAnalogSlotObject MakeKAnalogSlotObject(const KAnalogSlotMember& member, TavoComPort* port,
                                        const std::string& address, const std::string& slot);

// What a slot panel's settings file holds.
struct KSlotFileLines {
    int range = 0;
    int integration = 0;
    int format = 0;
    std::vector<bool> checked;
    std::vector<int> channelRanges; // per-channel members only
};
void WriteKSlotLines(SettingsWriter& file, const KSlotFileLines& lines, bool perChannel);
// Reads the lines after the module name; false (and the reader stopped) when a
// line is missing or its value is outside what the panel lists.
bool ReadKSlotLines(SettingsReader& file, int rangeCount, int channels, bool perChannel,
                    KSlotFileLines& out);

// The list texts of a range set, in list order.
QStringList KRangeTexts(KRangeSet set);

// A channel reading as the slot panels show it: "Burn-out" for an open sensor,
// the reading in engineering units or as four hexadecimal digits (two's
// complement); nullopt for anything else, which is never shown.
std::optional<QString> KReadingText(const std::string& reading, bool twosComplement);

class TfrmMK230 : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMK230(const KAnalogSlotMember& member, QWidget* parent = nullptr);
    ~TfrmMK230() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return true; }
    void SaveSettings() override;
    void LoadSettings() override;

    void tmrUpdateAIDataTimer();
    void btUpdateClick();
    void btUpdateChannelClick();
    void btRefreshClick();
    void btZeroCalClick();
    void btSpanCalClick();
    void btCJCCalClick();

    const KAnalogSlotMember& Member() const { return member_; }
    QString MainCaption() const;
    // The zero and span signals of the range in the list.
    QString ZeroText() const;
    QString SpanText() const;

    QGroupBox* grpMain;
    QGroupBox* GroupBoxSetting;
    QComboBox* cmbInputRanges;
    QComboBox* cmbDataFormat;
    QComboBox* cmbIntegrationTime;
    QPushButton* btUpdate;
    QPushButton* btSpanCal;
    QPushButton* btZeroCal;
    QPushButton* btCJCCal;
    QGroupBox* GroupBoxData;
    std::vector<QCheckBox*> chkEnableCh;
    std::vector<QComboBox*> cmbTypeChangeCh; // per-channel members only
    std::vector<QLineEdit*> edtAIValCh;
    std::vector<QLabel*> labAIUnitCh;
    std::vector<QLabel*> imgHiAlarmCh;
    std::vector<QLabel*> imgLoAlarmCh;
    QPushButton* btRefresh;
    QPushButton* btUpdateChannel;

protected:
    bool PerChannel() const { return !cmbTypeChangeCh.empty(); }
    // The general settings: the slot's own, and the channels' ranges for the
    // per-channel members.
    virtual bool RefreshGeneral();
    virtual bool WriteGeneral();
    bool RefreshChannels();
    void ShowUnits();
    KSlotFileLines CurrentLines() const;
    void ApplyLines(const KSlotFileLines& lines);
    KAnalogSlotObject module_;
    unsigned enabledMask_ = 0;
    bool channelsRead_ = false;
    bool twosComplement_ = false; // the slot's data format as last read

private:
    void BuildForm();
    void Calibrate(int mode);
    bool PollValues();
    bool PollAlarms();

    const KAnalogSlotMember& member_;
    QString moduleName_;
    std::vector<int> hiShown_, loShown_;
};

// K220H and K220UH: a range list per channel, and the channel selection buttons.
class TfrmMK220H : public TfrmMK230 {
    Q_OBJECT
public:
    explicit TfrmMK220H(const KAnalogSlotMember& member, QWidget* parent = nullptr);

    void btCheckAllClick();
    void btUncheckAllClick();
    void btFollowCh0Click();

    QPushButton* btCheckAll;
    QPushButton* btUncheckAll;
    QPushButton* btFollowCh0;

protected:
    bool RefreshGeneral() override;
    bool WriteGeneral() override;
};

void RegisterKAnalogSlotPanels();

} // namespace tavo
