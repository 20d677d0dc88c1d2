#include "k_digital_panels.h"

#include "points/k_slot_data.h"

#include "devices/k_series.h"
#include "panels/common/form_controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

namespace tavo {
namespace {

constexpr const char* kMaskedHint = "This channel was masked by AI module.";

} // namespace

TfrmMK510::TfrmMK510(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K510")) {}

TfrmMK510::TfrmMK510(QWidget* parent, const KDigitalMember& member)
    : KSlotPanel(parent), member_(member) {
    BuildForm();
}

TfrmMK510::~TfrmMK510() = default;

TfrmMK520::TfrmMK520(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K520")) {}
TfrmMK530::TfrmMK530(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K530")) {}
TfrmMK540::TfrmMK540(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K540")) {}
TfrmMK550::TfrmMK550(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K550")) {}
TfrmMK610::TfrmMK610(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K610")) {}
TfrmMK620::TfrmMK620(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K620")) {}
TfrmMK630::TfrmMK630(QWidget* parent) : TfrmMK510(parent, KDigitalMemberOf("K630")) {}

void TfrmMK510::BuildForm() {
    auto* outer = new QVBoxLayout(this);
    grpModule = NamedGroup(QString("Tavo-%1").arg(member_.model), "grpModule", this);
    outer->addWidget(grpModule);
    outer->addStretch();
    auto* main = new QVBoxLayout(grpModule);

    auto* bytes = new QHBoxLayout;
    main->addLayout(bytes);
    const bool oneByte = member_.firstBit != 0;
    grpLowByte = NamedGroup(oneByte ? "Byte(Hex)" : "Low Byte(Hex)", "grpLowByte", grpModule);
    grpHighByte = NamedGroup("High Byte(Hex)", "grpHighByte", grpModule);
    bytes->addWidget(grpLowByte);
    bytes->addWidget(grpHighByte);
    auto* low = new QGridLayout(grpLowByte);
    auto* high = new QGridLayout(grpHighByte);
    for (int n = 0; n < kChannels; ++n) {
        const bool isLow = n < 8;
        const QString name = QString(isLow ? "bitbtnDO%1" : "bitbtnDI%1").arg(n % 8);
        const char kind =
            n < static_cast<int>(std::strlen(member_.captions)) ? member_.captions[n] : 'O';
        const QString caption = QString(kind == 'I' ? "DI %1" : "DO %1").arg(n);
        auto* b = NamedButton(caption, name, isLow ? grpLowByte : grpHighByte);
        SetTag(b, n);
        SetLamp(b, false);
        b->setEnabled(member_.buttonsEnabled);
        b->setHidden(n >= member_.buttons);
        (isLow ? low : high)->addWidget(b, (n % 8) / 4, n % 4);
        connect(b, &QPushButton::clicked, this, [this, n] { bitbtnDO0Click(n); });
        bitbtn[static_cast<std::size_t>(n)] = b;
    }
    edtDO_Hex = NamedEdit("edtDO_Hex", grpLowByte, 32767, true);
    edtDI_Hex = NamedEdit("edtDI_Hex", grpHighByte, 32767, true);
    low->addWidget(edtDO_Hex, 2, 0, 1, 4);
    high->addWidget(edtDI_Hex, 2, 0, 1, 4);
    grpHighByte->setHidden(oneByte);

    grpWDT = NamedGroup("Watchdog Setting", "grpWDT", grpModule);
    main->addWidget(grpWDT);
    auto* wdt = new QGridLayout(grpWDT);
    for (int n = 0; n < kChannels; ++n) {
        auto* box = Named(new QCheckBox(QString("Turn On DO%1").arg(n), grpWDT),
                          QString("chkWDT%1").arg(n));
        box->setHidden(true); // until the slot's mask is read
        wdt->addWidget(box, n / 4, n % 4);
        chkWDT[static_cast<std::size_t>(n)] = box;
    }
    btnUpdateWDT = NamedButton("Update", "btnUpdateWDT", grpWDT);
    btnUpdateWDT->setEnabled(false);
    wdt->addWidget(btnUpdateWDT, 4, 3);
    connect(btnUpdateWDT, &QPushButton::clicked, this, [this] { btnUpdateWDTClick(); });
    grpWDT->setHidden(!member_.hasWatchdog);

    tmrUpdateDIData = MakePollTimer("tmrUpdateDIData", 500);
    connect(tmrUpdateDIData, &QTimer::timeout, this, [this] { tmrUpdateDIDataTimer(); });
}

void TfrmMK510::InitModule(const PanelContext& context) {
    BindSlot(context);
    mk510_ = std::make_unique<TavoMK510>(Port(), WireAddress(), SlotText());
    if (!ReadDIPSwitch()) Error("Read DO Setting from DIP Swith Error!!");
    if (!ReadAlarmMask()) Error("Reading Alarm Mask Setting Error!!");
    if (member_.hasWatchdog) RefreshWatchdog();
    StartPolling();
}

bool TfrmMK510::ReadDIPSwitch() {
    if (!member_.readsDIPSwitch) return true;
    std::string reply;
    const auto mask = mk510_->ReadDIPSwitch(reply) ? SlotWord(reply) : std::nullopt;
    if (!mask) {
        Status("DIP Switch Reading Error...");
        return false;
    }
    for (int n = 0; n < ChannelCount() && n < kChannels; ++n)
        bitbtn[static_cast<std::size_t>(n)]->setText(
            QString(*mask >> n & 1 ? "DI %1" : "DO %1").arg(n));
    return true;
}

bool TfrmMK510::ReadAlarmMask() {
    if (!member_.readsAlarmMask) return true;
    std::string reply;
    const auto mask = mk510_->ReadAlarmMask(reply) ? SlotWord(reply) : std::nullopt;
    if (!mask) {
        Status("Mask Status Reading Error...");
        return false;
    }
    for (int n = 0; n < kChannels; ++n) {
        QPushButton* b = bitbtn[static_cast<std::size_t>(n)];
        if (!b->text().startsWith("DO")) continue;
        if (*mask >> n & 1) {
            b->setText("Mask");
            b->setToolTip(kMaskedHint);
        } else {
            b->setEnabled(member_.buttonsEnabled);
            b->setToolTip({});
        }
    }
    return true;
}

bool TfrmMK510::Masked(int button) const {
    return !bitbtn[static_cast<std::size_t>(button)]->toolTip().isEmpty();
}

void TfrmMK510::RefreshWatchdog() {
    std::string reply;
    const auto mask = mk510_->ReadWatchdogOutputs(reply) ? SlotWord(reply) : std::nullopt;
    if (!mask) {
        Status("Watchdog Setting Reading Error...");
        return;
    }
    btnUpdateWDT->setEnabled(true);
    for (int n = 0; n < WatchdogCount() && n < kChannels; ++n) {
        QCheckBox* box = chkWDT[static_cast<std::size_t>(n)];
        box->setHidden(false);
        box->setChecked(*mask >> n & 1);
    }
}

bool TfrmMK510::Poll() {
    std::string reply;
    const auto word = mk510_->ReadDIO(reply) ? SlotWord(reply) : std::nullopt;
    if (word) {
        for (int i = FirstBit(); i < ChannelCount(); ++i) {
            const int b = i - FirstBit();
            if (b >= member_.buttons) break;
            const int on = *word >> i & 1;
            auto& stored = state_[static_cast<std::size_t>(b)];
            if (stored == on) continue;
            stored = on;
            SetLamp(bitbtn[static_cast<std::size_t>(b)], on != 0);
        }
        if (FirstBit() == 0) {
            ShowText(edtDO_Hex, QString::fromStdString(LowByteText(reply)));
            ShowText(edtDI_Hex, QString::fromStdString(HighByteText(reply)));
        } else {
            ShowText(edtDO_Hex, QString::fromStdString(HighByteText(reply)));
        }
    }
    return PollStatus(word.has_value(), "Polling DIO data...", "Fail to fresh DIO data!");
}

void TfrmMK510::tmrUpdateDIDataTimer() {
    if (mk510_) Poll();
}

void TfrmMK510::bitbtnDO0Click(int channel) {
    if (!mk510_ || channel < 0 || channel >= kChannels) return;
    Operation op(*this);
    QPushButton* b = bitbtn[static_cast<std::size_t>(channel)];
    if (Masked(channel)) {
        Information("This channel was masked by AI module and uncontrollable!");
        return;
    }
    if (!b->text().startsWith("DO")) {
        Status("DI is not controllable!");
        return;
    }
    if (mk510_->WriteDOChannel(channel, State(channel) == 0))
        Poll();
    else
        Status("Fail to set DO!");
}

void TfrmMK510::btnUpdateWDTClick() {
    if (!mk510_) return;
    Operation op(*this, btnUpdateWDT);
    int mask = 0;
    for (int n = 0; n < kChannels; ++n) {
        const QCheckBox* box = chkWDT[static_cast<std::size_t>(n)];
        if (!box->isHidden() && box->isChecked()) mask |= 1 << n;
    }
    if (mk510_->SetWatchdogOutputs(mask))
        Information("Update WDT Setting succeeded!");
    else
        Error("Update WDT Setting failed!");
    RefreshWatchdog();
}

} // namespace tavo
