// Panels of the universal digital I/O modules: R850 (eight outputs, seven inputs)
// and R860 (eight outputs), ASCII and Modbus. They are the digital I/O form whose
// channel buttons open the channel-setting dialog; the ASCII R850 panel adds the
// locate command and the switch to the boot loader.
#pragma once

#include "digital_io_panels.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace tavo {

class DioChannelLink;
class SettingsReader;
class SettingsWriter;
class TavoMR850;

class TfrmMR850 : public TfrmMR550 {
    Q_OBJECT
public:
    explicit TfrmMR850(QWidget* parent = nullptr);
    ~TfrmMR850() override;

    // The settings file holds each channel's mode and timings, read from the module:
    // "Module Name", then per output channel "Ch%d mode" and its four timing values,
    // per input channel "Ch%d mode" (the whole mode byte) and its two filter widths
    // (0.1 ms, "%08X"). Outputs first, each kind numbered as the module numbers it.
    void SaveSettings() override;
    void LoadSettings() override;

    // Opens the channel-setting dialog of "DO3" or "DI0" and waits for it to close.
    void OpenChannel(const QString& channel);
    void btLocateClick();
    void btDownloadModeClick();

    QPushButton* btLocate;
    QPushButton* btDownloadMode;

protected:
    TfrmMR850(QWidget* parent, const QString& model, DigitalProtocol protocol);
    int DIChannelCount() const override { return 7; }
    void CreateExtraObjects(const std::string& address) override;

private:
    // One channel as the file holds it: the mode, and the four output timings or
    // (values 0 and 1) the two filter widths of an input.
    struct ChannelFileBlock {
        bool output = false;
        int channel = 0;
        unsigned mode = 0;
        std::array<std::uint32_t, 4> values{};
    };
    std::vector<ChannelFileBlock> ChannelBlocks() const;
    // Fills the blocks from the module; false (after saying what failed) on a failure.
    bool ReadChannelBlocks(std::vector<ChannelFileBlock>& blocks);
    static void WriteChannelBlock(SettingsWriter& writer, const ChannelFileBlock& block);
    // The next block's lines into `block`; false, with the reader stopped, when one
    // is missing or its value does not fit.
    static bool ReadChannelBlock(SettingsReader& reader, ChannelFileBlock& block);
    // Writes one block to the module as the channel dialog's Update does.
    bool ApplyChannelBlock(const ChannelFileBlock& block);
    void ApplyChannelFile(SettingsReader& reader);

    std::unique_ptr<TavoMR850> mr850_;
    std::unique_ptr<DioChannelLink> channels_;
};

class TfrmMR860 : public TfrmMR850 {
    Q_OBJECT
public:
    explicit TfrmMR860(QWidget* parent = nullptr);

protected:
    TfrmMR860(QWidget* parent, DigitalProtocol protocol);
    int DIChannelCount() const override { return 0; }
};

class TfrmMR850Mod : public TfrmMR850 {
    Q_OBJECT
public:
    explicit TfrmMR850Mod(QWidget* parent = nullptr);
};

class TfrmMR860Mod : public TfrmMR860 {
    Q_OBJECT
public:
    explicit TfrmMR860Mod(QWidget* parent = nullptr);
};

} // namespace tavo
