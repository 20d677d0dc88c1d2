#include "data_logger_panel.h"

#include "calib_dialogs.h"

#include "panels/common/edit_controls.h"
#include "panels/common/form_controls.h"
#include "workspace/small_windows.h"
#include "workspace/ui_services.h"

#include "devices/hex_codes.h"
#include "devices/models_analog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace tavo {
namespace {

const MultiInputMember kR270M{
    .designation = "R270M",
    .captionModel = "R270M",
    .ranges = RangeList::R270M,
    .typeChangeDelayMs = 7000,
    .channelRereadPauseMs = 1000,
    .settingsFile = false,
    .spanTexts = {"15 mV", "50 mV", "100 mV", "500 mV", "1 V", "2.5 V", "20 mA", "50 mV", "50 mV",
                  "22 mV", "78 mV", "22 mV", "19 mV", "15 mV"},
    .spanOther = "15 mV",
    .zeroTexts = {"0 mV", "0 mV", "0 mV", "0 mV", "0 V", "0 V", "0 mA"},
    .zeroOther = "0 mV",
};

// The baud rates the data logger has: up to 38.4 kbps.
constexpr int kBaudItems = 6;
constexpr int kValuesPerPoll = 4;
constexpr const char* kAlarmKeys = "0123456789-.";

QString Text(const std::string& s) {
    return QString::fromStdString(s);
}

// A record count as "%04d".
QString CountText(unsigned count) {
    return QString::asprintf("%04u", count);
}

std::optional<unsigned> Count(const std::string& hex) {
    if (hex.empty() || hex.size() > 4) return std::nullopt;
    return HexValue(hex);
}

} // namespace

TfrmMR270M::TfrmMR270M(QWidget* parent) : TfrmMR270(kR270M, parent) {
    while (cmbBaudRate->count() > kBaudItems)
        cmbBaudRate->removeItem(cmbBaudRate->count() - 1);
    for (QLabel* label : grpGeneralSetting->findChildren<QLabel*>())
        if (label->buddy() == cmbDataFormat) Drop(label);
    Drop(cmbDataFormat);
    BuildPages();
    tmrUpload = new QTimer(this);
    tmrUpload->setObjectName("tmrUpload");
    tmrUpload->setSingleShot(true);
    tmrUpload->setInterval(0);
    connect(tmrUpload, &QTimer::timeout, this, [this] { UploadTick(); });
}

TfrmMR270M::~TfrmMR270M() {
    tmrUpload->stop();
    // The upload's operation puts the cursor and the poll back before the form goes.
    uploadOperation_.reset();
    qDeleteAll(pendingRows_);
    StopPolling();
}

// ---- Form ----------------------------------------------------------------------------

void TfrmMR270M::BuildPages() {
    // The family's form keeps its groups side by side; this one puts them on the
    // first of three pages, the channel rows in a group of their own.
    auto* main = static_cast<QVBoxLayout*>(grpModule->layout());
    for (int i = 0; i < main->count(); ++i)
        if (auto* grid = qobject_cast<QGridLayout*>(main->itemAt(i)->layout()))
            for (QWidget* w :
                 {static_cast<QWidget*>(grpGeneralSetting), static_cast<QWidget*>(grpCalibration),
                  static_cast<QWidget*>(PageControl1)})
                grid->removeWidget(w);
    PageControl = Named(new QTabWidget(grpModule), "PageControl");
    main->addWidget(PageControl);

    TS_ModuleSetting = AddPage(PageControl, "TS_ModuleSetting", "M&odule Setting");
    auto* page = new QGridLayout(TS_ModuleSetting);
    page->addWidget(grpGeneralSetting, 0, 0);
    page->addWidget(grpCalibration, 1, 0);
    grpChannelSetup = NamedGroup(" Channel Setup ", "grpChannelSetup", TS_ModuleSetting);
    PageControl1->removeTab(PageControl1->indexOf(TS_ChannelSetup));
    (new QVBoxLayout(grpChannelSetup))->addWidget(TS_ChannelSetup);
    TS_ChannelSetup->show(); // the tab widget hid it as it let it go
    page->addWidget(grpChannelSetup, 0, 1, 2, 1);
    Drop(PageControl1);
    btChRefresh = btRefreshAIStatus;
    btChRefresh->setObjectName("btChRefresh");
    btChUpdate = btSingleChUpdate;
    btChUpdate->setObjectName("btChUpdate");

    BuildAlarmPage();
    BuildMemoryPage();
}

