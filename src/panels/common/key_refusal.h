// A numeric field that tells the user when a key is refused: typed characters
// outside the allowed set are dropped and `onRefused` runs (a panel shows its
// message there); pasted text is held to the same set by the field's validator.
#pragma once

#include <QString>

#include <functional>

class QLineEdit;

namespace tavo {

void RefuseKeys(QLineEdit* edit, const QString& allowed, std::function<void()> onRefused,
                std::function<void()> onEnter = {});

} // namespace tavo
