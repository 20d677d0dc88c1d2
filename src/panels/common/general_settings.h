// A panel with the " General Setting " controls that most module panels share
// (address, baud rate, checksum, firmware version) and the configuration write of
// their Update: INIT mode, the address-in-use test and the tree rename.
#pragma once

#include "panel_base.h"

#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLineEdit;
class QVBoxLayout;

namespace tavo {

class TavoRBase;
class UpDown;

class GeneralSettingsPanel : public PanelBase {
    Q_OBJECT
public:
    explicit GeneralSettingsPanel(QWidget* parent = nullptr);

    // The main group, " Tavo-R550 ": settings files take the model from it.
    QGroupBox* grpModule = nullptr;
    QLineEdit* edtAddress_Dec = nullptr;
    UpDown* UpDownTAVO_ID = nullptr;
    QLineEdit* edtAddress_Hex = nullptr;
    QComboBox* cmbBaudRate = nullptr;
    QCheckBox* chkCheckSum = nullptr;
    QLineEdit* edtFirmwareVer = nullptr;

protected:
    // Fills the panel with the main group captioned " Tavo-" + model + " " and
    // returns the group's layout.
    QVBoxLayout* AddMainGroup(const QString& model);
    // Adds the address, baud rate, checksum and firmware rows to `grid` from `row`
    // on (labels in column 0, controls in column 1); `row` ends after them.
    void AddGeneralControls(QGridLayout* grid, int& row);
    // Baud rate and checksum can only change while the module is in INIT state.
    void EnableInitControls();

    // What "$AA2" and "$AAF" told about the module.
    struct General {
        std::string address; // two hex digits, as the module answered
        std::string baudCode;
        bool checksum = false;
        std::string firmware;
    };
    // Reads configuration, checksum bit, baud code and firmware; all must succeed.
    static bool ReadGeneral(TavoRBase& device, General& out);
    // Shows address ("*" before it in INIT mode), baud rate, checksum and `firmware`.
    void ShowGeneral(const General& general, const QString& firmware);

    // The configuration write of the general-settings Update, for a valid new
    // address. `objects` are all command objects of the panel (they all follow
    // address changes); the first one reads and writes. After the configuration
    // was read and the new address set, `prepare(initMode)` puts the codes to
    // write into the first object; false stops with "Update failed!" unsent.
    // Failures show their message; success shows none (panels word it).
    enum class ConfigWrite { NotSent, Failed, Written };
    ConfigWrite WriteGeneralSettings(int newAddress, const std::vector<TavoRBase*>& objects,
                                     const std::function<bool(bool initMode)>& prepare,
                                     int pauseAfterReadsMs = 0);

    // Baud code of the baud list's selection ("03" to "0A"), empty without one.
    std::string SelectedBaudCode() const;
};

} // namespace tavo
