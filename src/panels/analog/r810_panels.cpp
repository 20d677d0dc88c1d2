// The R810 family (R810, R820, R260AN, R270AN): the multi-channel input panel with
// the "Advanced Setup" page.
#include "multi_input_panels.h"

#include "panels/common/form_controls.h"
#include "workspace/ui_services.h"

#include "devices/models_analog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {
namespace {

// The integration choice of the R810 family in the format byte: "Auto Filter" is
// bit 7, "High Speed" bit 5, "50/60 Hz" neither.
constexpr int kAutoFilterBit = 7, kHighSpeedBit = 5;

// A decimal data field ("0010", "100"); nullopt for anything else.
std::optional<int> DecimalData(const std::string& text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

TfrmMR810::TfrmMR810(QWidget* parent) : TfrmMR810(*FindMultiInputMember("R810"), parent) {}

TfrmMR810::TfrmMR810(const MultiInputMember& member, QWidget* parent) : TfrmMR270P(member, parent) {
    cmbIntegrationTime->clear();
    cmbIntegrationTime->addItems({"50/60 Hz", "Auto Filter", "High Speed"});
    cmbIntegrationTime->setCurrentIndex(-1);
    BuildAdvancedPage();
    PageControl1->setTabVisible(PageControl1->indexOf(TS_Filter), true);
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int index) { PageControl1Change(index); });
    tmrScan = new QTimer(this);
    tmrScan->setObjectName("tmrScan");
    tmrScan->setInterval(kScanTickMs);
    connect(tmrScan, &QTimer::timeout, this, [this] { tmrScanTimer(); });
}

TfrmMR810::~TfrmMR810() {
    tmrScan->stop();
    StopPolling();
}

void TfrmMR810::BuildAdvancedPage() {
    QWidget* page = TS_Filter;
    auto* layout = new QVBoxLayout(page);

    auto* scan = NamedGroup(" Auto Filter Scan ", "grpScan", page);
    auto* scanRow = new QHBoxLayout(scan);
    Bt_Scan = NamedButton("&Scan", "Bt_Scan", scan);
    PB_Scan = Named(new QProgressBar(scan), "PB_Scan");
    PB_Scan->setRange(0, 100);
    PB_Scan->setValue(0);
    Edt_SampleRate = NamedEdit("Edt_SampleRate", scan, 32767, true);
    scanRow->addWidget(Bt_Scan);
    scanRow->addWidget(PB_Scan);
    scanRow->addWidget(CaptionLabel("Sampling Rate :", scan, Edt_SampleRate));
    scanRow->addWidget(Edt_SampleRate);
    scanRow->addWidget(CaptionLabel("Hz", scan));
    layout->addWidget(scan);

    auto* filter = NamedGroup(" Software Filter ", "grpFilter", page);
    auto* filterGrid = new QGridLayout(filter);
    for (int n = 0; n < kMaxChannels; ++n) {
        auto* box =
            Named(new QCheckBox(QString("CH%1").arg(n), filter), QString("Chk_Ch%1").arg(n));
        box->setVisible(n < ChannelCount());
        filterGrid->addWidget(box, n / 4, n % 4);
        Chk_Ch.push_back(box);
    }
    QStringList rates;
    for (int percent = 10; percent <= 90; percent += 10)
        rates << QString("%1 %").arg(percent);
    CB_FSR = NamedCombo("CB_FSR", rates, filter);
    CB_FSR->setCurrentIndex(-1);
    Bt_FilterUpdate = NamedButton("&Update", "Bt_FilterUpdate", filter);
    Bt_SoftRefresh = NamedButton("&Refresh", "Bt_SoftRefresh", filter);
    filterGrid->addWidget(CaptionLabel("Filter Rate of FSR :", filter, CB_FSR), 2, 0);
    filterGrid->addWidget(CB_FSR, 2, 1);
    filterGrid->addWidget(Bt_SoftRefresh, 2, 2);
    filterGrid->addWidget(Bt_FilterUpdate, 2, 3);
    layout->addWidget(filter);

    auto* burnOut = NamedGroup(" Burn-out ", "grpBurnOut", page);
    auto* burnOutGrid = new QGridLayout(burnOut);
    CB_BOScale = NamedCombo("CB_BOScale", {"Disable", "Up Scale", "Down Scale"}, burnOut);
    CB_BOScale->setCurrentIndex(-1);
    Bt_BurnOutUpdate = NamedButton("&Update", "Bt_BurnOutUpdate", burnOut);
    burnOutGrid->addWidget(CaptionLabel("Burn-out :", burnOut, CB_BOScale), 0, 0);
    burnOutGrid->addWidget(CB_BOScale, 0, 1);
    burnOutGrid->addWidget(Bt_BurnOutUpdate, 0, 2);
    CB_ThmoMode = NamedCombo("CB_ThmoMode", {"Normal Mode", "Enhanced Mode"}, burnOut);
    CB_ThmoMode->setCurrentIndex(-1);
    lblThmoMode = CaptionLabel("Th.mo. Mode :", burnOut, CB_ThmoMode);
    Bt_ThmoModeUpdate = NamedButton("U&pdate", "Bt_ThmoModeUpdate", burnOut);
    burnOutGrid->addWidget(lblThmoMode, 1, 0);
    burnOutGrid->addWidget(CB_ThmoMode, 1, 1);
    burnOutGrid->addWidget(Bt_ThmoModeUpdate, 1, 2);
    layout->addWidget(burnOut);

    auto* module = new QHBoxLayout;
    Bt_Locate = NamedButton("&Locate", "Bt_Locate", page);
    Bt_UnLocate = NamedButton("U&nLocate", "Bt_UnLocate", page);
    Bt_Switch = NamedButton("F/W Update", "Bt_Switch", page);
    for (QPushButton* b : {Bt_Locate, Bt_UnLocate, Bt_Switch})
        module->addWidget(b);
    module->addStretch();
    layout->addLayout(module);
    layout->addStretch();

    connect(Bt_Scan, &QPushButton::clicked, this, [this] { Bt_ScanClick(); });
    connect(Bt_FilterUpdate, &QPushButton::clicked, this, [this] { Bt_FilterUpdateClick(); });
    connect(Bt_SoftRefresh, &QPushButton::clicked, this, [this] { Bt_SoftRefreshClick(); });
    connect(Bt_BurnOutUpdate, &QPushButton::clicked, this, [this] { Bt_BurnOutUpdateClick(); });
    connect(Bt_ThmoModeUpdate, &QPushButton::clicked, this, [this] { Bt_ThmoModeUpdateClick(); });
    connect(Bt_Locate, &QPushButton::clicked, this, [this] { Bt_LocateClick(); });
    connect(Bt_UnLocate, &QPushButton::clicked, this, [this] { Bt_UnLocateClick(); });
    connect(Bt_Switch, &QPushButton::clicked, this, [this] { Bt_SwitchClick(); });
}

