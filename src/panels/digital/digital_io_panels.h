// Panels of the ASCII digital I/O modules. TfrmMR550 (8 inputs, 8 outputs) is the
// base; every other member differs from it only through the hooks below and the
// controls it hides, relabels or adds.
#pragma once

#include "panels/common/general_settings.h"
#include "panels/digital/digital_links.h"

#include <array>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;

namespace tavo {

class TavoMR530;
class TavoMR540;
class TavoMR550;
class TavoMR560;
class TavoRBase;
class TavoRDigitalInput;
class ModbusMapList;
class SettingsReader;

class TfrmMR550 : public GeneralSettingsPanel {
    Q_OBJECT
public:
    explicit TfrmMR550(QWidget* parent = nullptr);
    ~TfrmMR550() override;

    void InitModule(const PanelContext& context) override;
    // The Modbus variants only show the general settings: nothing to save or load.
    bool HasSettingsFile() const override { return protocol_ == DigitalProtocol::Ascii; }
    void SaveSettings() override;
    void LoadSettings() override;

    // Handlers of the form's events.
    void tmrUpdateDIDataTimer();
    void btSystemUpdateClick();
    void bitbtnDO0Click(int channel);
    void bitbtnSafeDO0Click(int channel);
    void btSafeSettingUpdateClick();

    static constexpr int kMaxOutputs = 12;
    static constexpr int kMaxInputs = 8;

    QLabel* lblProtocol;
    QComboBox* cmbPotocolSelect;
    QPushButton* btSystemUpdate;
    QGroupBox* grpSafe;
    std::array<QPushButton*, kMaxOutputs> bitbtnSafeDO{};
    QLineEdit* edtTimeoutSetting;
    QPushButton* btSafeSettingUpdate;
    QTabWidget* PageControl1;
    QWidget* TSData;
    QWidget* TSInvert;
    QGroupBox* grpDI;
    std::array<QPushButton*, kMaxInputs> bitbtnDI{};
    QLabel* lblDIHex;
    QLineEdit* edtDI_Hex;
    QGroupBox* grpDO;
    std::array<QPushButton*, kMaxOutputs> bitbtnDO{};
    QLabel* lblDOHex;
    QLineEdit* edtDO_Hex;
    QLabel* lblDOHighHex;
    QLineEdit* edtDOHigh_Hex;
    std::array<QCheckBox*, 16> chkCh{};
    QPushButton* btInvertUpdate;
    QPushButton* btInvertRefresh;
    QTimer* tmrUpdateDIData;
    // Modbus variants only (null otherwise).
    QGroupBox* grpModbusMapping = nullptr;
    ModbusMapList* lstviewModbus = nullptr;

protected:
    TfrmMR550(QWidget* parent, const QString& model,
              DigitalProtocol protocol = DigitalProtocol::Ascii);

    // The members' hooks.
    virtual void WriteProtocol();
    virtual bool ReadProtocol();
    virtual bool ReadSafeValue();
    virtual void RefreshData();
    virtual int DIChannelCount() const { return 8; }
    virtual int DOChannelCount() const { return 8; }
    virtual bool ReadInvert() { return true; }
    virtual bool WriteInvert() { return true; }
    virtual void RefreshGeneral();
    virtual void RefreshExtra() {}
    virtual bool CanWriteConfiguration() const { return true; }
    // How much of the firmware text the panel shows.
    virtual QString FirmwareText(const std::string& firmware) const;
    // The command form of the safe value.
    virtual bool WriteSafeValue(unsigned timeoutTenths, unsigned value);
    // Command objects beyond the two every member has (input-only modules read
    // through their own).
    virtual void CreateExtraObjects(const std::string&) {}
    // The object the ASCII state read goes through.
    virtual TavoRDigitalInput& StateReader();
    // Shows what a successful poll read, in the member's layout of the data area.
    virtual void ShowReading(const DioReading& reading);
    // Whether each poll reads the over-current groups too, and what they show; they
    // are shown before the outputs.
    virtual bool PollsFaults() const { return false; }
    virtual void ShowFaults(unsigned /*groups*/) {}

    // Every command object, the configuration one first.
    std::vector<TavoRBase*> Objects() const;
    void ShowOutputs(unsigned outputs, int count);
    void ShowInputs(unsigned inputs, int count);
    void ShowSafeValue();
    unsigned SafeValueMask() const { return (1u << DOChannelCount()) - 1; }

    // The model as the protocol objects' tables know it ("R550").
    const std::string& Model() const { return model_; }
    bool Modbus() const { return protocol_ == DigitalProtocol::Modbus; }