void TfrmMR270M::BuildAlarmPage() {
    TS_AlarmSetting = AddPage(PageControl, "TS_AlarmSetting", "Ala&rm Setting");
    auto* grid = new QGridLayout(TS_AlarmSetting);
    grid->addWidget(CaptionLabel("High Alarm", TS_AlarmSetting), 0, 1);
    grid->addWidget(CaptionLabel("Low Alarm", TS_AlarmSetting), 0, 2);
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        grid->addWidget(CaptionLabel(QString("CH%1").arg(n), TS_AlarmSetting), n + 1, 0);
        edtHiAlarmCh[i] = NamedEdit(QString("edtHiAlarmCh%1").arg(n), TS_AlarmSetting, 7);
        edtLoAlarmCh[i] = NamedEdit(QString("edtLoAlarmCh%1").arg(n), TS_AlarmSetting, 7);
        for (QLineEdit* e : {edtHiAlarmCh[i], edtLoAlarmCh[i]})
            FilterKeys(e, kAlarmKeys);
        grid->addWidget(edtHiAlarmCh[i], n + 1, 1);
        grid->addWidget(edtLoAlarmCh[i], n + 1, 2);
    }
    btAlarmUpdate = NamedButton("&Update", "btAlarmUpdate", TS_AlarmSetting);
    grid->addWidget(btAlarmUpdate, kChannels + 1, 2, Qt::AlignRight);
    grid->setRowStretch(kChannels + 2, 1);
    connect(btAlarmUpdate, &QPushButton::clicked, this, [this] { btAlarmUpdateClick(); });
}

void TfrmMR270M::BuildMemoryPage() {
    TS_MemoryOperation = AddPage(PageControl, "TS_MemoryOperation", "M&emory Operation");
    auto* page = new QHBoxLayout(TS_MemoryOperation);

    // Records.
    auto* records = NamedGroup(" Records Operation ", "grpRecordsOperation", TS_MemoryOperation);
    auto* column = new QVBoxLayout(records);
    ListView1 = Named(new QTreeWidget(records), "ListView1");
    ListView1->setHeaderLabels({"Record", "Channel", "Data", "Interval"});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true); // thousands of rows stay cheap to add
    column->addWidget(ListView1);
    pbUpload = Named(new QProgressBar(records), "pbUpload");
    pbUpload->setFormat("%v of %m records");
    pbUpload->setRange(0, 1);
    pbUpload->setValue(0);
    column->addWidget(pbUpload);
    auto* counts = new QHBoxLayout;
    Lab_MemState = NamedLabel("", "Lab_MemState", records);
    counts->addWidget(Lab_MemState);
    counts->addStretch();
    counts->addWidget(CaptionLabel("Standard:", records));
    Lbl_StdCnt = NamedLabel("0000", "Lbl_StdCnt", records);
    counts->addWidget(Lbl_StdCnt);
    counts->addWidget(CaptionLabel("Event:", records));
    Lbl_EventCnt = NamedLabel("0000", "Lbl_EventCnt", records);
    counts->addWidget(Lbl_EventCnt);
    column->addLayout(counts);
    auto* buttons = new QHBoxLayout;
    btOpMode = NamedButton("Start Recording", "btOpMode", records);
    SetTag(btOpMode, 1);
    btUpload = NamedButton("Upload Records", "btUpload", records);
    btCancelUpload = NamedButton("&Cancel Upload", "btCancelUpload", records);
    btCancelUpload->setEnabled(false);
    Bt_Save = NamedButton("Save Records", "Bt_Save", records);
    for (QPushButton* b : {btOpMode, btUpload, btCancelUpload, Bt_Save})
        buttons->addWidget(b);
    column->addLayout(buttons);
    page->addWidget(records, 1);

    // Memory setup.
    auto* setup = NamedGroup(" Memory Setup ", "grpMemorySetup", TS_MemoryOperation);
    auto* form = new QVBoxLayout(setup);
    auto* stored = NamedGroup(" Enable Data Storage for ", "grpStoreChannels", setup);
    auto* storedGrid = new QGridLayout(stored);
    for (int n = 0; n < kChannels; ++n) {
        chkStoreCh[static_cast<std::size_t>(n)] =
            Named(new QCheckBox(QString("CH%1").arg(n), stored), QString("chkStoreCh%1").arg(n));
        storedGrid->addWidget(chkStoreCh[static_cast<std::size_t>(n)], n / 4, n % 4);
    }
    form->addWidget(stored);
    auto* fields = new QGridLayout;
    edtSampleInterval = NamedEdit("edtSampleInterval", setup, 5);
    FilterKeys(edtSampleInterval, kDigitKeys);
    fields->addWidget(CaptionLabel("&Sampling Interval :", setup, edtSampleInterval), 0, 0);
    fields->addWidget(edtSampleInterval, 0, 1);
    fields->addWidget(CaptionLabel("Sec", setup), 0, 2);
    chkboxRecordData = Named(new QCheckBox("Record data", setup), "chkboxRecordData");
    fields->addWidget(chkboxRecordData, 1, 0, 1, 3);
    cbxStoreMode = NamedCombo("cbxStoreMode", {"Standard", "Event", "Mixed"}, setup);
    cbxStoreMode->setCurrentIndex(-1); // until the module has been read
    fields->addWidget(CaptionLabel("&Data Storage Mode :", setup, cbxStoreMode), 2, 0);
    fields->addWidget(cbxStoreMode, 2, 1, 1, 2);
    form->addLayout(fields);
    auto* recordMode = NamedGroup(" Record Mode ", "grpRecordMode", setup);
    auto* modes = new QHBoxLayout(recordMode);
    radiobtnNormal = Named(new QRadioButton("&Normal", recordMode), "radiobtnNormal");
    radiobtnCycle = Named(new QRadioButton("&Cycle", recordMode), "radiobtnCycle");
    modes->addWidget(radiobtnNormal);
    modes->addWidget(radiobtnCycle);
    form->addWidget(recordMode);
    btMemUpdate = NamedButton("&Update", "btMemUpdate", setup);
    form->addWidget(btMemUpdate, 0, Qt::AlignRight);
    form->addStretch();
    page->addWidget(setup);

    connect(btOpMode, &QPushButton::clicked, this, [this] { btOpModeClick(); });
    connect(btUpload, &QPushButton::clicked, this, [this] { btUploadClick(); });
    connect(btCancelUpload, &QPushButton::clicked, this, [this] { btCancelUploadClick(); });
    connect(Bt_Save, &QPushButton::clicked, this, [this] { Bt_SaveClick(); });
    connect(btMemUpdate, &QPushButton::clicked, this, [this] { btMemUpdateClick(); });
}

