// Panel of the single-channel analog output module R310: general settings with the
// output range, data format and slew rate, the output value with its track bar and
// step buttons, the start-up value, last value and read-back, the 4 mA / 20 mA
// calibration, and the settings file.
#pragma once

#include "points/output_values.h"

#include "panels/common/general_settings.h"

#include <memory>

class QComboBox;
class QGroupBox;
class QPushButton;

namespace tavo {

class OutputValueGroup;
class SettingsReader;
class TavoMR310;

// The slew-rate lists: the R310's by range (volts or milliamperes per second), the
// R330's one list for both. Item index = the code in format bits 5..2.
const QStringList& R310SlewRateItems(bool volts);
const QStringList& R330SlewRateItems();

class TfrmMR310 : public GeneralSettingsPanel {
    Q_OBJECT
public:
    explicit TfrmMR310(QWidget* parent = nullptr);
    ~TfrmMR310() override;

    void InitModule(const PanelContext& context) override;
    bool HasSettingsFile() const override { return true; }
    void SaveSettings() override;
    void LoadSettings() override;

    // Event handlers.
    void btSystemUpdateClick();
    void tmrUpdateAODataTimer();
    void btnValueOutputClick();
    void btnStartupClick();
    void bitbtn4mA0Click() { Calibrate(true); }
    void bitbtn20mA0Click() { Calibrate(false); }

    QString MainCaption() const;

    QGroupBox* grpGeneralSetting;
    QComboBox* cmbDataFormat;
    QComboBox* cmbTypeChangeAllCh;
    QComboBox* cmbSlewRate;
    QPushButton* btSystemUpdate;
    QGroupBox* grpCalibration;
    QPushButton* bitbtn4mA0;
    QPushButton* bitbtn20mA0;
    OutputValueGroup* grpDataArea;

private:
    void BuildForm();
    void RefreshGeneral();
    // Units, read-back and slew list of a range item; the bar's scale of a format.
    void ShowRange(int rangeItem);
    void ShowScale();
    void Calibrate(bool fourMilliamperes);
    bool ReadSettings(SettingsReader& reader);

    std::unique_ptr<TavoMR310> module_;
};

} // namespace tavo
