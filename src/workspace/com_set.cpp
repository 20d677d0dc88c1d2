#include "com_set.h"

#include "core/network_address.h"
#include "transport/com_port.h"
#include "transport/modbus.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace tavo {

namespace {
constexpr std::uint32_t kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int kSweepParities[] = {kParityNone, kParityEven, kParityOdd};
} // namespace

ComChoice ChoiceFromIndices(int baudIndex, int parityIndex, int stopIndex) {
    ComChoice c;
    c.baud = baudIndex >= 0 && baudIndex < 8 ? kBauds[baudIndex] : 9600;
    c.parity = parityIndex == 1 ? kParityEven : parityIndex == 2 ? kParityOdd : kParityNone;
    c.stopBits = stopIndex == 1 ? kTwoStopBits : kOneStopBit;
    return c;
}

QString PortSettingsText(const ComChoice& c) {
    return QString::fromStdString(LineSettingsText({c.baud, 8, c.parity, c.stopBits}));
}

QString ServerLineNote(const TavoComPort& port) {
    if (port.LineFixed() == FixedLine::RawTcp) return kServerLineNote;
    return QString::fromStdString("The line settings of this port are the device server's: they "
                                  "cannot be set from here (" + FixedLineReason(port.LineFixed()) +
                                  "). Set the speed and format on the device server.");
}

QString PortLineText(const TavoComPort& port) {
    if (!port.CanSetLineSettings()) return kServerLineText;
    return QString::fromStdString(LineSettingsText(port.GetLineSettings()));
}

std::optional<int> TurnaroundFromText(const QString& text) {
    bool ok = false;
    const int ms = text.trimmed().toInt(&ok);
    if (!ok || ms < 0 || ms > 100) return std::nullopt;
    return ms;
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
    EditTurnaround = new QLineEdit(
        QString::number(TavoModbusCOM::GetDefaultTurnaroundDelay()), group);
    EditTurnaround->setObjectName("EditTurnaround");
    EditTurnaround->setToolTip("Pause before each Modbus request and before its response is "
                               "read, 0 to 100 ms");
    row(7, "Modbus Turnaround (ms):", EditTurnaround);
    lblServerLine = new QLabel(kServerLineNote, group);
    lblServerLine->setObjectName("lblServerLine");
    lblServerLine->setWordWrap(true);
    lblServerLine->setVisible(false);
    grid->addWidget(lblServerLine, 8, 0, 1, 2);

    // What the search probes, and whether it tries several line settings.
    grpSearch = new QGroupBox("Search", this);
    grpSearch->setObjectName("grpSearch");
    auto* search = new QGridLayout(grpSearch);
    const auto check = [&](const QString& name, const QString& text, bool on) {
        auto* c = new QCheckBox(text, grpSearch);
        c->setObjectName(name);
        c->setChecked(on);
        return c;
    };
    chkProbeAscii = check("chkProbeAscii", "ASCII", true);
    chkProbeChecksum = check("chkProbeChecksum", "ASCII with checksum", true);
    chkProbeModbus = check("chkProbeModbus", "Modbus RTU", true);
    search->addWidget(new QLabel("Probes:", grpSearch), 0, 0);
    search->addWidget(chkProbeAscii, 0, 1);
    search->addWidget(chkProbeChecksum, 0, 2, 1, 2);
    search->addWidget(chkProbeModbus, 0, 4, 1, 2);
    chkSweep = check("chkSweep", "Sweep line settings (each found module keeps its own):", false);
    search->addWidget(chkSweep, 1, 0, 1, 6);
    search->addWidget(new QLabel("Baud rates:", grpSearch), 2, 0);
    for (std::size_t i = 0; i < chkSweepBaud.size(); ++i) {
        chkSweepBaud[i] = check(QString("chkSweepBaud%1").arg(kBauds[i]),
                                QString::number(kBauds[i]), kBauds[i] == 9600);
        search->addWidget(chkSweepBaud[i], 2 + static_cast<int>(i) / 4,
                          1 + static_cast<int>(i) % 4);
    }
    search->addWidget(new QLabel("Parities (Modbus):", grpSearch), 4, 0);
    const char* parityNames[] = {"N", "E", "O"};
    for (std::size_t i = 0; i < chkSweepParity.size(); ++i) {
        chkSweepParity[i] =
            check(QString("chkSweepParity") + parityNames[i], parityNames[i], i == 0);
        search->addWidget(chkSweepParity[i], 4, 1 + static_cast<int>(i));
    }

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);
    outer->addWidget(grpSearch);
    outer->addStretch(1);

    CB_Parity->setEnabled(false);
    CB_StopBits->setEnabled(false);
    Bt_Default->setEnabled(false);
    connect(ComboBoxBaudRate, &QComboBox::activated, this, &TfrmComSet::ComboBoxBaudRateChange);
    connect(Bt_Advanced, &QPushButton::clicked, this, &TfrmComSet::Bt_AdvancedClick);
    connect(Bt_Default, &QPushButton::clicked, this, &TfrmComSet::Bt_DefaultClick);
    connect(EditTurnaround, &QLineEdit::textChanged, this, &TfrmComSet::EditTurnaroundChange);
    connect(chkSweep, &QCheckBox::toggled, this, &TfrmComSet::chkSweepClick);
    chkSweepClick(false);
}

