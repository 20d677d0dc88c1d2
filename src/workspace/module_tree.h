// The module tree: the PC, its ports, and the modules, slots and channels found.
#pragma once

#include "core/model_registry.h"
#include "core/search_engine.h"

#include <QTreeWidget>

namespace tavo {

// Orders nodes as the tree sorts them: the shorter text first, texts of equal
// length by their character codes.
class ModuleTreeItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override;
};

class ModuleTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit ModuleTree(QWidget* parent = nullptr);

    QTreeWidgetItem* Root() const { return topLevelItem(0); }
    QTreeWidgetItem* AddPort(const QString& name);
    QTreeWidgetItem* FindPort(const QString& name) const;
    // Adds a node found by the search (with its children) under `parent`.
    QTreeWidgetItem* AddFound(QTreeWidgetItem* parent, const FoundNode& node);

    static int Level(const QTreeWidgetItem* item);
    // The node's image and selected image in the tree's image list.
    static std::pair<int, int> Images(const QTreeWidgetItem* item);
    static std::optional<LinkKind> NodeLinkKind(const QTreeWidgetItem* item);
    // The line settings a module node of a sweep was found at (shown in the second
    // column); none for the nodes of a search at the port's own settings.
    static std::optional<LineSettings> NodeLineSettings(const QTreeWidgetItem* item);
    // A node and its children as the search found them (a rack speaking Modbus with
    // the slots it read but the tree does not show), and the module nodes under a port.
    static FoundNode NodeFound(const QTreeWidgetItem* item);
    static std::vector<FoundNode> FoundUnder(const QTreeWidgetItem* port);
    // What a port's last search ran at: the port's line settings, its time-out and
    // the Modbus turnaround (ms). None for a port not searched in this run.
    struct SearchedWith {
        LineSettings line;
        int timeoutMs = 80;
        int turnaroundMs = 20;
    };
    static void SetSearchedWith(QTreeWidgetItem* port, const SearchedWith& with);
    static std::optional<SearchedWith> PortSearchedWith(const QTreeWidgetItem* port);
    // The level-1 ancestor of a node (the node itself at level 1).
    static QTreeWidgetItem* PortOf(QTreeWidgetItem* item);

    // Sorts every level in the tree's order.
    void SortTree();

    // The width that shows every node whole (indentation, image and text of the
    // widest), with the frame and room for a vertical scroll bar.
    int ContentWidth() const;
    // Whether a shown node's text runs past the visible part of the tree; such a
    // node shows its whole text as its tooltip.
    bool IsCut(const QTreeWidgetItem* item) const;
    // The lines of a branch: each node's text after one tab per level below `top`'s
    // level, in tree order, each line ended by CR LF.
    static QString ExportText(const QTreeWidgetItem* top, bool withLinkKinds = false);
    QString ExportText() const { return ExportText(Root()); }

protected:
    bool viewportEvent(QEvent* event) override;

private:
    // The node's own width: image, text and the delegate's margins.
    int ItemWidth(const QTreeWidgetItem* item) const;
};

} // namespace tavo
