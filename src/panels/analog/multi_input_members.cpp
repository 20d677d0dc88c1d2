// The member table of the multi-channel analog input family and the members with
// behaviour of their own (R270 and R260, R260P, R240, R240T, R280). The R810 family
// is in r810_panels.cpp.
#include "multi_input_panels.h"

#include "calib_dialogs.h"

#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tavo {
namespace {

constexpr const char* kChannelStatusFailure = "Fail to fresh channel status!";

const MultiInputMember kR270P{
    .designation = "R270P",
    .captionModel = "R270+",
    .ranges = RangeList::R270P,
    .spanTexts = {"20mA", "20mA", "50mV", "50mV", "22mV", "78mV", "22mV", "19mV", "15mV"},
    // The K type reads "78mV" from firmware A2.02 on.
    .newSpanItem = 3,
    .newSpanText = "78mV",
};

const MultiInputMember kR270{
    .designation = "R270",
    .captionModel = "R270",
    .ranges = RangeList::R270,
    .spanTexts = {"15mV", "50mV", "100mV", "500mV", "1V", "2.5V", "20mA", "50mV", "50mV", "22mV",
                  "78mV", "22mV", "19mV", "15mV"},
    .zeroRule = ZeroText::ByUnit,
};

const MultiInputMember kR260{
    .designation = "R260",
    .captionModel = "R260",
    .ranges = RangeList::R220,
    .spanTexts = {"10V", "5V", "1V", "500mV", "150mV", "20mA"},
    .spanOther = "###.##",
};

const MultiInputMember kR260P{
    .designation = "R260P",
    .captionModel = "R260+",
    .ranges = RangeList::R260P,
    .channelFailure = kChannelStatusFailure,
    .spanTexts = {"20mA", "10V", "+5V", "+1V", "500mV", "150mV", "20mA"},
    .spanOther = "###.##",
};

const MultiInputMember kR240{
    .designation = "R240",
    .captionModel = "R240",
    .channels = 6,
    .ranges = RangeList::R240,
    .channelFailure = kChannelStatusFailure,
    .spanTexts = {"140 ohm", "140 ohm", "180 ohm", "250 ohm", "180 ohm", "140 ohm", "140 ohm",
                  "180 ohm", "250 ohm", "180 ohm", "1600 ohm", "750 ohm", "1000 ohm", "1000 ohm",
                  "1000 ohm", "1000 ohm"},
    .spanOther = "###.##",
    .zeroTexts = {"80 ohm", "100 ohm", "100 ohm", "100 ohm", "20 ohm", "80 ohm", "100 ohm",
                  "100 ohm", "100 ohm", "20 ohm", "850 ohm", "400 ohm", "400 ohm", "600 ohm",
                  "400 ohm", "400 ohm"},
    .zeroOther = "###.##",
};

const MultiInputMember kR240T{
    .designation = "R240T",
    .captionModel = "R240T",
    .channels = 6,
    .ranges = RangeList::R240T,
    .channelFailure = kChannelStatusFailure,
    .spanTexts = {"10K ohms", "30K ohms"},
    .spanOther = "###.##",
    .zeroTexts = {"200.0 ohm", "800.0 ohm"},
    .zeroOther = "###.##",
};

// The R280's span signals follow its own list: the full scale of each range, the
// thermocouples as on the R280B.
const MultiInputMember kR280{
    .designation = "R280",
    .captionModel = "R280",
    .ranges = RangeList::R280Channels,
    .channel0Ranges = RangeList::R280,
    .typeChangeDelayMs = 5000,
    .spanTexts = {"100mV", "500mV", "1V", "2.5V", "10V", "5V", "20mA", "50mV", "78mV", "22mV",
                  "78mV", "22mV", "19mV", "15mV"},
};

const MultiInputMember kR280B{
    .designation = "R280B",
    .captionModel = "R280+",
    .ranges = RangeList::R280B,
    .spanTexts = {"100mV", "500mV", "1V", "2.5V", "20mA", "10V", "5V", "20mA", "50mV", "78mV",
                  "22mV", "78mV", "22mV", "19mV", "15mV"},
};

// The R810's span signals are the full scale of each of its ranges.
const MultiInputMember kR810{
    .designation = "R810",
    .captionModel = "R810",
    .ranges = RangeList::R810,
    .typeChangeDelayMs = 500,
    .settingsFile = false,
    .spanTexts = {"20mA", "10V", "5V", "1V", "500mV", "150mV", "20mA", "15V", "10V", "5V", "1V",
                  "500mV", "150mV", "20mA", "15V"},
    .spanOther = "###.##",
};

const MultiInputMember kR820{
    .designation = "R820",
    .captionModel = "R820",
    .ranges = RangeList::R820,
    .typeChangeDelayMs = 500,
    .settingsFile = false,
    .spanTexts = {"15mV", "50mV", "100mV", "500mV", "1V", "2.5V", "20mA", "20mA", "50mV", "78mV",
                  "22mV", "78mV", "22mV", "19mV", "15mV"},
};

const MultiInputMember kR260AN{
    .designation = "R260AN",
    .captionModel = "R260AN",
    .ranges = RangeList::R260AN,
    .typeChangeDelayMs = 500,
    .settingsFile = false,
    .spanTexts = {"10V", "5V", "20mA", "10V", "5V", "20mA", "20mA"},
    .spanOther = "error",
};

const MultiInputMember kR270AN{
    .designation = "R270AN",
    .captionModel = "R270AN",
    .ranges = RangeList::R270AN,
    .typeChangeDelayMs = 500,
    .settingsFile = false,
    .spanTexts = {"78mV", "500mV"},
    .zeroRule = ZeroText::Millivolt,
};

} // namespace

