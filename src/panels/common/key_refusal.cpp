#include "key_refusal.h"

#include "edit_controls.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace tavo {
namespace {

class KeyRefusal : public QObject {
public:
    KeyRefusal(QLineEdit* edit, QString allowed, std::function<void()> onRefused)
        : QObject(edit), allowed_(std::move(allowed)), onRefused_(std::move(onRefused)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        // Control keys (backspace, cursor movement, Enter, shortcuts) pass.
        if (text.isEmpty() || !text.at(0).isPrint() || key->modifiers() & Qt::ControlModifier)
            return false;
        for (const QChar c : text)
            if (!allowed_.contains(c)) {
                if (onRefused_) onRefused_();
                return true;
            }
        return false;
    }

private:
    QString allowed_;
    std::function<void()> onRefused_;
};

} // namespace

void RefuseKeys(QLineEdit* edit, const QString& allowed, std::function<void()> onRefused,
                std::function<void()> onEnter) {
    FilterKeys(edit, allowed, std::move(onEnter));
    edit->installEventFilter(new KeyRefusal(edit, allowed, std::move(onRefused)));
}

} // namespace tavo
