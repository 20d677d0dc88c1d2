#include "panel_base.h"

#include "workspace/module_tree.h"
#include "workspace/status_bar.h"
#include "workspace/ui_services.h"

#include "devices/hex_codes.h"
#include "devices/r_base.h"

#include <QApplication>
#include <QTimer>

namespace tavo {

QString Hex2(int value) {
    return QString("%1").arg(value & 0xFF, 2, 16, QChar('0')).toUpper();
}

unsigned HexOrZero(const std::string& digits) {
    return HexValue(digits).value_or(0);
}

PanelBase::PanelBase(QWidget* parent) : ModulePanel(parent) {}

PanelBase::~PanelBase() {
    StopPolling();
}

void PanelBase::Bind(const PanelContext& context) {
    context_ = context;
    initMode_ = context.address == "*";
}

std::string PanelBase::WireAddress() const {
    return initMode_ ? std::string("00") : context_.address.left(2).toStdString();
}

QTimer* PanelBase::MakePollTimer(const char* objectName, int intervalMs) {
    pollTimer_ = new QTimer(this);
    pollTimer_->setObjectName(objectName);
    pollTimer_->setInterval(intervalMs);
    return pollTimer_;
}

void PanelBase::StartPolling() {
    if (pollTimer_) pollTimer_->start();
}

void PanelBase::StopPolling() {
    if (pollTimer_) pollTimer_->stop();
}

void PanelBase::Status(const QString& text, const QColor& color) {
    if (!context_.status) return;
    context_.status->SetMessageColor(color);
    context_.status->ShowStatusMessage(text);
}

void PanelBase::Heartbeat(bool ok) {
    heartbeat_ ^= 1;
    if (context_.status) context_.status->SetIndicator(QString::number(heartbeat_ + (ok ? 0 : 2)));
    // Told once the tick that polled has returned: some panels read more after
    // their heartbeat (counts, alarms), and a recording stamps a poll's rows alike.
    QMetaObject::invokeMethod(this, [this, ok] { emit PollEnded(ok); }, Qt::QueuedConnection);
}

bool PanelBase::PollStatus(bool ok, const QString& okText, const QString& failText) {
    Heartbeat(ok);
    if (ok)
        Status(okText, Qt::red);
    else
        Status(failText);
    return ok;
}

PanelBase::Operation::Operation(PanelBase& panel, QWidget* button)
    : panel_(panel), button_(button),
      wasPolling_(panel.pollTimer_ && panel.pollTimer_->isActive()) {
    panel_.StopPolling();
    if (button_) button_->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void PanelBase::Operation::RestoreCursor() {
    if (!cursorSet_) return;
    QApplication::restoreOverrideCursor();
    cursorSet_ = false;
}

void PanelBase::Operation::WaitCursor() {
    if (cursorSet_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cursorSet_ = true;
}

PanelBase::Operation::~Operation() {
    RestoreCursor();
    if (button_) button_->setEnabled(true);
    if (wasPolling_) panel_.StartPolling();
}

void PanelBase::Pause(int ms) {
    Ui().Sleep(ms);
}
void PanelBase::Error(const QString& text) {
    ShowError(this, text);
}
void PanelBase::Information(const QString& text) {
    ShowInformation(this, text);
}

bool PanelBase::ReadNewAddress(const QString& text, int& address) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 1 || value > 255) {
        Error("Please input dicimal address between 1 and 255!");
        return false;
    }
    address = value;
    return true;
}

bool PanelBase::AddressInUse(int address, QString& name) {
    TavoRBase probe(context_.port, Hex2(address).toStdString());
    std::string reply;
    if (!probe.ReadModuleName(reply)) return false;
    name = QString::fromStdString(reply);
    return true;
}

void PanelBase::RenameModuleNode(int address, const QString& name) {
    if (!context_.tree) return;
    QTreeWidgetItem* node = context_.tree->currentItem();
    if (!node) return;
    node->setText(0, QString("(%1)%2").arg(Hex2(address), name));
    context_.tree->SortTree();
    context_.tree->repaint();
}

} // namespace tavo