const std::vector<const MultiInputMember*>& MultiInputMembers() {
    static const std::vector<const MultiInputMember*> members = {
        &kR270P, &kR270,  &kR260, &kR260P, &kR240,   &kR240T,
        &kR280,  &kR280B, &kR810, &kR820,  &kR260AN, &kR270AN};
    return members;
}

const MultiInputMember* FindMultiInputMember(std::string_view designation) {
    for (const MultiInputMember* m : MultiInputMembers())
        if (designation == m->designation) return m;
    return nullptr;
}

// ---- R270, R260 ----------------------------------------------------------------------

TfrmMR270::TfrmMR270(QWidget* parent) : TfrmMR270(kR270, parent) {}

TfrmMR270::TfrmMR270(const MultiInputMember& member, QWidget* parent) : TfrmMR270P(member, parent) {
    QWidget* g = grpGeneralSetting;
    cmbTypeChangeAllCh = NamedCombo("cmbTypeChangeAllCh", RangeTexts(member.ranges), g);
    cmbTypeChangeAllCh->setCurrentIndex(-1);
    const int row = NextGeneralRow();
    GeneralLayout()->addWidget(CaptionLabel("Input Range :", g, cmbTypeChangeAllCh), row, 0);
    GeneralLayout()->addWidget(cmbTypeChangeAllCh, row, 1);
    channels->ShowRangeLists(false);
    Drop(btFollowCh0);
    Drop(edtCommWDT, lblCommWDT);
    Drop(lblCommWDTUnit);
    Drop(cmbPotocolSelect, lblProtocol);
}

void TfrmMR270::RefreshChannelSetup() {
    unsigned mask = 0;
    // The module sometimes misses the first request after a configuration write.
    if (!Protocol()->ReadEnableMask(mask) && !Protocol()->ReadEnableMask(mask)) {
        Status("Try to read status!");
        return;
    }
    channels->ShowEnableMask(mask, ChannelCount());
    std::string type;
    if (!Module()->ReadConfig() || !Module()->GetTypeCode(type)) {
        Status("Fail to Change Type!");
        return;
    }
    const auto code = HexValue(type);
    const int index = code ? tavo::RangeCodeToIndex(Member().ranges, static_cast<int>(*code)) : -1;
    cmbTypeChangeAllCh->setCurrentIndex(index);
    const RangeItem* item =
        index < 0 ? nullptr : &RangeItems(Member().ranges)[static_cast<std::size_t>(index)];
    if (!item) Status("Fail to fresh AI status!");
    for (int n = 0; n < ChannelCount(); ++n)
        channels->SetUnit(n, UnitText(n, item));
}