void TfrmComSet::FillFromPort(const QString& portText, TavoComPort& port) {
    EditPort->setText(portText);
    const bool settable = port.CanSetLineSettings();
    lblServerLine->setVisible(!settable);
    if (!settable) lblServerLine->setText(ServerLineNote(port));
    if (settable) {
        const LineSettings s = port.GetLineSettings();
        ComboBoxBaudRate->setCurrentIndex(BaudIndexFor(s.baud));
        CB_Parity->setCurrentIndex(ParityIndexFor(s.parity));
        CB_StopBits->setCurrentIndex(StopIndexFor(s.stopBits));
    } else {
        // Showing 9600 here would claim a speed nobody set.
        for (QComboBox* c : {ComboBoxBaudRate, CB_Parity, CB_StopBits}) {
            c->setCurrentIndex(-1);
            c->setEnabled(false);
        }
        EditDataBit->clear();
        Bt_Advanced->setEnabled(false);
        Bt_Default->setEnabled(false);
        chkSweep->setChecked(false);
        chkSweep->setEnabled(false);
    }
    port.SetTimeOut(80);
    EditTimeOut->setText("80");
    EditTurnaround->setText(QString::number(TavoModbusCOM::GetDefaultTurnaroundDelay()));
}

ComChoice TfrmComSet::Choice() const {
    return ChoiceFromIndices(ComboBoxBaudRate->currentIndex(), CB_Parity->currentIndex(),
                             CB_StopBits->currentIndex());
}

QString TfrmComSet::TimeOutText() const { return EditTimeOut->text(); }
void TfrmComSet::SetTimeOutText(const QString& text) { EditTimeOut->setText(text); }
QString TfrmComSet::TurnaroundText() const { return EditTurnaround->text(); }
void TfrmComSet::SetTurnaroundText(const QString& text) { EditTurnaround->setText(text); }

// A valid value takes effect at once, so a Modbus panel opened next uses it; an
// invalid one is refused when the next search or terminal applies the settings.
void TfrmComSet::EditTurnaroundChange(const QString& text) {
    if (const auto ms = TurnaroundFromText(text)) TavoModbusCOM::SetDefaultTurnaroundDelay(*ms);
}

void TfrmComSet::chkSweepClick(bool on) {
    for (QCheckBox* c : chkSweepBaud) c->setEnabled(on);
    for (QCheckBox* c : chkSweepParity) c->setEnabled(on);
}

std::optional<SearchOptions> TfrmComSet::SearchChoice(QString& problem) const {
    SearchOptions o;
    o.probes = (chkProbeAscii->isChecked() ? kProbeAscii : 0u) |
               (chkProbeChecksum->isChecked() ? kProbeChecksum : 0u) |
               (chkProbeModbus->isChecked() ? kProbeModbus : 0u);
    if (o.probes == 0) {
        problem = "Tick at least one probe (ASCII, ASCII with checksum or Modbus RTU) to search with.";
        return std::nullopt;
    }
    if (!chkSweep->isChecked()) return o;
    const ComChoice c = Choice();
    for (std::size_t b = 0; b < chkSweepBaud.size(); ++b) {
        if (!chkSweepBaud[b]->isChecked()) continue;
        for (std::size_t p = 0; p < chkSweepParity.size(); ++p)
            if (chkSweepParity[p]->isChecked())
                o.sweep.push_back({kBauds[b], 8, kSweepParities[p], c.stopBits});
    }
    if (o.sweep.empty()) {
        problem = "Tick at least one baud rate and one parity to sweep, or turn the sweep off.";
        return std::nullopt;
    }
    const bool parityOnly = std::none_of(o.sweep.begin(), o.sweep.end(), [](const LineSettings& l) {
        return l.parity == kParityNone;
    });
    if (parityOnly && !(o.probes & kProbeModbus)) {
        problem = "Parities E and O are swept with the Modbus probe only: tick Modbus RTU or "
                  "parity N.";
        return std::nullopt;
    }
    return o;
}

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