void TfrmMR810::CreateExtraObjects(const std::string& address) {
    r810_ = std::make_unique<TavoMR810>(Port(), address);
    AddObject(r810_.get());
}

void TfrmMR810::WriteIntegrationTime() {
    const int index = cmbIntegrationTime->currentIndex();
    if (index < 0) return;
    Module()->SetFormatBit(kAutoFilterBit, index == 1 ? '1' : '0');
    Module()->SetFormatBit(kHighSpeedBit, index == 2 ? '1' : '0');
}

void TfrmMR810::ShowIntegrationTime() {
    std::string autoFilter, highSpeed;
    if (Module()->FormatCode().empty() || !Module()->GetFormatBit(kAutoFilterBit, autoFilter) ||
        !Module()->GetFormatBit(kHighSpeedBit, highSpeed))
        return;
    cmbIntegrationTime->setCurrentIndex(highSpeed == "1" ? 2 : autoFilter == "1" ? 1 : 0);
}

void TfrmMR810::RefreshExtra() {
    if (!r810_) return;
    std::string burnOut, mode;
    const auto choice = [](const std::string& text, int items) {
        const auto v = HexValue(text);
        return v && *v < static_cast<unsigned>(items) ? static_cast<int>(*v) : -1;
    };
    bool ok = r810_->ReadBurnOut(burnOut);
    if (ok) CB_BOScale->setCurrentIndex(choice(burnOut, CB_BOScale->count()));
    if (Shown(CB_ThmoMode)) {
        const bool read = r810_->ReadOD(mode);
        if (read) CB_ThmoMode->setCurrentIndex(choice(mode, CB_ThmoMode->count()));
        ok = ok && read;
    }
    if (!ok) Status("Fail to fresh general setting data!");
}

void TfrmMR810::PageControl1Change(int index) {
    if (r810_ && PageControl1->widget(index) == TS_Filter && !Scanning()) ReadSampleRate();
}

void TfrmMR810::ReadSampleRate() {
    std::string rate;
    const auto hz = r810_->ReadMC(rate) ? DecimalData(rate) : std::nullopt;
    Edt_SampleRate->setText(hz ? QString::number(*hz) : QString());
    if (!hz) Status("Fail to fresh sampling rate!");
}

// ---- Filter scan ---------------------------------------------------------------------

bool TfrmMR810::Scanning() const {
    return tmrScan->isActive();
}