void TfrmMR270::BeforeConfigurationWrite() {
    const int code = tavo::RangeIndexToCode(Member().ranges, cmbTypeChangeAllCh->currentIndex());
    if (code >= 0) Module()->SetTypeCode(Hex2(code).toStdString());
}

bool TfrmMR270::CanWriteConfiguration() const {
    return cmbTypeChangeAllCh->currentIndex() >= 0;
}

int TfrmMR270::CalibrationRangeIndex() const {
    return cmbTypeChangeAllCh->currentIndex();
}

void TfrmMR270::UpdateChannelSetup() {
    if (!Module()) return;
    bool ok = false;
    {
        Operation op(*this);
        ok = Protocol()->WriteEnableMask(channels->EnableMask(ChannelCount()));
        if (!ok) Status("Fail to change AI status!");
        RefreshChannelSetup();
    }
    if (ok)
        Information("Update succeeded!");
    else
        Error("Error occurred during setup!");
}

void TfrmMR270::SaveExtraSettings(SettingsWriter& file) {
    file.Line("Input Range: ", cmbTypeChangeAllCh->currentIndex());
}

std::function<void()> TfrmMR270::LoadExtraSettings(SettingsReader& file) {
    const auto range = ReadListIndex(file, "Input Range: ", cmbTypeChangeAllCh);
    if (!range) return {};
    return [this, index = *range] { cmbTypeChangeAllCh->setCurrentIndex(index); };
}

// ---- R260P ---------------------------------------------------------------------------

TfrmMR260P::TfrmMR260P(QWidget* parent) : TfrmMR260P(kR260P, parent) {}

TfrmMR260P::TfrmMR260P(const MultiInputMember& member, QWidget* parent)
    : TfrmMR270P(member, parent) {
    connect(cmbPotocolSelect, &QComboBox::currentIndexChanged, this,
            [this] { cmbPotocolSelectChange(); });
}

void TfrmMR260P::cmbPotocolSelectChange() {
    // A Modbus module has no checksum; an ASCII one lets it change in INIT only.
    chkCheckSum->setEnabled(InitMode() && cmbPotocolSelect->currentIndex() != 1);
}

// ---- R240 ----------------------------------------------------------------------------

namespace {
// The ranges of an R240 firmware before A2.02: codes 20 to 2D, without the Ni-508.
constexpr int kEarlyR240Ranges = 14;
} // namespace

TfrmMR240::TfrmMR240(QWidget* parent) : TfrmMR240(kR240, parent) {}

TfrmMR240::TfrmMR240(const MultiInputMember& member, QWidget* parent) : TfrmMR260P(member, parent) {
    cmbDataFormat->clear();
    cmbDataFormat->addItems({"Engineering Units", "Ohms"});
    cmbDataFormat->setCurrentIndex(-1);
    // Only firmware from A2.03 on has the integration time.
    cmbIntegrationTime->hide();
    lblIntegrationTime->hide();
}

TfrmMR240::~TfrmMR240() {
    StopPolling();
}

void TfrmMR240::CreateExtraObjects(const std::string& address) {
    calibration_ = std::make_unique<TavoMR240>(Port(), address);
    AddObject(calibration_.get());
}

void TfrmMR240::InitModule(const PanelContext& context) {
    TfrmMR270P::InitModule(context);
    std::string firmware, name;
    if (Module()->ReadFirmwareVersion(firmware) && Module()->ReadModuleName(name))
        ApplyFirmwareRules(firmware, name);
    btRefreshAIStatusClick();
}

void TfrmMR240::ApplyFirmwareRules(const std::string& firmware, const std::string& name) {
    const auto number = FirmwareNumber(firmware, 6);
    if (!number) return;
    if (*number < 2.02 && name.rfind("R240T", 0) != 0)
        channels->SetAllRanges(Member().ranges, kEarlyR240Ranges);
    if (*number >= 2.03) {
        cmbIntegrationTime->show();
        lblIntegrationTime->show();
    }
}

void TfrmMR240::WriteDataFormat() {
    const int index = cmbDataFormat->currentIndex();
    if (index == 0 || index == 1) Module()->SetFormatBits10(index == 0 ? "00" : "01");
}