// ---- Hooks ---------------------------------------------------------------------------

void TfrmMR270M::CreateExtraObjects(const std::string& address) {
    r270m_ = std::make_unique<TavoMR270M>(Port(), address);
    AddObject(r270m_.get());
}

void TfrmMR270M::GiveCalibrationObject(TfrmCalib& dialog) {
    dialog.SetInput(&r270m_->AnalogInput());
}

void TfrmMR270M::InitModule(const PanelContext& context) {
    TfrmMR270::InitModule(context);
    PageControl->setCurrentWidget(TS_ModuleSetting);
    Operation op(*this);
    ReadAlarms();
    ReadMemoryConfig();
    ReadRecordingState();
}

void TfrmMR270M::btCJCCalClick() {
    if (!r270m_) return;
    // The dialog reads the module itself; the poll must not talk in between.
    const bool polling = PollTimer()->isActive();
    StopPolling();
    TfrmCJC dialog(this);
    dialog.setWindowTitle("Tavo-R270M Cold Junction Compesation");
    dialog.SetR270M(r270m_.get());
    dialog.Run();
    if (polling) StartPolling();
}

// ---- Reading the module --------------------------------------------------------------

void TfrmMR270M::ReadMemoryConfig() {
    std::string text;
    const auto config = r270m_->ReadMemoryConfig(text) ? ParseMemoryConfig(text) : std::nullopt;
    if (!config) {
        Status("Fail to fresh memory configuration!");
        return;
    }
    for (int n = 0; n < kChannels; ++n)
        chkStoreCh[static_cast<std::size_t>(n)]->setChecked((config->storeMask >> n) & 1u);
    chkboxRecordData->setChecked(config->recordData);
    cbxStoreMode->setCurrentIndex(static_cast<int>(config->mode));
    (config->cyclic ? radiobtnCycle : radiobtnNormal)->setChecked(true);
    edtSampleInterval->setText(QString::number(config->intervalSeconds));
    storageMode_ = config->mode;
}

