#include "com_set.h"

#include "transport/com_port.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tavo {

ComChoice ChoiceFromIndices(int baudIndex, int parityIndex, int stopIndex) {
    static constexpr std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    ComChoice c;
    c.baud = baudIndex >= 0 && baudIndex < 8 ? kBauds[baudIndex] : 9600;
    c.parity = parityIndex == 1 ? kParityEven : parityIndex == 2 ? kParityOdd : kParityNone;
    c.stopBits = stopIndex == 1 ? kTwoStopBits : kOneStopBit;
    return c;
}

QString PortSettingsText(const ComChoice& c) {
    const QChar parity = c.parity == kParityEven ? 'E' : c.parity == kParityOdd ? 'O' : 'N';
    return QString("%1, %2, 8, %3").arg(c.baud).arg(parity).arg(c.stopBits == kTwoStopBits ? 2 : 1);
}

int BaudIndexFor(std::uint32_t baud) {
    switch (baud) {
    case 1200: return 0;
    case 2400: return 1;
    case 4800: return 2;
    case 19200: return 4;
    case 38400: return 5;
    case 57600: return 6;
    case 115200: return 7;
    default: return 3;
    }
}

int ParityIndexFor(int code) { return code == kParityEven ? 1 : code == kParityOdd ? 2 : 0; }
int StopIndexFor(int code) { return code == kTwoStopBits ? 1 : 0; }

int ProposedTimeOut(int baudIndex) {
    switch (baudIndex) {
    case 0: return 640;
    case 1: return 320;
    case 2: return 160;
    default: return 80;
    }
}

TfrmComSet::TfrmComSet(QWidget* parent) : QWidget(parent) {
    setObjectName("TfrmComSet");
    setWindowTitle("COM Setting");
    auto* group = new QGroupBox("Host COM Setting", this);
    auto* grid = new QGridLayout(group);
    const auto row = [&](int r, const char* label, QWidget* w) {
        grid->addWidget(new QLabel(label, group), r, 0);
        grid->addWidget(w, r, 1);
    };
    EditPort = new QLineEdit(group);
    EditPort->setObjectName("EditPort");
    EditPort->setReadOnly(true);
    ComboBoxBaudRate = new QComboBox(group);
    ComboBoxBaudRate->setObjectName("ComboBoxBaudRate");
    ComboBoxBaudRate->addItems({"1200 bps", "2400 bps", "4800 bps", "9600 bps", "19.2 kbps",
                                "38.4 kbps", "57.6 kbps", "115.2 kbps"});
    ComboBoxBaudRate->setCurrentIndex(3);
    EditDataBit = new QLineEdit("8", group);
    EditDataBit->setObjectName("EditDataBit");
    EditDataBit->setReadOnly(true);
    CB_Parity = new QComboBox(group);
    CB_Parity->setObjectName("CB_Parity");
    CB_Parity->addItems({"None", "Even", "Odd"});
    CB_StopBits = new QComboBox(group);
    CB_StopBits->setObjectName("CB_StopBits");
    CB_StopBits->addItems({"1", "2"});
    EditTimeOut = new QLineEdit("80", group);
    EditTimeOut->setObjectName("EditTimeOut");
    Bt_Advanced = new QPushButton("&Advanced", group);
    Bt_Advanced->setObjectName("Bt_Advanced");
    Bt_Default = new QPushButton("&Default", group);
    Bt_Default->setObjectName("Bt_Default");
    row(0, "Serial Port:", EditPort);
    row(1, "Baudrate:", ComboBoxBaudRate);
    row(2, "DataBits:", EditDataBit);
    row(3, "Parity:", CB_Parity);
    row(4, "Stop BIts:", CB_StopBits);
    row(5, "Time Out:", EditTimeOut);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Bt_Advanced);
    buttons->addWidget(Bt_Default);
    // The form writes "Parity&&StopBits:", its escape for one "&"; a label without
    // a buddy shows its text as it is.
    auto* advanced = new QLabel("Parity&StopBits:", group);
    advanced->setObjectName("lblParityStopBits");
    grid->addWidget(advanced, 6, 0);
    grid->addLayout(buttons, 6, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addStretch(1);

    CB_Parity->setEnabled(false);
    CB_StopBits->setEnabled(false);
    Bt_Default->setEnabled(false);
    connect(ComboBoxBaudRate, &QComboBox::activated, this, &TfrmComSet::ComboBoxBaudRateChange);
    connect(Bt_Advanced, &QPushButton::clicked, this, &TfrmComSet::Bt_AdvancedClick);
    connect(Bt_Default, &QPushButton::clicked, this, &TfrmComSet::Bt_DefaultClick);
}

void TfrmComSet::FillFromPort(const QString& portText, TavoComPort& port) {
    EditPort->setText(portText);
    const LineSettings s = port.GetLineSettings();
    ComboBoxBaudRate->setCurrentIndex(BaudIndexFor(s.baud));
    CB_Parity->setCurrentIndex(ParityIndexFor(s.parity));
    CB_StopBits->setCurrentIndex(StopIndexFor(s.stopBits));
    port.SetTimeOut(80);
    EditTimeOut->setText("80");
}

ComChoice TfrmComSet::Choice() const {
    return ChoiceFromIndices(ComboBoxBaudRate->currentIndex(), CB_Parity->currentIndex(),
                             CB_StopBits->currentIndex());
}

QString TfrmComSet::TimeOutText() const { return EditTimeOut->text(); }
void TfrmComSet::SetTimeOutText(const QString& text) { EditTimeOut->setText(text); }

void TfrmComSet::ComboBoxBaudRateChange(int index) {
    EditTimeOut->setText(QString::number(ProposedTimeOut(index)));
}

void TfrmComSet::Bt_AdvancedClick() {
    Bt_Default->setEnabled(true);
    CB_StopBits->setEnabled(true);
    CB_Parity->setEnabled(true);
}

void TfrmComSet::Bt_DefaultClick() {
    CB_StopBits->setCurrentIndex(0);
    CB_Parity->setCurrentIndex(0);
}

} // namespace tavo
