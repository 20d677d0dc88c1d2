// The data logger panel (R270M): the R270's general settings, channel enabling and
// calibration on the "M&odule Setting" page, the per-channel alarm limits, and the
// record memory (its setup, recording, the upload of the records into a list and
// the list saved as "R270M_Data.csv"). An upload reads records for a short slice
// per turn of the event loop, so the panel stays responsive and the upload can be
// cancelled between two records; what was read stays in the list and can be saved.
#pragma once

#include "multi_input_panels.h"

#include "devices/data_logger.h"

#include <QElapsedTimer>
#include <QList>

#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;
class QTreeWidget;

namespace tavo {

class TavoMR270M;

class TfrmMR270M : public TfrmMR270 {
    Q_OBJECT
public:
    static constexpr int kChannels = 8;
    static constexpr int kRetryWaitMs = 500;

    explicit TfrmMR270M(QWidget* parent = nullptr);
    ~TfrmMR270M() override;

    void InitModule(const PanelContext& context) override;

    // Event handlers.
    void btChRefreshClick() { btRefreshAIStatusClick(); }
    void btChUpdateClick() { btSingleChUpdateClick(); }
    void btCJCCalClick() override;
    void btMemUpdateClick();
    void btAlarmUpdateClick();
    void btOpModeClick();
    void btUploadClick();
    void btCancelUploadClick();
    void Bt_SaveClick();

    // Whether an upload is running (between its first and last record).
    bool Uploading() const { return upload_ != nullptr; }
    // The rows of ListView1 as they would be saved.
    std::vector<RecordRow> ListRows() const;

    QTabWidget* PageControl;
    QWidget* TS_ModuleSetting;
    QWidget* TS_AlarmSetting;
    QWidget* TS_MemoryOperation;
    QGroupBox* grpChannelSetup;
    QPushButton* btChRefresh; // the channel page's Refresh and Update
    QPushButton* btChUpdate;
    std::array<QLineEdit*, kChannels> edtHiAlarmCh{};
    std::array<QLineEdit*, kChannels> edtLoAlarmCh{};
    QPushButton* btAlarmUpdate;
    QTreeWidget* ListView1;
    QPushButton* btOpMode;
    QPushButton* btUpload;
    QPushButton* btCancelUpload;
    QPushButton* Bt_Save;
    QProgressBar* pbUpload;
    QLabel* Lab_MemState;
    QLabel* Lbl_StdCnt;
    QLabel* Lbl_EventCnt;
    std::array<QCheckBox*, kChannels> chkStoreCh{};
    QLineEdit* edtSampleInterval;
    QCheckBox* chkboxRecordData;
    QComboBox* cbxStoreMode;
    QRadioButton* radiobtnNormal;
    QRadioButton* radiobtnCycle;
    QPushButton* btMemUpdate;
    QTimer* tmrUpload;

protected:
    void RefreshData() override;
    void CreateExtraObjects(const std::string& address) override;
    void GiveCalibrationObject(TfrmCalib& dialog) override;

private:
    void BuildPages();
    void BuildAlarmPage();
    void BuildMemoryPage();
    void ReadMemoryConfig();
    void ReadRecordingState();
    void ReadAlarms();
    void ShowRecordingState(bool recording);
    void PollChannels();
    void PollMemory();
    // A slice of records of the running upload, then the next turn or the end.
    void UploadTick();
    // The rows read since the list last took some go into it.
    void ShowPendingRows();
    void EndUpload();
    void ShowUploadProgress();
    void EnableWhileUploading(bool uploading);

    std::unique_ptr<TavoMR270M> r270m_;
    std::optional<StorageMode> storageMode_;
    std::unique_ptr<RecordUpload> upload_;
    std::unique_ptr<Operation> uploadOperation_;
    QList<QTreeWidgetItem*> pendingRows_;
    QElapsedTimer rowsShown_;
    int nextChannel_ = 0;
    int stateFrame_ = 0;
};

} // namespace tavo