void TfrmMR270M::ShowRecordingState(bool recording) {
    btOpMode->setText(recording ? "Stop recording" : "Start recording");
    SetTag(btOpMode, recording ? 0 : 1);
}

void TfrmMR270M::ReadRecordingState() {
    std::string state;
    if (!r270m_->ReadOperation(state)) {
        btOpMode->setEnabled(false);
        Status("Fail to fresh operation setting!");
        return;
    }
    btOpMode->setEnabled(!Uploading());
    ShowRecordingState(state == "1");
}

void TfrmMR270M::ReadAlarms() {
    // Every channel is read; one that fails keeps what its fields showed.
    bool ok = true;
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        std::string high, low;
        const auto highText =
            r270m_->ReadChannelAlarm(n, high, low) ? AlarmLimitText(high) : std::nullopt;
        const auto lowText = highText ? AlarmLimitText(low) : std::nullopt;
        if (!lowText) {
            ok = false;
            continue;
        }
        edtHiAlarmCh[i]->setText(Text(*highText));
        edtLoAlarmCh[i]->setText(Text(*lowText));
    }
    if (!ok) Status("Fail to fresh alarm setting!");
}

// ---- Poll ----------------------------------------------------------------------------

void TfrmMR270M::RefreshData() {
    if (!r270m_ || Uploading()) return;
    if (PageControl->currentWidget() == TS_ModuleSetting)
        PollChannels();
    else if (PageControl->currentWidget() == TS_MemoryOperation)
        PollMemory();
}

void TfrmMR270M::PollChannels() {
    // Channels are read one by one: up to four enabled ones a tick, going round.
    bool ok = true;
    int read = 0;
    for (int step = 0; step < kChannels && read < kValuesPerPoll && ok; ++step) {
        const int n = (nextChannel_ + step) % kChannels;
        if (!channels->enable[static_cast<std::size_t>(n)]->isChecked()) continue;
        std::string value;
        ok = r270m_->ReadChannel(n, value);
        if (ok) channels->SetValue(n, Text(value));
        ++read;
        if (read == kValuesPerPoll || !ok) nextChannel_ = (n + 1) % kChannels;
    }
    PollStatus(ok, "Polling AI data...", "Fail to fresh AI data!");
}

void TfrmMR270M::PollMemory() {
    std::string state, standard, events;
    if (!r270m_->ReadOperation(state)) {
        // Without the state, Start/Stop could send the wrong one of the two.
        btOpMode->setEnabled(false);
        Heartbeat(false);
        Status("Fail to fresh operation setting!");
        return;
    }
    const bool recording = state == "1";
    btOpMode->setEnabled(true);
    ShowRecordingState(recording);
    const bool ok = r270m_->ReadStandardCount(standard) && r270m_->ReadEventCount(events) &&
                    Count(standard) && Count(events);
    Heartbeat(ok);
    if (!ok) {
        Status("Fail to fresh operation setting!");
        return;
    }
    SetTextIfChanged(Lbl_StdCnt, CountText(*Count(standard)));
    SetTextIfChanged(Lbl_EventCnt, CountText(*Count(events)));
    static const char* const kFrames[] = {"Recording...", "Recording......", "Recording........."};
    if (recording) {
        SetTextIfChanged(Lab_MemState, kFrames[stateFrame_]);
        stateFrame_ = (stateFrame_ + 1) % 3;
    } else {
        SetTextIfChanged(Lab_MemState, "Record stop");
        stateFrame_ = 0;
    }
}

// ---- Memory and alarm setup ----------------------------------------------------------

void TfrmMR270M::btMemUpdateClick() {
    if (!r270m_ || Uploading()) return;
    // A bad interval is refused before anything is sent; the poll goes on.
    const auto interval = ParseSampleInterval(edtSampleInterval->text().toStdString());
    if (!interval) {
        Error("The sampling interval must be between 2 and 65535!");
        return;
    }
    bool sent = false;
    {
        Operation op(*this);
        MemoryConfig config;
        for (int n = 0; n < kChannels; ++n)
            if (chkStoreCh[static_cast<std::size_t>(n)]->isChecked()) config.storeMask |= 1u << n;
        config.recordData = chkboxRecordData->isChecked();
        config.cyclic = radiobtnCycle->isChecked();
        config.intervalSeconds = *interval;
        // Before the module has been read nothing is chosen, and nothing is sent.
        const int mode = cbxStoreMode->currentIndex();
        if (mode >= 0 && (radiobtnNormal->isChecked() || radiobtnCycle->isChecked())) {
            config.mode = static_cast<StorageMode>(mode);
            sent = r270m_->SetMemoryConfig(MemoryConfigText(config));
        }
        if (sent) {
            Pause(2000);
            Information("Update memory configuration succeeded!");
        } else {
            Error("Fail to set memory configuration!");
        }
        ReadMemoryConfig();
        Pause(1000);
        ReadRecordingState();
    }
}

