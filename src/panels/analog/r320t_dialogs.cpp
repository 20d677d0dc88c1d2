#include "r320t_dialogs.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"
#include "workspace/data_paths.h"
#include "workspace/ui_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {

using namespace loop;

namespace {

QString Std(const std::string& s) {
    return QString::fromStdString(s);
}

struct FieldSpec {
    int index;
    const char* caption;
    const char* name;
    bool integer = false;
};

constexpr FieldSpec kPVFields[] = {
    {kPVRangeHigh, "PV Range High:", "edtPVRangeHigh"},
    {kPVRangeLow, "PV Range Low:", "edtPVRangeLow"},
    {kPVFilter, "Low Pass Filter:", "edtPVFilter"},
    {kInterval, "Interval (msec):", "edtInterval", true},
    {kSVLimitHigh, "SV Limit High:", "edtSVLimitHigh"},
    {kSVLimitLow, "SV Limit Low:", "edtSVLimitLow"},
    {kPVAlarmHH, "H-High:", "edtPVAlarmHH"},
    {kPVAlarmH, "High:", "edtPVAlarmH"},
    {kPVAlarmL, "Low:", "edtPVAlarmL"},
    {kPVAlarmLL, "L-Low:", "edtPVAlarmLL"},
    {kPVDeadBand, "Dead Band (%):", "edtPVDeadBand"},
    {kFBAlarmHH, "FB Alarm H-High:", "edtFBAlarmHH"},
    {kFBAlarmH, "FB Alarm High:", "edtFBAlarmH"},
    {kFBAlarmL, "FB Alarm Low:", "edtFBAlarmL"},
    {kFBAlarmLL, "FB Alarm L-Low:", "edtFBAlarmLL"},
    {kFBDeadBand, "FB Dead Band (%):", "edtFBDeadBand"},
};
constexpr FieldSpec kMVFields[] = {
    {kMVRangeHigh, "Range High:", "edtMVRangeHigh"},
    {kMVRangeLow, "Range Low:", "edtMVRangeLow"},
    {kMVFilter, "Low Pass Filter:", "edtMVFilter"},
    {kMVLimitHigh, "MV High Limit:", "edtMVLimitHigh"},
    {kMVLimitLow, "MV Low Limit:", "edtMVLimitLow"},
    {kMVInit, "MV Init Value:", "edtMVInit"},
    {kMVEStop, "MV E-Stop Value:", "edtMVEStop"},
};
const char* const kAlarmBoxes[6] = {"PV H-High alarm occurs", "PV High alarm occurs",
                                    "PV Low alarm occurs",    "PV L-Low alarm occurs",
                                    "MV High alarm occurs",   "MV Low alarm occurs"};

QString PidFilter() {
    return "PID Config file (*.pid)";
}

} // namespace

// ---- Setting -------------------------------------------------------------------------

