// The drawn images of the module tree, the indicator and the toolbar.
#pragma once

#include <QIcon>
#include <QList>

namespace tavo {

// 22 images at the positions the tree nodes and the indicator use.
const QList<QIcon>& TreeImages();

enum class ToolIcon { Save, Search, Terminal, DataScope, SaveConf, LoadConf, Help, Record, Chart };
QIcon ToolbarIcon(ToolIcon which);

} // namespace tavo