void TfrmMR270M::btAlarmUpdateClick() {
    if (!r270m_ || Uploading()) return;
    Operation op(*this);
    std::array<std::string, kChannels> high, low;
    for (int n = 0; n < kChannels; ++n) {
        const auto i = static_cast<std::size_t>(n);
        const auto h = AlarmLimitField(edtHiAlarmCh[i]->text().toStdString());
        if (!h) {
            Error(QString("The data format of channel %1 high alarm is invalid!").arg(n));
            return;
        }
        const auto l = AlarmLimitField(edtLoAlarmCh[i]->text().toStdString());
        if (!l) {
            Error(QString("The data format of channel %1 low alarm is invalid!").arg(n));
            return;
        }
        high[i] = *h;
        low[i] = *l;
    }
    bool ok = true;
    for (int n = 0; n < kChannels && ok; ++n) {
        const auto i = static_cast<std::size_t>(n);
        ok = r270m_->SetChannelAlarm(n, high[i], low[i]);
        if (ok) WaitWithIndicator(this, 2500, QString("Updating Channel %1 ...").arg(n));
    }
    if (ok) {
        Pause(2000);
        Information("Update alarm configuration succeeded!");
    } else {
        Error("Fail to set alarm configuration!");
    }
    ReadAlarms();
}

void TfrmMR270M::btOpModeClick() {
    if (!r270m_ || Uploading()) return;
    Operation op(*this, btOpMode);
    const bool start = btOpMode->property("Tag").toInt() == 1;
    if (r270m_->SetOperation(start))
        ShowRecordingState(start);
    else
        Error("Fail to start recording!");
    Pause(1000);
}

// ---- Upload --------------------------------------------------------------------------

void TfrmMR270M::btUploadClick() {
    if (!r270m_ || Uploading()) return;
    // The poll stays stopped from the count reads through the message to the last
    // record: a message box runs the event loop, and with it the poll timer.
    auto operation = std::make_unique<Operation>(*this, btUpload);
    std::optional<unsigned> standard, events;
    if (!storageMode_) ReadMemoryConfig();
    std::string s, e;
    if (r270m_->ReadStandardCount(s) && r270m_->ReadEventCount(e)) {
        standard = Count(s);
        events = Count(e);
    }
    operation->RestoreCursor();
    if (!standard || !events) {
        Error("Fail to read record counts!");
        return;
    }
    if (!storageMode_) {
        Error("Fail to fresh memory configuration!");
        return;
    }
    const unsigned n = *standard, m = *events;
    switch (*storageMode_) {
    case StorageMode::Standard:
        Information(n == 0 ? QString("No standard record on the module!")
                           : QString("%1 standard record(s) on the module, upload now!").arg(n));
        break;
    case StorageMode::Event:
        Information(m == 0 ? QString("No event record on the module!")
                           : QString("%1 event record(s) on the module, upload now!").arg(m));
        break;
    case StorageMode::Mixed:
        Information(n == 0 && m == 0
                        ? QString("No standard/event record on the module!")
                        : QString("%1 standard record(s) and %2 event record(s) on the module, "
                                  "upload now!")
                              .arg(n)
                              .arg(m));
        break;
    }
    operation->WaitCursor();
    upload_ = std::make_unique<RecordUpload>(*storageMode_, n, m);
    uploadOperation_ = std::move(operation);
    ListView1->clear();
    rowsShown_.start();
    EnableWhileUploading(true);
    ShowUploadProgress();
    UploadTick();
}