TfrmMR320TSet::TfrmMR320TSet(LoopSession& session, QWidget* parent)
    : TavoDialog(parent), session_(session) {
    setObjectName("TfrmMR320TSet");
    setWindowTitle("R320T PID Setting");
    auto* main = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    main->addLayout(top);
    lblLoop = NamedLabel("", "lblLoop", this);
    top->addWidget(CaptionLabel("Loop:", this), 0, 0);
    top->addWidget(lblLoop, 0, 1);
    const auto combo = [&](const char* name, int index, const QStringList& items) {
        auto* c = NamedCombo(name, items, this);
        combos_.push_back({index, c});
        connect(c, &QComboBox::activated, this, [this, index] { ComboChange(index); });
        return c;
    };
    cboxFormula = combo("cboxFormula", kAlgorithm, {"Standard", "DIFF First"});
    cboxFBMode = combo("cboxFBMode", kFeedbackMode, {"Use MV", "Use HW"});
    cboxMVMode = combo("cboxMVMode", kAction, {"Direct", "Reverse"});
    top->addWidget(CaptionLabel("Algorithm:", this, cboxFormula), 1, 0);
    top->addWidget(cboxFormula, 1, 1);
    top->addWidget(CaptionLabel("Feedback:", this, cboxFBMode), 1, 2);
    top->addWidget(cboxFBMode, 1, 3);
    top->addWidget(CaptionLabel("Action:", this, cboxMVMode), 1, 4);
    top->addWidget(cboxMVMode, 1, 5);

    pgSet = Named(new QTabWidget(this), "pgSet");
    main->addWidget(pgSet);
    const auto page = [&](const char* name, const char* caption, const FieldSpec* specs,
                          std::size_t n, QGridLayout*& grid) {
        QWidget* p = AddPage(pgSet, name, caption);
        grid = new QGridLayout(p);
        for (std::size_t k = 0; k < n; ++k) {
            const FieldSpec& f = specs[k];
            auto* edit = NamedEdit(f.name, p);
            const int index = f.index;
            FilterKeys(edit, kSignedDecimalKeys, [this, index] { EditEnter(index); });
            const int row = static_cast<int>(k % 8), col = static_cast<int>(k / 8) * 2;
            grid->addWidget(CaptionLabel(f.caption, p, edit), row, col);
            grid->addWidget(edit, row, col + 1);
            fields_.push_back({index, edit, f.integer});
        }
        return p;
    };
    QGridLayout* grid = nullptr;
    page("tbshtPV", "PV", kPVFields, std::size(kPVFields), grid);
    QWidget* mv = page("tbshtMV", "MV", kMVFields, std::size(kMVFields), grid);
    cboxMVResume = NamedCombo("cboxMVResume",
                              {"Last mode (MV=last)", "Auto mode (MV=last)", "Manual mode (MV=init)"},
                              mv);
    combos_.push_back({kResume, cboxMVResume});
    connect(cboxMVResume, &QComboBox::activated, this, [this] { ComboChange(kResume); });
    grid->addWidget(CaptionLabel("Power-up:", mv, cboxMVResume), 7, 0);
    grid->addWidget(cboxMVResume, 7, 1);
    QWidget* alarm = AddPage(pgSet, "tbshtAlarm", "Alarm");
    auto* alarms = new QVBoxLayout(alarm);
    for (int b = 0; b < 6; ++b) {
        chkAlarm[static_cast<std::size_t>(b)] =
            Named(new QCheckBox(kAlarmBoxes[b], alarm), QString("chkAlarm%1").arg(b));
        alarms->addWidget(chkAlarm[static_cast<std::size_t>(b)]);
    }
    btnApply = NamedButton("Apply", "btnApply", alarm);
    alarms->addWidget(btnApply);
    connect(btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });

    auto* buttons = new QHBoxLayout;
    main->addLayout(buttons);
    btnExport = NamedButton("Export", "btnExport", this);
    btnImport = NamedButton("Import", "btnImport", this);
    btnClose = NamedButton("Close", "btnClose", this);
    buttons->addWidget(btnExport);
    buttons->addWidget(btnImport);
    buttons->addStretch();
    buttons->addWidget(btnClose);
    connect(btnExport, &QPushButton::clicked, this, [this] { btnExportClick(); });
    connect(btnImport, &QPushButton::clicked, this, [this] { btnImportClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

int TfrmMR320TSet::Run() {
    FormShow();
    return Ui().Exec(*this);
}

QLineEdit* TfrmMR320TSet::Field(int index) const {
    for (const FieldRow& f : fields_)
        if (f.index == index) return f.edit;
    return nullptr;
}

QComboBox* TfrmMR320TSet::Combo(int index) const {
    for (const auto& [i, c] : combos_)
        if (i == index) return c;
    return nullptr;
}

void TfrmMR320TSet::FormShow() {
    lblLoop->setText(QString::number(session_.Loop()));
    for (const FieldRow& f : fields_)
        f.edit->setText(f.integer ? QString::number(session_.PIDVal(f.index))
                                  : Std(session_.LongToFloatStr(f.index)));
    for (const auto& [index, c] : combos_) {
        const QSignalBlocker block(c);
        const int v = session_.PIDVal(index);
        c->setCurrentIndex(v >= 0 && v < c->count() ? v : -1);
    }
    const int mask = session_.PIDVal(kAlarmDO);
    for (int b = 0; b < 6; ++b) chkAlarm[static_cast<std::size_t>(b)]->setChecked((mask >> b) & 1);
}

void TfrmMR320TSet::Write(int index, std::int32_t value) {
    if (!session_.WritePIDValue(index, value))
        Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Failed to set PID data!");
}

void TfrmMR320TSet::EditEnter(int index) {
    QLineEdit* edit = Field(index);
    bool integer = false;
    for (const FieldRow& f : fields_)
        if (f.index == index) integer = f.integer;
    std::optional<std::int32_t> value = ParseFixed(edit->text().toStdString());
    // An integer field (the interval in ms) takes whole numbers only, unscaled.
    if (integer) value = value && *value % 1000 == 0 ? std::optional(*value / 1000) : std::nullopt;
    const std::int32_t* loop = session_.Table().data() + session_.ValID(0);
    if (!value || !CheckEntry(loop, index, *value).empty()) {
        Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Value is out of range!");
        return;
    }
    Write(index, *value);
    FormShow();
}

void TfrmMR320TSet::ComboChange(int index) {
    Write(index, Combo(index)->currentIndex());
    FormShow();
}

void TfrmMR320TSet::btnApplyClick() {
    int mask = 0;
    for (int b = 0; b < 6; ++b)
        if (chkAlarm[static_cast<std::size_t>(b)]->isChecked()) mask |= 1 << b;
    Write(kAlarmDO, mask);
    FormShow();
}

void TfrmMR320TSet::btnExportClick() {
    const QString name = Ui().SaveFileName(this, "Export", "R320T.pid", PidFilter());
    if (name.isEmpty()) return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = session_.Link() && session_.Link()->ReadTable(session_.Table());
    bool ok = false;
    if (read) {
        const auto bytes = WritePidFile(session_.Table());
        ok = WriteFileAtomically(name, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                                  static_cast<qsizetype>(bytes.size())));
    }
    QGuiApplication::restoreOverrideCursor();
    if (ok) Ui().Message(this, UiServices::Icon::Information, AppTitle(), "Configuration exported!");
    else Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Export file failed!");
}

void TfrmMR320TSet::btnImportClick() {
    const QString name = Ui().OpenFileName(this, "Import", "R320T.pid", PidFilter());
    if (name.isEmpty()) return;
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
        return;
    }
    // One byte more than a file may have tells a long file from a right one.
    const QByteArray bytes = file.read(static_cast<qint64>(kPidFileSize) + 1);
    const PidFileRead parsed = ReadPidFile(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (!parsed.ok) {
        Ui().Message(this, UiServices::Icon::Error, AppTitle(),
                     "Invalid PID configuration file!\n" + Std(parsed.error));
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    R320TLink* link = session_.Link();
    int failed = link ? -1 : 0; // the entry whose write failed
    for (int e = 0; failed < 0 && e < kEntries; ++e) {
        const std::int32_t value = parsed.table[static_cast<std::size_t>(e)];
        if (link->WriteEntry(e, value)) session_.Table()[static_cast<std::size_t>(e)] = value;
        else failed = e;
    }
    if (link) link->ReadTable(session_.Table());
    QGuiApplication::restoreOverrideCursor();
    FormShow();
    if (failed < 0) {
        Ui().Message(this, UiServices::Icon::Information, AppTitle(), "Configuration imported!");
        return;
    }
    // The module refuses a value its setting cannot take, or does not answer; the
    // entries before this one are written, the rest are not.
    Ui().Message(this, UiServices::Icon::Error, AppTitle(),
                 QString("Import file failed!\nEntry %1 of loop %2 (value %3) was not written; "
                         "the entries after it were not sent.")
                     .arg(failed % kEntriesPerLoop)
                     .arg(failed / kEntriesPerLoop)
                     .arg(parsed.table[static_cast<std::size_t>(failed)]));
}

// ---- Tuning --------------------------------------------------------------------------

TfrmMR320TTun::TfrmMR320TTun(LoopSession& session, QWidget* parent)
    : TavoDialog(parent), session_(session) {
    setObjectName("TfrmMR320TTun");
    setWindowTitle("R320T PID Tuning");
    auto* grid = new QGridLayout(this);
    int row = 0;
    const auto field = [&](const char* caption, const char* name, bool readOnly,
                           std::function<void()> enter) {
        auto* e = NamedEdit(name, this, 32767, readOnly);
        if (!readOnly) FilterKeys(e, kSignedDecimalKeys, std::move(enter));
        grid->addWidget(CaptionLabel(caption, this, e), row, 0);
        grid->addWidget(e, row++, 1);
        return e;
    };
    edtTuneP = field("P:", "edtTuneP", false, [this] { edtTuneEnter(kP); });
    edtTuneI = field("I:", "edtTuneI", false, [this] { edtTuneEnter(kI); });
    edtTuneD = field("D:", "edtTuneD", false, [this] { edtTuneEnter(kD); });
    edtSV = field("SV:", "edtSV", false, [this] { edtSVKeyPress(); });
    edtPV = field("PV:", "edtPV", true, {});
    edtMV = field("MV(%):", "edtMV", false, [this] { edtMVKeyPress(); });
    edtHigh = field("High:", "edtHigh", false, [this] { edtHighKeyPress(); });
    edtLow = field("Low:", "edtLow", false, [this] { edtLowKeyPress(); });
    cboxControl = NamedCombo("cboxControl", {"Free", "Auto", "Manual"}, this);
    connect(cboxControl, &QComboBox::activated, this, [this] { cboxControlChange(); });
    grid->addWidget(CaptionLabel("Control:", this, cboxControl), row, 0);
    grid->addWidget(cboxControl, row++, 1);
    btnClose = NamedButton("Close", "btnClose", this);
    grid->addWidget(btnClose, row, 1);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(kTimerMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

int TfrmMR320TTun::Run() {
    FormShow();
    Timer1->start();
    const int result = Ui().Exec(*this);
    Timer1->stop();
    return result;
}

void TfrmMR320TTun::FormShow() {
    edtTuneP->setText(Std(session_.LongToFloatStr(kP)));
    edtTuneI->setText(Std(session_.LongToFloatStr(kI)));
    edtTuneD->setText(Std(session_.LongToFloatStr(kD)));
    Show();
}

void TfrmMR320TTun::Show() {
    const LoopView v = session_.Compute();
    if (!edtSV->hasFocus()) ShowText(edtSV, Std(session_.LongToFloatStr(kSV)));
    ShowText(edtPV, session_.PIDVal(kPVInvalid) ? "*****" : Std(session_.LongToFloatStr(kPV)));
    if (!edtMV->hasFocus()) ShowText(edtMV, QString::asprintf("%.1f", v.mv));
    if (!edtHigh->hasFocus()) ShowText(edtHigh, QString::asprintf("%.2f", session_.Scale().high));
    if (!edtLow->hasFocus()) ShowText(edtLow, QString::asprintf("%.2f", session_.Scale().low));
    const QSignalBlocker block(cboxControl);
    const int mode = session_.PIDVal(kMode);
    cboxControl->setCurrentIndex(mode >= 0 && mode <= 2 ? mode : -1);
}

void TfrmMR320TTun::Timer1Timer() {
    R320TLink* link = session_.Link();
    if (!link || !link->ReadBlock(session_.Loop(), block_, session_.Table())) return;
    block_ = (block_ + 1) % link->Blocks();
    if (block_ == 0) Show();
}

void TfrmMR320TTun::Report(const std::string& error) {
    if (!error.empty()) Ui().Message(this, UiServices::Icon::Error, AppTitle(), Std(error));
}

void TfrmMR320TTun::edtTuneEnter(int index) {
    QLineEdit* edit = index == kP ? edtTuneP : index == kI ? edtTuneI : edtTuneD;
    Timer1->stop();
    Report(session_.EditTuning(index, edit->text().toStdString()));
    edit->setText(Std(session_.LongToFloatStr(index)));
    Timer1->start();
}

void TfrmMR320TTun::edtSVKeyPress() {
    Timer1->stop();
    Report(session_.EditSV(edtSV->text().toStdString()));
    Timer1->start();
}

void TfrmMR320TTun::edtMVKeyPress() {
    Timer1->stop();
    bool written = false;
    Report(session_.EditMV(edtMV->text().toStdString(), written));
    if (written) edtSV->setFocus();
    Timer1->start();
}

void TfrmMR320TTun::edtHighKeyPress() {
    Report(session_.EditHigh(edtHigh->text().toStdString()));
    edtHigh->clearFocus();
    Show();
}

void TfrmMR320TTun::edtLowKeyPress() {
    Report(session_.EditLow(edtLow->text().toStdString()));
    edtLow->clearFocus();
    Show();
}

void TfrmMR320TTun::cboxControlChange() {
    Timer1->stop();
    Report(session_.SetMode(cboxControl->currentIndex()));
    Timer1->start();
}

// ---- Calibration ---------------------------------------------------------------------

QString R320TCalibrationSignal(int code, bool span) {
    if (!span) {
        switch (code) {
        case 0x07:
        case 0x0D:
            return "0.0 mA";
        case 0x08:
            return "0.0 V";
        case 0x2A:
            return "850 ohms";
        case 0x30:
            return "200 ohms";
        case 0x31:
            return "800 ohms";
        default:
            return "60 ohms";
        }
    }
    switch (code) {
    case 0x07:
    case 0x0D:
        return "+20.0 mA";
    case 0x08:
        return "+10.0 V";
    case 0x20:
    case 0x21:
    case 0x24:
    case 0x25:
        return "140 ohms";
    case 0x22:
    case 0x26:
        return "180 ohms";
    case 0x23:
    case 0x27:
        return "400 ohms";
    case 0x2A:
        return "1600 ohms";
    case 0x30:
        return "10K ohms";
    case 0x31:
        return "30K ohms";
    default:
        return "";
    }
}

TfrmMR320TCal::TfrmMR320TCal(TavoMR320T& module, int mode, QWidget* parent)
    : TavoDialog(parent), module_(module), mode_(mode) {
    setObjectName("TfrmMR320TCal");
    setWindowTitle("R320T Calibration");
    auto* grid = new QGridLayout(this);
    lblMessage = NamedLabel("", "lblMessage", this);
    lblSignal = NamedLabel("", "lblSignal", this);
    lblTrim = NamedLabel("", "lblTrim", this);
    edtTrim = NamedEdit("edtTrim", this, 3, true);
    grid->addWidget(lblMessage, 0, 0, 1, 4);
    grid->addWidget(lblSignal, 1, 0, 1, 4);
    grid->addWidget(lblTrim, 2, 0);
    grid->addWidget(edtTrim, 2, 1);
    const char* captions[4] = {"- -", "-", "+", "++"};
    const char* names[4] = {"bitbtnDecDec", "bitbtnDec", "bitbtnInc", "bitbtnIncInc"};
    const int steps[4] = {-16, -1, 1, 16};
    for (int k = 0; k < 4; ++k) {
        auto* b = NamedButton(captions[k], names[k], this);
        grid->addWidget(b, 3, k);
        bitbtnStep[static_cast<std::size_t>(k)] = b;
        connect(b, &QPushButton::clicked, this, [this, s = steps[k]] { Step(s); });
    }
    bitbtnExecute = NamedButton("&Execute", "bitbtnExecute", this);
    bitbtnClose = NamedButton("&Close", "bitbtnClose", this);
    grid->addWidget(bitbtnExecute, 4, 2);
    grid->addWidget(bitbtnClose, 4, 3);
    connect(bitbtnExecute, &QPushButton::clicked, this, [this] { bitbtnExecuteClick(); });
    connect(bitbtnClose, &QPushButton::clicked, this, &QDialog::accept);
}

int TfrmMR320TCal::Run() {
    FormShow();
    return Ui().Exec(*this);
}

void TfrmMR320TCal::FormShow() {
    const bool trim = mode_ >= 2;
    for (QPushButton* b : bitbtnStep) b->setVisible(trim);
    edtTrim->setVisible(trim);
    lblTrim->setVisible(trim);
    if (!trim) {
        lblMessage->setText("Please Apply " + R320TCalibrationSignal(inputRange_, Span()) +
                            "to the channel 0 of the module");
        lblSignal->clear();
        return;
    }
    lblMessage->setText("Attach meter to output terminal\nof the module.");
    const bool current = outputRange_ < 2;
    lblSignal->setText(current ? (Span() ? "+20.0 mA" : "+4.0 mA") : (Span() ? "+10.0 V" : "0.0 V"));
    lblTrim->setText(current ? (Span() ? "Trim for 20 mA:" : "Trim for 4 mA:")
                             : (Span() ? "Trim for 10 V:" : "Trim for 0 V:"));
    std::string text;
    const bool read = Span() ? module_.ReadOutputSpan(Output(), text)
                             : module_.ReadOutputZero(Output(), text);
    const auto value = read && text.size() >= 3 ? HexValue(text.substr(text.size() - 3)) : std::nullopt;
    trim_ = value ? static_cast<int>(*value) : (Span() ? 0xFD2 : 0x000);
    edtTrim->setText(QString::asprintf("%03X", trim_));
    if (!module_.TrimOutput(Output(), trim_))
        Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Init trim data failed!");
}

void TfrmMR320TCal::Step(int delta) {
    const int lo = Span() ? 3840 : 0, hi = Span() ? 4095 : 1280;
    const int next = trim_ + delta;
    // A step that would leave the range is not taken, and the coarse step down
    // needs more than its own size above the range's low end.
    if (next < lo || next > hi || (delta == -16 && trim_ <= lo + 16)) return;
    trim_ = next;
    edtTrim->setText(QString::asprintf("%03X", trim_));
    if (!module_.TrimOutput(Output(), trim_))
        Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Send trim data failed!");
}

void TfrmMR320TCal::bitbtnExecuteClick() {
    if (mode_ >= 2) {
        const bool ok = Span() ? module_.SetOutputSpan(Output(), trim_)
                               : module_.SetOutputZero(Output(), trim_);
        if (ok) Ui().Message(this, UiServices::Icon::Information, AppTitle(), "Trim data done!");
        else Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Trim data Failed!");
        return;
    }
    Ui().Beep();
    if (!Ui().Ask(this, AppTitle(),
                  Span() ? "Are you sure to apply for Span Calibration?"
                         : "Are you sure to apply for Zero Calibration?"))
        return;
    if (Span()) {
        if (module_.AnalogInput().SpanCalibrate())
            Ui().Message(this, UiServices::Icon::Information, AppTitle(), "Span Calbration succeeded!");
        else
            Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Span Calbration failed!");
    } else {
        if (module_.AnalogInput().ZeroCalibrate())
            Ui().Message(this, UiServices::Icon::Information, AppTitle(), "Zero Calbration succeeded !");
        else
            Ui().Message(this, UiServices::Icon::Error, AppTitle(), "Zero Calbration failed !");
    }
}

} // namespace tavo
