// The communication settings panel of a port, and what its choices mean.
#pragma once

#include <QWidget>

#include <cstdint>

class QComboBox;
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

class TfrmComSet : public QWidget {
    Q_OBJECT
public:
    explicit TfrmComSet(QWidget* parent = nullptr);

    // Shows the open port's settings and sets its time-out to 80 ms.
    void FillFromPort(const QString& portText, TavoComPort& port);
    ComChoice Choice() const;
    QString TimeOutText() const;
    void SetTimeOutText(const QString& text);

    QLineEdit* EditPort;
    QComboBox* ComboBoxBaudRate;
    QLineEdit* EditDataBit;
    QComboBox* CB_Parity;
    QComboBox* CB_StopBits;
    QLineEdit* EditTimeOut;
    QPushButton* Bt_Advanced;
    QPushButton* Bt_Default;

private:
    void ComboBoxBaudRateChange(int index);
    void Bt_AdvancedClick();
    void Bt_DefaultClick();
};

} // namespace tavo
