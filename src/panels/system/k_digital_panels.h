// Panels of the rack's digital slots. TfrmMK510 (16 channels whose directions come
// from the slot's DIP switch, 8 watchdog outputs) is the base; the other members
// differ from it only by their row of the member table (which reads they make, how
// many watchdog outputs, where the channels sit in the state word, the captions).
#pragma once

#include "k_slot_panel.h"

#include "points/k_slot_data.h"

#include <array>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tavo {

class TavoMK510;

class TfrmMK510 : public KSlotPanel {
    Q_OBJECT
public:
    explicit TfrmMK510(QWidget* parent = nullptr);
    ~TfrmMK510() override;

    void InitModule(const PanelContext& context) override;

    // Handlers of the form's events.
    void tmrUpdateDIDataTimer();
    void bitbtnDO0Click(int channel); // all 16 buttons, channel = Tag
    void btnUpdateWDTClick();

    // The member operations.
    virtual bool ReadDIPSwitch();
    virtual bool ReadAlarmMask();
    virtual int ChannelCount() const { return 16; }
    virtual int WatchdogCount() const { return member_.watchdogCount; }
    virtual int FirstBit() const { return member_.firstBit; }

    static constexpr int kChannels = 16;

    QGroupBox* grpModule;
    QGroupBox* grpLowByte;                        // "Low Byte(Hex)": bitbtnDO0..7, edtDO_Hex
    QGroupBox* grpHighByte;                       // "High Byte(Hex)": bitbtnDI0..7, edtDI_Hex
    std::array<QPushButton*, kChannels> bitbtn{}; // by Tag: bitbtnDO0..7, bitbtnDI0..7
    QLineEdit* edtDO_Hex;
    QLineEdit* edtDI_Hex;
    QGroupBox* grpWDT;
    std::array<QCheckBox*, kChannels> chkWDT{};
    QPushButton* btnUpdateWDT;
    QTimer* tmrUpdateDIData;

    // The last polled state of the channel behind each button (0 or 1).
    int State(int button) const { return state_[static_cast<std::size_t>(button)]; }
    const KDigitalMember& Member() const { return member_; }

protected:
    TfrmMK510(QWidget* parent, const KDigitalMember& member);

private:
    void BuildForm();
    void RefreshWatchdog();
    bool Poll();
    bool Masked(int button) const;

    const KDigitalMember& member_;
    std::unique_ptr<TavoMK510> mk510_;
    std::array<int, kChannels> state_{};
};

// The members (all rows of one table).
class TfrmMK520 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK520(QWidget* parent = nullptr);
};
class TfrmMK530 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK530(QWidget* parent = nullptr);
};
class TfrmMK540 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK540(QWidget* parent = nullptr);
};
class TfrmMK550 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK550(QWidget* parent = nullptr);
};
class TfrmMK610 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK610(QWidget* parent = nullptr);
};
class TfrmMK620 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK620(QWidget* parent = nullptr);
};
class TfrmMK630 : public TfrmMK510 {
    Q_OBJECT
public:
    explicit TfrmMK630(QWidget* parent = nullptr);
};

} // namespace tavo
