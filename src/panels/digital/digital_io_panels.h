// Panels of the ASCII digital I/O modules. TfrmMR550 (8 inputs, 8 outputs) is the
// base; every other member differs from it only through the hooks below and the
// controls it hides, relabels or adds.
#pragma once

#include "panels/common/general_settings.h"

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
class SettingsReader;

class TfrmMR550 : public GeneralSettingsPanel {
    Q_OBJECT
public:
    explicit TfrmMR550(QWidget* parent = nullptr);
    ~TfrmMR550() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return true; }
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

protected:
    TfrmMR550(QWidget* parent, const QString& model);

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
    // The command forms of one output and of the safe value.
    virtual bool WriteOutput(int channel, int value);
    virtual bool WriteSafeValue(unsigned timeoutTenths, unsigned value);
    // Command objects beyond the two every member has (input-only modules read
    // through their own).
    virtual void CreateExtraObjects(const std::string&) {}

    // Every command object, the configuration one first.
    std::vector<TavoRBase*> Objects() const;
    void ShowOutputs(unsigned outputs, int count);
    void ShowInputs(unsigned inputs, int count);
    void ShowSafeValue();
    unsigned SafeValueMask() const { return (1u << DOChannelCount()) - 1; }

    std::unique_ptr<TavoMR550> mr550_;
    std::unique_ptr<TavoMR560> mr560_;
    std::vector<TavoRBase*> extra_;
    std::array<int, kMaxOutputs> outputState_{};
    unsigned safeValue_ = 0;
    bool generalRead_ = false; // the last RefreshGeneral read the module

private:
    void BuildForm(const QString& model);
    void ApplySettingsFile(SettingsReader& reader);
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
    void RefreshData() override;
    // Its safe value cannot be set, so it is not asked for either.
    bool ReadSafeValue() override { return true; }
    int DOChannelCount() const override { return 0; }
    void CreateExtraObjects(const std::string& address) override;

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
    TfrmMR540(QWidget* parent, const QString& model);
    void WriteProtocol() override {}
    bool ReadProtocol() override;
    void RefreshData() override;
    bool ReadSafeValue() override { return true; }
    int DIChannelCount() const override { return 16; }
    int DOChannelCount() const override { return 0; }
    void CreateExtraObjects(const std::string& address) override;

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
    TfrmMR620(QWidget* parent, const QString& model);
    int DIChannelCount() const override { return 0; }
};

class TfrmMR630 : public TfrmMR620 {
    Q_OBJECT
public:
    explicit TfrmMR630(QWidget* parent = nullptr);
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
    TfrmMR560S(QWidget* parent, const QString& model);
    void RefreshData() override;
    int DIChannelCount() const override { return 0; }
    int DOChannelCount() const override { return 12; }
    bool WriteOutput(int channel, int value) override;
    bool WriteSafeValue(unsigned timeoutTenths, unsigned value) override;
};

// R560SO: R560S with over-current protection of its three groups of four outputs.
class TfrmMR560SO : public TfrmMR560S {
    Q_OBJECT
public:
    explicit TfrmMR560SO(QWidget* parent = nullptr);

    void btClearErrorClick();

    QPushButton* btClrError;

protected:
    void RefreshData() override;
};

} // namespace tavo