    std::unique_ptr<TavoMR550> mr550_;
    std::unique_ptr<TavoMR560> mr560_;
    std::vector<TavoRBase*> extra_;
    std::unique_ptr<DigitalIoLink> link_;
    std::array<int, kMaxOutputs> outputState_{};
    unsigned safeValue_ = 0;
    bool generalRead_ = false; // the last RefreshGeneral read the module

private:
    void BuildForm(const QString& model);
    void ApplySettingsFile(SettingsReader& reader);
    void ShowOnMap(const DioReading& reading, bool ok);

    DigitalProtocol protocol_;
    std::string model_;
};

// R510: seven inputs, no protocol selector.
class TfrmMR510 : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR510(QWidget* parent = nullptr);

protected:
    TfrmMR510(QWidget* parent, const QString& model);
    void WriteProtocol() override {}
    bool ReadProtocol() override;
    int DIChannelCount() const override { return 7; }
};

// R530: eight inputs, read through its own object; no outputs, no safe value.
class TfrmMR530 : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR530(QWidget* parent = nullptr);
    ~TfrmMR530() override;

protected:
    // Its safe value cannot be set, so it is not asked for either.
    bool ReadSafeValue() override { return true; }
    int DOChannelCount() const override { return 0; }
    void CreateExtraObjects(const std::string& address) override;
    TavoRDigitalInput& StateReader() override;

private:
    std::unique_ptr<TavoMR530> mr530_;
};

// R540: sixteen inputs; the output row shows inputs 8 to 15 and never drives
// anything.
class TfrmMR540 : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR540(QWidget* parent = nullptr);
    ~TfrmMR540() override;

protected:
    TfrmMR540(QWidget* parent, const QString& model,
              DigitalProtocol protocol = DigitalProtocol::Ascii);
    void WriteProtocol() override {}
    bool ReadProtocol() override;
    bool ReadSafeValue() override { return true; }
    int DIChannelCount() const override { return 16; }
    int DOChannelCount() const override { return 0; }
    void CreateExtraObjects(const std::string& address) override;
    TavoRDigitalInput& StateReader() override;
    void ShowReading(const DioReading& reading) override;

private:
    std::unique_ptr<TavoMR540> mr540_;
};

// R520: as R540 with the protocol selector and, from firmware A2.02 on, the
// "DI Invert" page (polling pauses while it is shown).
class TfrmMR520 : public TfrmMR540 {
    Q_OBJECT
public:
    explicit TfrmMR520(QWidget* parent = nullptr);

    void btInvertRefreshClick();
    void btInvertUpdateClick();
    void PageControl1Change(int index);

    // Whether a firmware text has the input inversion.
    static bool HasInvert(const QString& firmware);

protected:
    TfrmMR520(QWidget* parent, DigitalProtocol protocol);
    void WriteProtocol() override { TfrmMR550::WriteProtocol(); }
    bool ReadProtocol() override { return TfrmMR550::ReadProtocol(); }
    bool ReadInvert() override;
    bool WriteInvert() override;
    void RefreshGeneral() override;
    QString FirmwareText(const std::string& firmware) const override;
};

// R620 and R630: eight outputs, no inputs.
class TfrmMR620 : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR620(QWidget* parent = nullptr);

protected:
    TfrmMR620(QWidget* parent, const QString& model,
              DigitalProtocol protocol = DigitalProtocol::Ascii);
    int DIChannelCount() const override { return 0; }
};

class TfrmMR630 : public TfrmMR620 {
    Q_OBJECT
public:
    explicit TfrmMR630(QWidget* parent = nullptr);

protected:
    TfrmMR630(QWidget* parent, DigitalProtocol protocol);
};

// R610: four outputs shown; the module is polled as an eight-output one.
class TfrmMR610 : public TfrmMR620 {
    Q_OBJECT
public:
    explicit TfrmMR610(QWidget* parent = nullptr);
};

// R560S: twelve outputs with their own output and safe-value command forms.
class TfrmMR560S : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR560S(QWidget* parent = nullptr);

protected:
    TfrmMR560S(QWidget* parent, const QString& model,
               DigitalProtocol protocol = DigitalProtocol::Ascii);
    int DIChannelCount() const override { return 0; }
    int DOChannelCount() const override { return 12; }
    bool WriteSafeValue(unsigned timeoutTenths, unsigned value) override;
    TavoRDigitalInput& StateReader() override;
    void ShowReading(const DioReading& reading) override;
};

// R560SO: R560S with over-current protection of its three groups of four outputs.
class TfrmMR560SO : public TfrmMR560S {
    Q_OBJECT
public:
    explicit TfrmMR560SO(QWidget* parent = nullptr);

    void btClrErrorClick();

    QPushButton* btClrError;

protected:
    TfrmMR560SO(QWidget* parent, DigitalProtocol protocol);
    bool PollsFaults() const override { return true; }
    void ShowFaults(unsigned groups) override;
};

} // namespace tavo
