#include "module_tree.h"

#include "tree_images.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <functional>
#include <tuple>

namespace tavo {
namespace {
constexpr int kLinkRole = Qt::UserRole + 1;
constexpr int kImageRole = Qt::UserRole + 2;
constexpr int kLineRole = Qt::UserRole + 3;
constexpr int kSearchedRole = Qt::UserRole + 5;

QList<QVariant> LineList(const LineSettings& l) { return {l.baud, l.dataBits, l.parity, l.stopBits}; }
std::optional<LineSettings> LineFromList(const QList<QVariant>& v) {
    if (v.size() < 4) return std::nullopt;
    return LineSettings{v[0].toUInt(), v[1].toInt(), v[2].toInt(), v[3].toInt()};
}

// One icon with the node's image and, for the selected state, its selected image.
QIcon NodeIcon(int image, int selected) {
    QIcon icon;
    for (const QSize size : {QSize(16, 16), QSize(32, 32)}) {
        icon.addPixmap(TreeImages().at(image).pixmap(size), QIcon::Normal);
        icon.addPixmap(TreeImages().at(selected).pixmap(size), QIcon::Selected);
    }
    return icon;
}

void SetImages(QTreeWidgetItem* item, int image, int selected) {
    item->setIcon(0, NodeIcon(image, selected));
    item->setData(0, kImageRole, QList<QVariant>{image, selected});
}
} // namespace

std::pair<int, int> ModuleTree::Images(const QTreeWidgetItem* item) {
    const auto v = item->data(0, kImageRole).toList();
    return v.size() == 2 ? std::make_pair(v[0].toInt(), v[1].toInt()) : std::make_pair(-1, -1);
}

bool ModuleTreeItem::operator<(const QTreeWidgetItem& other) const {
    const QString a = text(0), b = other.text(0);
    if (a.size() != b.size()) return a.size() < b.size();
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return a[i].unicode() < b[i].unicode();
    return false;
}

ModuleTree::ModuleTree(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("treeviewModule");
    setHeaderHidden(true);
    setColumnCount(2); // the node, and for a sweep's modules the line settings they answered at
    setIndentation(19);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Long names scroll sideways rather than being cut to "...".
    setTextElideMode(Qt::ElideNone);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents); // both columns
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* root = new ModuleTreeItem(this, QStringList{"PC"});
    SetImages(root, kImagePc, kImagePc);
}

QTreeWidgetItem* ModuleTree::AddPort(const QString& name) {
    auto* item = new ModuleTreeItem(Root(), QStringList{name});
    SetImages(item, kImagePort, kImagePortSelected);
    return item;
}

QTreeWidgetItem* ModuleTree::FindPort(const QString& name) const {
    for (int i = 0; i < Root()->childCount(); ++i)
        if (Root()->child(i)->text(0) == name) return Root()->child(i);
    return nullptr;
}

QTreeWidgetItem* ModuleTree::AddFound(QTreeWidgetItem* parent, const FoundNode& node) {
    auto* item = new ModuleTreeItem(parent, QStringList{QString::fromStdString(node.text)});
    SetImages(item, node.image, node.selectedImage);
    if (node.link) item->setData(0, kLinkRole, static_cast<int>(*node.link));
    if (node.line) {
        item->setData(0, kLineRole, LineList(*node.line));
        item->setText(1, QString::fromStdString(LineSettingsText(*node.line)));
    }
    for (const auto& child : node.children) AddFound(item, child);
    return item;
}

FoundNode ModuleTree::NodeFound(const QTreeWidgetItem* item) {
    FoundNode node;
    node.text = item->text(0).toStdString();
    std::tie(node.image, node.selectedImage) = Images(item);
    node.link = NodeLinkKind(item);
    node.line = NodeLineSettings(item);
    for (int i = 0; i < item->childCount(); ++i) node.children.push_back(NodeFound(item->child(i)));
    return node;
}

