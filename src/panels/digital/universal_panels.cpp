#include "universal_panels.h"

#include "panels/common/form_controls.h"

#include "devices/models_digital.h"
#include "workspace/core/model_registry.h"
#include "workspace/ui_services.h"

#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace tavo {

TfrmMR850::TfrmMR850(QWidget* parent) : TfrmMR850(parent, "R850", DigitalProtocol::Ascii) {}

TfrmMR850::TfrmMR850(QWidget* parent, const QString& model, DigitalProtocol protocol)
    : TfrmMR550(parent, model, protocol) {
    bitbtnDI[7]->hide();
    // Every channel button opens its channel's settings.
    for (int n = 0; n < 8; ++n) {
        QPushButton* out = bitbtnDO[static_cast<std::size_t>(n)];
        out->disconnect(this);
        connect(out, &QPushButton::clicked, this, [this, n] { OpenChannel(QString("DO%1").arg(n)); });
        QPushButton* in = bitbtnDI[static_cast<std::size_t>(n)];
        in->setFocusPolicy(Qt::StrongFocus);
        connect(in, &QPushButton::clicked, this, [this, n] { OpenChannel(QString("DI%1").arg(n)); });
    }
    btLocate = NamedButton("&Locat Module", "btLocate", grpModule);
    btDownloadMode = NamedButton("&Download Mode", "btDownloadMode", grpModule);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btLocate);
    row->addWidget(btDownloadMode);
    static_cast<QVBoxLayout*>(grpModule->layout())->addLayout(row);
    connect(btLocate, &QPushButton::clicked, this, [this] { btLocateClick(); });
    connect(btDownloadMode, &QPushButton::clicked, this, [this] { btDownloadModeClick(); });
    // Both are ASCII commands.
    btLocate->setVisible(!Modbus());
    btDownloadMode->setVisible(!Modbus());
}

void TfrmMR850::OpenChannel(const QString& channel) {
    if (!link_) return;
    const bool output = channel.startsWith("DO");
    const int n = channel.mid(2).toInt();
    if (n < 0 || n >= (output ? DOChannelCount() : DIChannelCount())) return;
    const RegistryRow* row = ModelRegistry::Instance().FindByParent(Model());
    if (!row) return;
    // The dialog polls its channel itself; the panel waits (no busy cursor: the
    // user works in the dialog meanwhile).
    const bool polling = tmrUpdateDIData->isActive();
    StopPolling();
    QDialog dialog(this);
    dialog.setObjectName("dlgChannelSetting");
    dialog.setWindowTitle(QString("Tavo-%1 %2").arg(QString::fromStdString(Model()), channel));
    auto* layout = new QVBoxLayout(&dialog);
    ModulePanel* panel =
        PanelFactory::Instance().Make(Modbus() ? row->modbusPanel : row->panel, &dialog);
    if (panel) {
        layout->addWidget(panel);
        PanelContext context = Context();
        context.kind = PanelInitKind::Channel;
        context.parentDesignation = QString::fromStdString(Model());
        context.channel = channel;
        panel->InitModule(context);
        Ui().Exec(dialog);
    }
    if (polling) StartPolling();
}

void TfrmMR850::btLocateClick() {
    if (!mr550_ || Modbus()) return;
    Operation op(*this);
    // The module flashes its LED so that it can be found in the cabinet.
    if (mr550_->WriteFQ("1"))
        Status("Locate command sent: look for the module whose LED flashes.");
    else
        Error("Failed to locate the module!");
}

void TfrmMR850::btDownloadModeClick() {
    if (!mr550_ || Modbus()) return;
    bool switched = false;
    {
        Operation op(*this);
        if (!Ui().Ask(this, "Confirm",
                      "This action will switch the module \nto the download mode, continue?"))
            return;
        switched = mr550_->SendOS();
        if (switched)
            Information("The module is in the download mode now: search the port again to find "
                        "it as R8XX and download its firmware.");
        else
            Error("Failed to switch the module to the download mode!");
    }
    // Its boot loader answers at 00: polls at the old address could only fail.
    if (switched) StopPolling();
}

TfrmMR860::TfrmMR860(QWidget* parent) : TfrmMR860(parent, DigitalProtocol::Ascii) {}

TfrmMR860::TfrmMR860(QWidget* parent, DigitalProtocol protocol)
    : TfrmMR850(parent, "R860", protocol) {
    grpDI->hide();
}

TfrmMR850Mod::TfrmMR850Mod(QWidget* parent) : TfrmMR850(parent, "R850", DigitalProtocol::Modbus) {}

TfrmMR860Mod::TfrmMR860Mod(QWidget* parent) : TfrmMR860(parent, DigitalProtocol::Modbus) {}

} // namespace tavo
