// The Z-series panels: the Z350 controller (Z351, Z352) and its I/O slot modules
// Z320 and Z310 (analog inputs, analog outputs, digital inputs and outputs).
#pragma once

#include "panels/common/panel_base.h"
#include "points/z_series_data.h"

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
class QTabWidget;
class QTreeWidget;
class QWidget;

namespace tavo {

class ValueSlider;
class ZelMZ320;
class ZelMZ350;

class TfrmMZ320 : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMZ320(QWidget* parent = nullptr);
    ~TfrmMZ320() override;

    void InitModule(const PanelContext& context) override;

    // Channel counts and title of this member of the family.
    virtual int AICount() const { return 4; }
    virtual int AOCount() const { return 4; }
    virtual int DICount() const { return 8; }
    virtual int DOCount() const { return 4; }
    virtual QString Title() const { return "ZEL-Z320"; }

    void tmrUpdateDataTimer();
    void btAIUpdateClick();
    void btRangeFollowClick();
    void btAIEnableClick(bool on);
    void btAICalClick(bool span);
    void AORangeChange(int c);
    void AOSendClick(int c);
    void btAOCalClick(bool span);
    void DIOButtonClick(int n, bool output);

    QGroupBox* grpModule = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TSAnalogInput = nullptr;
    QWidget* TSAnalogOutput = nullptr;
    QWidget* TSDigital = nullptr;
    QLineEdit* edtAIDataFormat = nullptr;
    QLineEdit* edtAODataFormat = nullptr;
    std::vector<QCheckBox*> chkAICh;
    std::vector<QComboBox*> cmbAIRange;
    std::vector<QLineEdit*> edtAIValue;
    std::vector<QLabel*> labAIUnit;
    std::vector<QComboBox*> cmbAORange;
    std::vector<ValueSlider*> aoOutput;
    std::vector<QPushButton*> btDI;
    std::vector<QPushButton*> btDO;
    QLineEdit* edtDIValue = nullptr;
    QLineEdit* edtDOValue = nullptr;
    QPushButton* btAIUpdate = nullptr;
    QPushButton* btRangeFollow = nullptr;
    QPushButton* btAIEnable = nullptr;
    QPushButton* btAIDisable = nullptr;
    QPushButton* btAIZeroCal = nullptr;
    QPushButton* btAISpanCal = nullptr;
    QPushButton* btAOZeroCal = nullptr;
    QPushButton* btAOSpanCal = nullptr;

    ZelMZ320* Module() const { return module_.get(); }
    int SavedTimeOut() const { return savedTimeOut_; }
    bool Blink() const { return blink_; }

private:
    void BuildForm();
    void BuildAIPage();
    void BuildAOPage();
    void BuildDIOPage();
    bool RefreshAIStatus();
    bool RefreshAO();
    bool PollAI();
    bool PollAO();
    bool PollDIO();
    void ShowAOType(int c, int position);
    void ShowDIO(unsigned outputs, unsigned inputs);
    // Each analog output's last value, nothing for one that could not be read.
    std::vector<std::optional<double>> ReadOutputs();
    // Writes back each output that no longer holds its value in `before`; false
    // when a write fails.
    bool RestoreOutputs(const std::vector<std::optional<double>>& before);
    void PollMark(bool ok, const QString& okText, const QString& failText);

    std::unique_ptr<ZelMZ320> module_;
    std::vector<int> aiCodes_;
    std::vector<bool> doState_;
    int savedTimeOut_ = -1;
    bool blink_ = false;
    bool built_ = false;
};

class TfrmMZ310 : public TfrmMZ320 {
    Q_OBJECT
public:
    using TfrmMZ320::TfrmMZ320;
    int AICount() const override { return 3; }
    int AOCount() const override { return 3; }
    int DICount() const override { return 6; }
    int DOCount() const override { return 2; }
    QString Title() const override { return "ZEL-Z310"; }
};

class TfrmMZ350 : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMZ350(QWidget* parent = nullptr);
    ~TfrmMZ350() override;

    void InitModule(const PanelContext& context) override;

    void tmrPollingTimer();
    void btUpdateClick();
    void btRefreshClick();

    // Description of a slot module by its designation ("Z320"), or the unknown
    // text with the code.
    static QString SlotDescription(const std::string& designation, const std::string& code);

    QGroupBox* grpModule = nullptr;
    QLineEdit* edtAddress_Dec = nullptr;
    QLineEdit* edtAddress_Hex = nullptr;
    QComboBox* cmbBaudRate = nullptr;
    QCheckBox* chkCheckSum = nullptr;
    QLineEdit* edtFirmwareVer = nullptr;
    QLineEdit* edtDeviceInstance = nullptr;
    QComboBox* cmbProtocol = nullptr;
    QPushButton* btUpdate = nullptr;
    QPushButton* btRefresh = nullptr;
    QTreeWidget* lvModules = nullptr;

    static constexpr int kSlotsZ351 = 4;
    static constexpr int kSlotsZ352 = 8;

private:
    bool RefreshGeneral();
    bool RefreshProtocol();
    bool RefreshModules();
    bool RefreshAll();
    // Rows "0" to count - 1 with nothing in them yet.
    void ListSlots(int count);

    std::unique_ptr<ZelMZ350> module_;
    std::string name_; // the controller's model name, as last read
};

} // namespace tavo