std::vector<FoundNode> ModuleTree::FoundUnder(const QTreeWidgetItem* port) {
    std::vector<FoundNode> found;
    for (int i = 0; port && i < port->childCount(); ++i) found.push_back(NodeFound(port->child(i)));
    return found;
}

void ModuleTree::SetSearchedWith(QTreeWidgetItem* port, const SearchedWith& with) {
    QList<QVariant> v = LineList(with.line);
    v << with.timeoutMs << with.turnaroundMs;
    port->setData(0, kSearchedRole, v);
}

std::optional<ModuleTree::SearchedWith> ModuleTree::PortSearchedWith(const QTreeWidgetItem* port) {
    const auto v = port ? port->data(0, kSearchedRole).toList() : QList<QVariant>();
    const auto line = LineFromList(v);
    if (!line || v.size() != 6) return std::nullopt;
    return SearchedWith{*line, v[4].toInt(), v[5].toInt()};
}

int ModuleTree::Level(const QTreeWidgetItem* item) {
    int level = 0;
    for (auto* p = item ? item->parent() : nullptr; p; p = p->parent()) ++level;
    return level;
}

std::optional<LinkKind> ModuleTree::NodeLinkKind(const QTreeWidgetItem* item) {
    const QVariant v = item ? item->data(0, kLinkRole) : QVariant();
    if (!v.isValid()) return std::nullopt;
    return static_cast<LinkKind>(v.toInt());
}

std::optional<LineSettings> ModuleTree::NodeLineSettings(const QTreeWidgetItem* item) {
    const auto v = item ? item->data(0, kLineRole).toList() : QList<QVariant>();
    if (v.size() != 4) return std::nullopt;
    return LineFromList(v);
}

QTreeWidgetItem* ModuleTree::PortOf(QTreeWidgetItem* item) {
    while (item && Level(item) > 1) item = item->parent();
    return item && Level(item) == 1 ? item : nullptr;
}

void ModuleTree::SortTree() {
    sortItems(0, Qt::AscendingOrder);
    viewport()->update();
}

int ModuleTree::ItemWidth(const QTreeWidgetItem* item) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    return itemDelegate()->sizeHint(option, indexFromItem(item)).width();
}

int ModuleTree::ContentWidth() const {
    int widest = 0;
    std::function<void(const QTreeWidgetItem*)> walk = [&](const QTreeWidgetItem* item) {
        const int depth = Level(item) + (rootIsDecorated() ? 1 : 0);
        widest = std::max(widest, depth * indentation() + ItemWidth(item));
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
    };
    for (int i = 0; i < topLevelItemCount(); ++i) walk(topLevelItem(i));
    return widest + 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
}

bool ModuleTree::IsCut(const QTreeWidgetItem* item) const {
    if (!item) return false;
    const QRect rect = visualItemRect(item);
    if (rect.isEmpty()) return false; // not shown
    return rect.left() < 0 || rect.left() + ItemWidth(item) > viewport()->width();
}

bool ModuleTree::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QTreeWidgetItem* item = itemAt(help->pos());
        if (item && IsCut(item))
            QToolTip::showText(help->globalPos(), item->text(0), viewport(),
                               visualItemRect(item));
        else
            QToolTip::hideText();
        return true;
    }
    return QTreeWidget::viewportEvent(event);
}

QString ModuleTree::ExportText(const QTreeWidgetItem* top, bool withLinkKinds) {
    QString out;
    const int base = Level(top);
    std::function<void(const QTreeWidgetItem*)> walk = [&](const QTreeWidgetItem* item) {
        out += QString(Level(item) - base, '\t') + item->text(0);
        if (withLinkKinds)
            if (auto kind = NodeLinkKind(item)) out += '\t' + QString::number(static_cast<int>(*kind));
        out += "\r\n";
        for (int i = 0; i < item->childCount(); ++i) walk(item->child(i));
    };
    if (top) walk(top);
    return out;
}

} // namespace tavo
