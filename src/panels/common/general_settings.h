// A panel with the " General Setting " controls that most module panels share
// (address, baud rate, checksum, firmware version), their reading and showing, and
// the configuration write of their Update: INIT mode, the address-in-use test, the
// tree rename and the old address kept on failure.
#pragma once

#include "panel_base.h"

#include <functional>
#include <optional>
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

// What differs in the general rows from panel to panel.
struct GeneralRows {
    QString checksumCaption = "Check Sum :";
    // Run by Enter in the address field (nothing when empty).
    std::function<void()> onAddressEnter;
};

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
    // on (labels in column 0, controls in column 1); `row` ends after them. The
    // baud list selects nothing and the checksum box is disabled until the module
    // has been read, so an Update can never send a choice nobody made.
    void AddGeneralControls(QGridLayout* grid, int& row, const GeneralRows& rows = {});
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
    // address changes); the first one reads and writes.
    //   INIT:   read "$AA2"; ready; new address; prepare; write; back to "00".
    //   normal: read "$AA2" and "$AAM"; ready; pause; new address; "$NNM" probe
    //           when the address changes; prepare; write; rename the tree node.
    // Failures show their message ("Query module configuration failed!", "Update
    // failed!", the address in use); success shows none (panels word it). Unless
    // the write succeeded, the objects keep their old address.
    struct ConfigSteps {
        // Whether the panel's choices can be written; false stops with "Update
        // failed!" before anything else is sent. Empty: always.
        std::function<bool(bool initMode)> ready;
        // Puts the codes to write into the first object.
        std::function<void(bool initMode)> prepare;
        // Outside INIT, the pause between the reads and the rest.
        int pauseAfterReadsMs = 0;
    };
    enum class ConfigWrite { NotSent, Failed, Written };
    ConfigWrite WriteGeneralSettings(int newAddress, const std::vector<TavoRBase*>& objects,
                                     const ConfigSteps& steps);

    // Baud code of the baud list's selection ("03" to "0A"), empty without one.
    std::string SelectedBaudCode() const;

    // Modbus panels: the general settings only show what the node and the port
    // say. Disables address, baud rate and checksum; a non-empty caption replaces
    // the checksum box's ("Not available").
    void MakeGeneralReadOnly(const QString& checksumCaption = {});
    // The slave address from the node ("%02X" and "%d"), the port's baud rate and,
    // when given, the firmware text; the firmware field is left alone without it.
    void ShowReadOnlyGeneral(const std::optional<QString>& firmware);
};

} // namespace tavo
