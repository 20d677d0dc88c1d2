// What the module panels share: binding to the module (INIT mode), the poll timer
// with its status texts and heartbeat, user operations that pause the poll, and
// the address change with its in-use check and tree rename.
#pragma once

#include "workspace/module_panel.h"

#include <QColor>
#include <QPointer>

class QTimer;
class QTreeWidgetItem;

namespace tavo {

class TavoRBase;

class PanelBase : public ModulePanel {
    Q_OBJECT
public:
    explicit PanelBase(QWidget* parent = nullptr);
    ~PanelBase() override;

protected:
    // Keeps the context; an address text "*" means INIT mode and address "00".
    void Bind(const PanelContext& context);
    bool InitMode() const { return initMode_; }
    // The address the command objects use: "00" in INIT mode, else the node's.
    std::string WireAddress() const;
    TavoComPort* Port() const { return context_.port; }
    const PanelContext& Context() const { return context_; }

    // The poll timer (named as the panel's form names it); started by StartPolling.
    QTimer* MakePollTimer(const char* objectName, int intervalMs);
    QTimer* PollTimer() const { return pollTimer_; }
    void StartPolling();
    void StopPolling();

    // Status panel 0; a successful reading shows in red, anything else in black.
    void Status(const QString& text, const QColor& color = Qt::black);
    // Inverts the heartbeat and shows it in status panel 1: "0"/"1" after a good
    // poll, "2"/"3" after a failed one; and tells of the poll's end (PollEnded).
    void Heartbeat(bool ok);
    // The end of a poll: the heartbeat, and `okText` in red or `failText` in
    // black. Returns `ok`.
    bool PollStatus(bool ok, const QString& okText, const QString& failText);
    // The heartbeat digit the next poll shows on success (0 or 1), and setting the
    // present one (a poll that must read a given group of its turns).
    int NextHeartbeat() const { return heartbeat_ ^ 1; }
    void SetHeartbeat(int value) { heartbeat_ = value & 1; }

    // A user action: stops the poll, shows the hourglass and (optionally)
    // disables the button for its duration, then puts everything back. A message
    // shown inside the operation comes before the poll restarts; one shown after
    // it, with the poll already running.
    class Operation {
    public:
        explicit Operation(PanelBase& panel, QWidget* button = nullptr);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;
        // The normal cursor back now, for a closing message while the poll
        // still waits; and the hourglass again after it.
        void RestoreCursor();
        void WaitCursor();

    private:
        PanelBase& panel_;
        QPointer<QWidget> button_;
        bool wasPolling_;
        bool cursorSet_ = true;
    };

    // Fixed pause while a module works (through the UI services' clock).
    static void Pause(int ms);
    void Error(const QString& text);
    void Information(const QString& text);

    // Parses the decimal address field (1 to 255); shows "Please input dicimal
    // address between 1 and 255!" and returns false otherwise.
    bool ReadNewAddress(const QString& text, int& address);
    // True when a module answers "$NNM" at `address`; its name goes to `name`.
    bool AddressInUse(int address, QString& name);
    // Renames the selected module node "(%02X)name" and sorts the tree.
    void RenameModuleNode(int address, const QString& name);

private:
    PanelContext context_;
    bool initMode_ = false;
    QTimer* pollTimer_ = nullptr;
    int heartbeat_ = 0;
};

// "%02X" of the low byte.
QString Hex2(int value);
// The value of a module's hexadecimal field, 0 when it is none (the command
// objects have checked their replies' digits already).
unsigned HexOrZero(const std::string& digits);

} // namespace tavo