void TfrmMR270M::UploadTick() {
    if (!upload_) return;
    // Records are read for a slice of time per turn of the event loop: the window
    // stays responsive (the progress moves, a Cancel lands within the slice), while
    // the line, not the drawing, sets the pace: every turn and paint between
    // records costs the upload line time. The list takes the new rows once a second
    // only: each insertion lays out every row it holds again, which done every
    // slice would cost an upload of thousands of records more than its line time.
    constexpr qint64 kSliceMs = 50;
    constexpr qint64 kRowsEveryMs = 1000;
    QElapsedTimer slice;
    slice.start();
    while (!upload_->Finished()) {
        const RecordUpload::Step step = upload_->Current();
        std::string text;
        std::optional<std::string> reply;
        if (r270m_->ReadRecordData(static_cast<int>(step.index), text)) reply = text;
        RecordRow row;
        const RecordUpload::Outcome outcome = upload_->Offer(reply, row);
        if (outcome == RecordUpload::Outcome::Row)
            pendingRows_.push_back(new QTreeWidgetItem(QStringList{
                Text(row.record), Text(row.channel), Text(row.data), Text(row.interval)}));
        if (outcome == RecordUpload::Outcome::Retry) {
            Pause(kRetryWaitMs);
            break;
        }
        if (outcome == RecordUpload::Outcome::Failed) {
            // That series has ended; in mixed storage the event series follows.
            ShowPendingRows();
            ShowUploadProgress();
            Error("Fail to read record data!");
            break;
        }
        if (slice.elapsed() >= kSliceMs) break;
    }
    if (rowsShown_.elapsed() >= kRowsEveryMs) ShowPendingRows();
    ShowUploadProgress();
    if (upload_->Finished())
        EndUpload();
    else
        tmrUpload->start(); // the next records after the events waiting now
}

void TfrmMR270M::ShowPendingRows() {
    if (!pendingRows_.isEmpty()) ListView1->addTopLevelItems(pendingRows_);
    pendingRows_.clear();
    rowsShown_.start();
}

void TfrmMR270M::btCancelUploadClick() {
    if (!upload_) return;
    upload_->Cancel();
    tmrUpload->stop();
    EndUpload();
}

void TfrmMR270M::EndUpload() {
    ShowPendingRows();
    ShowUploadProgress();
    const std::unique_ptr<RecordUpload> upload = std::move(upload_);
    EnableWhileUploading(false);
    uploadOperation_.reset(); // the cursor back, the poll running again
    if (upload->Cancelled()) {
        Status(QString("Upload cancelled: %1 of %2 records read")
                   .arg(upload->Done())
                   .arg(upload->Total()));
        return;
    }
    Bt_SaveClick();
}

void TfrmMR270M::ShowUploadProgress() {
    if (!upload_) return;
    pbUpload->setRange(0, std::max(static_cast<int>(upload_->Total()), 1));
    pbUpload->setValue(static_cast<int>(upload_->Position()));
}

void TfrmMR270M::EnableWhileUploading(bool uploading) {
    // Only Cancel talks to the module while the records come in.
    for (QWidget* w :
         {static_cast<QWidget*>(TS_ModuleSetting), static_cast<QWidget*>(TS_AlarmSetting),
          static_cast<QWidget*>(btOpMode), static_cast<QWidget*>(btUpload),
          static_cast<QWidget*>(Bt_Save), static_cast<QWidget*>(btMemUpdate)})
        w->setEnabled(!uploading);
    btCancelUpload->setEnabled(uploading);
}

// ---- Save ----------------------------------------------------------------------------

std::vector<RecordRow> TfrmMR270M::ListRows() const {
    std::vector<RecordRow> rows;
    rows.reserve(static_cast<std::size_t>(ListView1->topLevelItemCount()));
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = ListView1->topLevelItem(i);
        rows.push_back({item->text(0).toStdString(), item->text(1).toStdString(),
                        item->text(2).toStdString(), item->text(3).toStdString()});
    }
    return rows;
}

void TfrmMR270M::Bt_SaveClick() {
    const QString name =
        Ui().SaveFileName(this, "Save Records", "R270M_Data.csv", "CSV files (*.csv)");
    if (name.isEmpty()) return;
    // Written beside the target and renamed over it: a failed save leaves the old
    // file whole.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when opening file");
        return;
    }
    const std::string csv = RecordsCsv(ListRows());
    file.write(csv.data(), static_cast<qint64>(csv.size()));
    if (!file.commit()) {
        Ui().Message(this, UiServices::Icon::Error, "Message", "Error when writing file");
        return;
    }
    Information("Save File succeeded!");
}

} // namespace tavo