void TfrmMR240::ShowDataFormat(const std::string& bits) {
    cmbDataFormat->setCurrentIndex(bits == "00" ? 0 : bits == "01" ? 1 : -1);
}

QString TfrmMR240::UnitText(int, const RangeItem* item) const {
    if (!item) return "";
    // The "Ohms" format reports the sensors' resistance.
    return cmbDataFormat->currentIndex() == 1 ? "ohm" : item->unit;
}

void TfrmMR240::GiveCalibrationObject(TfrmCalib& dialog) {
    dialog.SetR240(CalibrationObject());
    dialog.SetChannel(0);
}

// ---- R240T ---------------------------------------------------------------------------

TfrmMR240T::TfrmMR240T(QWidget* parent) : TfrmMR240(kR240T, parent) {
    QWidget* g = grpGeneralSetting;
    cmbTempUnit = NamedCombo("cmbTempUnit", {"Centigrade ('C)", "Fahrenheit ('F)"}, g);
    cmbTempUnit->setCurrentIndex(-1);
    lblTempUnit = CaptionLabel("Temperature Unit :", g, cmbTempUnit);
    const int row = NextGeneralRow();
    GeneralLayout()->addWidget(lblTempUnit, row, 0);
    GeneralLayout()->addWidget(cmbTempUnit, row, 1);
    btWirePayment = NamedButton("Lead Wire Effect Compensation", "btWirePayment", grpCalibration);
    grpCalibration->layout()->addWidget(btWirePayment);
    connect(btWirePayment, &QPushButton::clicked, this, [this] { btWirePaymentClick(); });
}

TfrmMR240T::~TfrmMR240T() {
    StopPolling();
}

void TfrmMR240T::CreateExtraObjects(const std::string& address) {
    r240t_ = std::make_unique<TavoMR240T>(Port(), address);
    AddObject(r240t_.get());
}

TavoMR240* TfrmMR240T::CalibrationObject() const {
    return r240t_.get();
}

void TfrmMR240T::RefreshGeneral() {
    TfrmMR240::RefreshGeneral();
    std::string bit;
    if (Module()->FormatCode().empty() || !Module()->GetFormatBit(3, bit)) return;
    const bool fahrenheit = bit != "0";
    cmbTempUnit->setCurrentIndex(fahrenheit ? 1 : 0);
    channels->SetAllRanges(fahrenheit ? RangeList::R240TFahrenheit : RangeList::R240T);
}

void TfrmMR240T::BeforeConfigurationWrite() {
    const int index = cmbTempUnit->currentIndex();
    if (index >= 0) Module()->SetFormatBit(3, index == 1 ? '1' : '0');
}

void TfrmMR240T::btSystemUpdateClick() {
    UpdateGeneralSettings("Update General Setting succeeded!");
}

void TfrmMR240T::btWirePaymentClick() {
    if (!r240t_) return;
    // The compensation is kept per data format: engineering units, or ohms.
    std::string bits;
    if (!Module()->ReadConfig() || !Module()->GetFormatBits10(bits)) {
        Error("Query module configuration failed!");
        return;
    }
    TfrmMWirePayment dialog(this);
    dialog.SetR240T(r240t_.get(), bits == "00" ? '0' : '1');
    dialog.Run();
}

// ---- R280 ----------------------------------------------------------------------------

TfrmMR280::TfrmMR280(QWidget* parent) : TfrmMR270P(kR280, parent) {
    btNegCal = NamedButton("N&eg. Cal.", "btNegCal", grpCalibration);
    grpCalibration->layout()->addWidget(btNegCal);
    AddInitOnly(btNegCal);
    connect(btNegCal, &QPushButton::clicked, this, [this] { btNegCalClick(); });
}

TfrmMR280::~TfrmMR280() {
    StopPolling();
}

void TfrmMR280::CreateExtraObjects(const std::string& address) {
    r280_ = std::make_unique<TavoMR280>(Port(), address);
    AddObject(r280_.get());
}

void TfrmMR280::GiveCalibrationObject(TfrmCalib& dialog) {
    dialog.SetR280(r280_.get());
    dialog.SetChannel(0);
}

} // namespace tavo
