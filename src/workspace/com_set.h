// The communication settings panel of a port, and what its choices mean.
#pragma once

#include "core/search_engine.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tavo {

class TavoComPort;

// Line settings as the settings panel's list indices choose them.
struct ComChoice {
    std::uint32_t baud = 9600;
    int parity = 0;   // transport code: 0 none, 1 odd, 2 even
    int stopBits = 0; // transport code: 0 one, 2 two
};
ComChoice ChoiceFromIndices(int baudIndex, int parityIndex, int stopIndex);
// "9600, N, 8, 1" for the status bar.
QString PortSettingsText(const ComChoice& choice);
int BaudIndexFor(std::uint32_t baud);
int ParityIndexFor(int parityCode);
int StopIndexFor(int stopCode);
// The time-out proposed for a baud index: slower lines need longer.
int ProposedTimeOut(int baudIndex);
// What the status bar shows for the port's line: "9600, N, 8, 1", or for a raw TCP
// port, whose line the device server sets, kServerLineText.
QString PortLineText(const TavoComPort& port);
inline constexpr const char* kServerLineText = "Line set by the device server";
// The settings panel's note on a raw TCP port.
inline constexpr const char* kServerLineNote =
    "The line settings of this port are the device server's: they cannot be set from here "
    "over raw TCP. Set the speed and format on the device server, or use an rfc2217:// port.";
// The note for any port whose line is fixed: an rfc2217:// server that refused the
// COM-PORT-OPTION gets its own reason rather than the raw TCP one.
QString ServerLineNote(const TavoComPort& port);
// The turnaround field as a number of milliseconds, 0 to 100; none for anything else.
std::optional<int> TurnaroundFromText(const QString& text);

class TfrmComSet : public QWidget {
    Q_OBJECT
public:
    explicit TfrmComSet(QWidget* parent = nullptr);

    // Shows the open port's settings and sets its time-out to 80 ms. A port whose line
    // settings cannot be set (raw TCP) shows none: its line controls and the sweep are
    // disabled and lblServerLine says why.
    void FillFromPort(const QString& portText, TavoComPort& port);
    ComChoice Choice() const;
    QString TimeOutText() const;
    void SetTimeOutText(const QString& text);
    QString TurnaroundText() const;
    void SetTurnaroundText(const QString& text);
    // What the next search makes: the probes ticked and, when the sweep is on, every
    // ticked baud rate with every ticked parity (stop bits as chosen above). Fills
    // `problem` and returns nothing when the choice leaves nothing to search.
    std::optional<SearchOptions> SearchChoice(QString& problem) const;

    QLineEdit* EditPort;
    QComboBox* ComboBoxBaudRate;
    QLineEdit* EditDataBit;
    QComboBox* CB_Parity;
    QComboBox* CB_StopBits;
    QLineEdit* EditTimeOut;
    QPushButton* Bt_Advanced;
    QPushButton* Bt_Default;
    QLabel* lblServerLine; // shown for raw TCP ports only
    QLineEdit* EditTurnaround; // Modbus turnaround in ms, applied to new Modbus objects
    QGroupBox* grpSearch;
    QCheckBox* chkProbeAscii;
    QCheckBox* chkProbeChecksum;
    QCheckBox* chkProbeModbus;
    QCheckBox* chkSweep;
    std::array<QCheckBox*, 8> chkSweepBaud;  // "chkSweepBaud1200" ... "chkSweepBaud115200"
    std::array<QCheckBox*, 3> chkSweepParity; // "chkSweepParityN", "...E", "...O"

private:
    void ComboBoxBaudRateChange(int index);
    void EditTurnaroundChange(const QString& text);
    void chkSweepClick(bool on);
    void Bt_AdvancedClick();
    void Bt_DefaultClick();
};

} // namespace tavo