void TfrmMR810::Bt_ScanClick() {
    if (!r810_ || Scanning() || switched_) return;
    pollingBeforeScan_ = PollTimer()->isActive();
    StopPolling();
    // "#AAMM" starts the module's automatic filter scan.
    if (!r810_->Locate()) {
        if (pollingBeforeScan_) StartPolling();
        Error("Failed to send request!");
        return;
    }
    Status("Polling Stopped");
    scanTicks_ = 0;
    PB_Scan->setValue(0);
    Bt_Scan->setEnabled(false);
    tmrScan->start();
}

void TfrmMR810::tmrScanTimer() {
    // A tick that comes while an operation waits in a dialog would put its
    // transaction into that operation's sequence: it waits for the next one.
    if (!Scanning() || QApplication::activeModalWidget()) return;
    ++scanTicks_;
    std::string progress;
    const auto percent = r810_->ReadMP(progress) ? DecimalData(progress) : std::nullopt;
    if (!percent) {
        EndScan("The filter scan failed: the module does not report its progress.");
        return;
    }
    PB_Scan->setValue(std::min(*percent, 100));
    if (*percent >= 100) {
        ReadSampleRate();
        EndScan({});
    } else if (scanTicks_ >= kScanTicksMax) {
        EndScan("The filter scan did not finish in time.");
    }
}

void TfrmMR810::EndScan(const QString& failure) {
    tmrScan->stop();
    Bt_Scan->setEnabled(true);
    if (pollingBeforeScan_) StartPolling();
    if (!failure.isEmpty()) Error(failure);
}

// ---- Settings of the page ------------------------------------------------------------

void TfrmMR810::Bt_FilterUpdateClick() {
    if (!r810_) return;
    const int rate = CB_FSR->currentIndex();
    if (rate < 0) {
        Error("Please choose the filter rate of FSR!");
        return;
    }
    // Channels in bits 11..4, the rate's list position in bits 3..0.
    unsigned mask = 0;
    for (int n = 0; n < ChannelCount(); ++n)
        if (Chk_Ch[static_cast<std::size_t>(n)]->isChecked()) mask |= 1u << n;
    WriteSetting(Bt_FilterUpdate,
                 [this, value = static_cast<int>(mask << 4 | static_cast<unsigned>(rate))] {
                     return r810_->SetFilterRate(value);
                 });
}

void TfrmMR810::WriteSetting(QPushButton* button, const std::function<bool()>& write) {
    bool ok = false;
    {
        Operation op(*this, button);
        ok = write();
    }
    if (ok)
        Information("Update Success!");
    else
        Error("Update failed!");
}

void TfrmMR810::Bt_SoftRefreshClick() {
    if (!r810_) return;
    int value = 0;
    bool ok = false;
    {
        Operation op(*this, Bt_SoftRefresh);
        ok = r810_->ReadFilterRate(value);
    }
    if (!ok) {
        Error("Refresh failed!");
        return;
    }
    for (int n = 0; n < ChannelCount(); ++n)
        Chk_Ch[static_cast<std::size_t>(n)]->setChecked((value >> (4 + n)) & 1);
    const int rate = value & 0xF;
    CB_FSR->setCurrentIndex(rate < CB_FSR->count() ? rate : -1);
}

void TfrmMR810::Bt_BurnOutUpdateClick() {
    const int choice = CB_BOScale->currentIndex();
    if (!r810_ || choice < 0) {
        Error("Update failed!");
        return;
    }
    // The module keeps the choice in two places; both take the option index.
    WriteSetting(Bt_BurnOutUpdate,
                 [this, choice] { return r810_->SetBurnOut(choice) && r810_->SetAT(choice); });
}

void TfrmMR810::Bt_ThmoModeUpdateClick() {
    const int mode = CB_ThmoMode->currentIndex();
    if (!r810_ || mode < 0) {
        Error("Update failed!");
        return;
    }
    WriteSetting(Bt_ThmoModeUpdate, [this, mode] { return r810_->SetThermoMode(mode); });
}

void TfrmMR810::Locate(bool on) {
    if (!r810_) return;
    bool ok = false;
    {
        Operation op(*this);
        ok = r810_->WriteFQ(on ? "1" : "0");
    }
    if (!ok) Error("Failed to send request!");
}

void TfrmMR810::Bt_SwitchClick() {
    if (!r810_ || switched_) return;
    if (!Ui().Ask(this, AppTitle(),
                  "This action will switch the module \nto the download mode, continue?"))
        return;
    bool ok = false;
    {
        Operation op(*this);
        ok = r810_->SendOS();
    }
    if (!ok) {
        Error("Failed to send request!");
        return;
    }
    // The module now waits in its boot loader under another name: nothing here
    // can reach it any more.
    switched_ = true;
    StopPolling();
    Information("Please search again!");
}

} // namespace tavo
