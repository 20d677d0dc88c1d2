#include "universal_panels.h"

#include "dio_channel_links.h"

#include "panels/common/form_controls.h"
#include "panels/common/settings_file.h"

#include "devices/hex_codes.h"
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

TfrmMR850::~TfrmMR850() = default;

void TfrmMR850::CreateExtraObjects(const std::string& address) {
    mr850_ = std::make_unique<TavoMR850>(Port(), address);
    extra_ = {mr850_.get()};
    // The settings file is the ASCII panels' (the channel commands are ASCII ones).
    if (!Modbus()) channels_ = MakeAsciiChannelLink(*mr850_);
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

// ---------------------------------------------------------------- settings file

namespace {

QString ChannelName(bool output, int channel) {
    return QString(output ? "DO%1" : "DI%1").arg(channel);
}

// The system's own text, and where it stopped.
QString OnChannel(const char* text, bool output, int channel, const char* consequence) {
    return QString("%1\n(channel %2: %3)").arg(text, ChannelName(output, channel), consequence);
}

const char* const kTimingKeys[4] = {"DO pulse low width: ", "DO pulse high width: ",
                                    "DO pulse low delay: ", "DO pulse high delay: "};
const char* const kWidthKeys[2] = {"DI filter min low width: ", "DI filter min high width: "};

QString Key(int channel, const char* what) {
    return QString("Ch%1 %2").arg(channel).arg(what);
}

// One to eight hexadecimal digits, as "%08X" wrote them.
std::optional<std::uint32_t> HexLine(SettingsReader& reader, const QString& key) {
    const auto text = reader.Text(key);
    if (!text) return std::nullopt;
    const std::string digits = text->trimmed().toStdString();
    const auto value = HexValue(digits);
    if (!value) reader.Stop();
    return value;
}

} // namespace

std::vector<TfrmMR850::ChannelFileBlock> TfrmMR850::ChannelBlocks() const {
    std::vector<ChannelFileBlock> blocks;
    for (int c = 0; c < DOChannelCount(); ++c)
        blocks.push_back({true, c});
    for (int c = 0; c < DIChannelCount(); ++c)
        blocks.push_back({false, c});
    return blocks;
}

bool TfrmMR850::ReadChannelBlocks(std::vector<ChannelFileBlock>& blocks) {
    const char* const kNothingSaved = "nothing was saved";
    for (ChannelFileBlock& b : blocks) {
        if (b.output) {
            DioChannelLink::Timings t{};
            if (!channels_->ReadOutputMode(b.channel, b.mode)) {
                Error(OnChannel("Failed to read DO mode !", true, b.channel, kNothingSaved));
                return false;
            }
            if (!channels_->ReadTimings(b.channel, t)) {
                Error(OnChannel("Failed to read DO low level width !", true, b.channel,
                                kNothingSaved));
                return false;
            }
            b.values = t;
        } else {
            if (!channels_->ReadInputMode(b.channel, b.mode)) {
                Error(OnChannel("Failed to read DI mode !", false, b.channel, kNothingSaved));
                return false;
            }
            if (!channels_->ReadInputWidths(b.channel, b.values[0], b.values[1])) {
                Error(OnChannel("Failed to read DI filter input width !", false, b.channel,
                                kNothingSaved));
                return false;
            }
        }
    }
    return true;
}

void TfrmMR850::WriteChannelBlock(SettingsWriter& writer, const ChannelFileBlock& b) {
    writer.Line(Key(b.channel, "mode: "), static_cast<int>(b.mode));
    const int count = b.output ? 4 : 2;
    for (int i = 0; i < count; ++i)
        writer.Line(Key(b.channel, b.output ? kTimingKeys[i] : kWidthKeys[i]),
                    QString::asprintf(
                        "%08X", static_cast<unsigned>(b.values[static_cast<std::size_t>(i)])));
}

bool TfrmMR850::ReadChannelBlock(SettingsReader& reader, ChannelFileBlock& b) {
    const auto mode = reader.Int(Key(b.channel, "mode: "));
    if (!mode) return false;
    // Output modes 0 to 3; an input's mode byte with its mode (bits 3..0) 0 to 4.
    const bool fits =
        b.output ? *mode >= 0 && *mode <= 3 : *mode >= 0 && *mode <= 0xFF && (*mode & 0x0F) <= 4;
    if (!fits) {
        reader.Stop();
        return false;
    }
    b.mode = static_cast<unsigned>(*mode);
    const int count = b.output ? 4 : 2;
    for (int i = 0; i < count; ++i) {
        const auto v = HexLine(reader, Key(b.channel, b.output ? kTimingKeys[i] : kWidthKeys[i]));
        if (!v) return false;
        b.values[static_cast<std::size_t>(i)] = *v;
    }
    return true;
}

bool TfrmMR850::ApplyChannelBlock(const ChannelFileBlock& b) {
    const char* const kStopped = "the channels after it were not loaded";
    if (b.output) {
        if (!channels_->SetOutputMode(b.channel, b.mode)) {
            Error(OnChannel("Failed to set DO mode !", true, b.channel, kStopped));
            return false;
        }
        if (!channels_->SetTimings(b.channel, b.values)) {
            Error(OnChannel("Failed to set Pulse/Delay minimum output signal width !", true,
                            b.channel, kStopped));
            return false;
        }
        return true;
    }
    if (!channels_->SetInputWidths(b.channel, b.values[0], b.values[1])) {
        Error(OnChannel("Failed to set Min Signal Width !", false, b.channel, kStopped));
        return false;
    }
    if (!channels_->SetInputMode(b.channel, b.mode)) {
        Error(OnChannel("Failed to set DI mode !", false, b.channel, kStopped));
        return false;
    }
    return true;
}

void TfrmMR850::SaveSettings() {
    if (!channels_ || !HasSettingsFile()) return;
    std::vector<ChannelFileBlock> blocks = ChannelBlocks();
    {
        Operation op(*this);
        if (!ReadChannelBlocks(blocks)) return;
    }
    SaveSettingsFile(this, grpModule->title(), [&blocks](SettingsWriter& w) {
        for (const ChannelFileBlock& b : blocks)
            WriteChannelBlock(w, b);
    });
}

void TfrmMR850::LoadSettings() {
    if (!channels_ || !HasSettingsFile()) return;
    Operation op(*this);
    LoadSettingsFile(this, grpModule->title(), [this](SettingsReader& r) { ApplyChannelFile(r); });
}

void TfrmMR850::ApplyChannelFile(SettingsReader& reader) {
    // Each channel goes to the module once its lines have been read whole.
    for (ChannelFileBlock b : ChannelBlocks())
        if (!ReadChannelBlock(reader, b) || !ApplyChannelBlock(b)) return;
    Information("Update succeeded!");
}

TfrmMR860::TfrmMR860(QWidget* parent) : TfrmMR860(parent, DigitalProtocol::Ascii) {}

TfrmMR860::TfrmMR860(QWidget* parent, DigitalProtocol protocol)
    : TfrmMR850(parent, "R860", protocol) {
    grpDI->hide();
}

TfrmMR850Mod::TfrmMR850Mod(QWidget* parent) : TfrmMR850(parent, "R850", DigitalProtocol::Modbus) {}

TfrmMR860Mod::TfrmMR860Mod(QWidget* parent) : TfrmMR860(parent, DigitalProtocol::Modbus) {}

} // namespace tavo
