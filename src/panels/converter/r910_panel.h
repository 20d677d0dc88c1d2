// The R910 addressable RS-232 to RS-422/485 converter: address, addressing mode,
// command delimiter, added CR, identification, gate time and the line settings of
// both sides, with a once-a-second poll that shows whether it still answers.
#pragma once

#include "panels/common/panel_base.h"

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tavo {

class TavoMR910;
class UpDown;

class TfrmMR910 : public PanelBase {
    Q_OBJECT
public:
    explicit TfrmMR910(QWidget* parent = nullptr);
    ~TfrmMR910() override;

    void InitModule(const PanelContext& context) override;

    // One pass over everything the panel shows; false when any read failed.
    bool Refresh();
    void tmrPollingModuleTimer();
    void btRefreshClick();
    void btIdentificationUpdateClick();
    void btGateTimeUpdateClick();
    void btGeneralSetUpdateClick();
    void btUpdateRS232Click();
    void btUpdateRS485Click();
    void cmbAddressableChange();

    QGroupBox* grpModule = nullptr;
    QLineEdit* edtAddress_Hex = nullptr;
    QLineEdit* edtAddress_Dec = nullptr;
    UpDown* UpDownTAVO_ID = nullptr;
    QComboBox* cmbCmdDel = nullptr;
    QCheckBox* chkAddcr = nullptr;
    QComboBox* cmbAddressable = nullptr;
    QPushButton* btGeneralSetUpdate = nullptr;
    QLineEdit* edtIdentification = nullptr;
    QPushButton* btIdentificationUpdate = nullptr;
    QLabel* lblFirmware = nullptr;
    QLineEdit* edtGateTime = nullptr;
    QPushButton* btGateTimeUpdate = nullptr;
    QComboBox* cmb232Baud = nullptr;
    QComboBox* cmb232DataBits = nullptr;
    QComboBox* cmb232Parity = nullptr;
    QComboBox* cmb232StopBits = nullptr;
    QPushButton* btUpdateRS232 = nullptr;
    QComboBox* cmb485Baud = nullptr;
    QComboBox* cmbProtocol = nullptr;
    QPushButton* btUpdateRS485 = nullptr;
    QPushButton* btRefresh = nullptr;
    QTimer* tmrPollingModule = nullptr;

    TavoMR910* Module() const { return module_.get(); }

private:
    enum Group { kGeneral = 0, kRS232 = 1, kRS485 = 2 };
    // Runs `step` and once more after 10 ms when it fails.
    bool Twice(const std::function<bool()>& step, int pauseMs = 10);
    bool ReadConfiguration();
    // The group's write as the Update button runs it (tag, refresh, write, tag back,
    // refresh); up to three tries, then one report.
    void UpdateGroup(Group group, const std::function<bool()>& write, QPushButton* button);
    bool WriteGeneral();
    bool WriteRS232();
    bool WriteRS485();
    bool ReadDecimalAddress(int& address);

    std::unique_ptr<TavoMR910> module_;
    int tags_[3] = {1, 1, 1};
    bool addressRefused_ = false;
};

} // namespace tavo
