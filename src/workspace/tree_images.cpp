#include "tree_images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace tavo {
namespace {

QPixmap Canvas() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

QIcon Draw(const std::function<void(QPainter&)>& paint) {
    QPixmap pm = Canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return QIcon(pm);
}

QIcon Box(QColor fill, QColor frame, bool selected, const QString& mark = {}) {
    return Draw([=](QPainter& p) {
        p.setPen(frame);
        p.setBrush(selected ? fill.lighter(130) : fill);
        p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
        if (!mark.isEmpty()) {
            QFont f = p.font();
            f.setPixelSize(8);
            f.setBold(true);
            p.setFont(f);
            p.setPen(Qt::white);
            p.drawText(QRectF(1, 2, 14, 12), Qt::AlignCenter, mark);
        }
        if (selected) {
            p.setPen(QPen(QColor(255, 200, 0), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(QRectF(0.75, 1.75, 14.5, 12.5), 2, 2);
        }
    });
}

QIcon Lamp(QColor color) {
    return Draw([=](QPainter& p) {
        p.setPen(color.darker(160));
        QRadialGradient g(6, 6, 7);
        g.setColorAt(0, color.lighter(150));
        g.setColorAt(1, color);
        p.setBrush(g);
        p.drawEllipse(QRectF(2, 2, 12, 12));
    });
}

QList<QIcon> Build() {
    QList<QIcon> images;
    // 0: the PC
    images << Draw([](QPainter& p) {
        p.setPen(QColor(40, 40, 60));
        p.setBrush(QColor(120, 170, 230));
        p.drawRect(QRectF(1.5, 1.5, 13, 9));
        p.setBrush(QColor(90, 90, 100));
        p.drawRect(QRectF(5.5, 11.5, 5, 2));
        p.drawRect(QRectF(3.5, 13.5, 9, 1.5));
    });
    const auto port = [](bool selected) {
        return Draw([=](QPainter& p) {
            p.setPen(QColor(30, 30, 30));
            p.setBrush(selected ? QColor(250, 210, 80) : QColor(200, 200, 200));
            QPainterPath d;
            d.moveTo(1.5, 4.5);
            d.lineTo(14.5, 4.5);
            d.lineTo(12.5, 11.5);
            d.lineTo(3.5, 11.5);
            d.closeSubpath();
            p.drawPath(d);
            p.setBrush(QColor(30, 30, 30));
            for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(4 + i * 2, 7), 0.6, 0.6);
            for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(5 + i * 2, 9.5), 0.6, 0.6);
        });
    };
    images << port(false) << port(false) << port(true);                                 // 1-3
    images << Box(QColor(40, 120, 60), Qt::black, false) << Box(QColor(40, 120, 60), Qt::black, true); // 4-5
    images << Box(QColor(60, 60, 140), Qt::black, false, "R")
           << Box(QColor(60, 60, 140), Qt::black, true, "R");                             // 6-7
    images << Box(QColor(120, 90, 40), Qt::black, false, "S")
           << Box(QColor(120, 90, 40), Qt::black, true, "S");                             // 8-9
    images << Box(QColor(100, 100, 100), Qt::black, false, "C")
           << Box(QColor(100, 100, 100), Qt::black, true, "C");                           // 10-11
    images << Box(Qt::gray, Qt::black, false) << Box(Qt::gray, Qt::black, true);          // 12-13
    images << Lamp(QColor(0, 220, 0)) << Lamp(QColor(0, 110, 0)) << Lamp(QColor(230, 0, 0))
           << Lamp(QColor(110, 0, 0));                                                    // 14-17
    images << Box(QColor(150, 40, 120), Qt::black, false, "M")
           << Box(QColor(150, 40, 120), Qt::black, true, "M");                            // 18-19
    images << Lamp(QColor(250, 200, 0)) << Lamp(QColor(60, 140, 220));                    // 20-21
    return images;
}

} // namespace

const QList<QIcon>& TreeImages() {
    static const QList<QIcon> images = Build();
    return images;
}

QIcon ToolbarIcon(ToolIcon which) {
    switch (which) {
    case ToolIcon::Save:
        return Draw([](QPainter& p) {
            p.setPen(Qt::black);
            p.setBrush(QColor(60, 90, 170));
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
        });
    case ToolIcon::Search:
        return Draw([](QPainter& p) {
            p.setPen(QPen(Qt::black, 1.5));
            p.setBrush(QColor(200, 230, 255));
            p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
            p.setPen(QPen(Qt::black, 2.5));
            p.drawLine(QPointF(9.5, 9.5), QPointF(14.5, 14.5));
        });
    case ToolIcon::Terminal:
        return Draw([](QPainter& p) {
            p.setPen(Qt::black);
            p.setBrush(Qt::black);
            p.drawRect(QRectF(1.5, 2.5, 13, 11));
            p.setPen(QColor(0, 230, 0));
            p.drawText(QRectF(2, 3, 12, 10), Qt::AlignCenter, ">_");
        });
    case ToolIcon::DataScope:
        return Draw([](QPainter& p) {
            p.setPen(QPen(QColor(0, 120, 0), 1.5));
            p.drawPolyline(QPolygonF({{1, 12}, {5, 5}, {9, 10}, {15, 3}}));
        });
    case ToolIcon::SaveConf:
    case ToolIcon::LoadConf: {
        const bool save = which == ToolIcon::SaveConf;
        return Draw([save](QPainter& p) {
            p.setPen(Qt::black);
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 1.5, 10, 13));
            p.setPen(QPen(save ? QColor(0, 120, 0) : QColor(0, 70, 200), 2));
            if (save) p.drawLine(QPointF(7.5, 4), QPointF(7.5, 12));
            else p.drawLine(QPointF(4, 8), QPointF(11, 8));
            p.drawLine(QPointF(5, save ? 9 : 5), QPointF(7.5, save ? 12 : 8));
        });
    }
    case ToolIcon::Help:
        return Draw([](QPainter& p) {
            p.setPen(Qt::black);
            p.setBrush(QColor(255, 240, 120));
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, "?");
        });
    case ToolIcon::Record:
        return Draw([](QPainter& p) {
            p.setPen(QColor(120, 0, 0));
            p.setBrush(QColor(220, 30, 30));
            p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        });
    case ToolIcon::Chart:
        return Draw([](QPainter& p) {
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(QPointF(1.5, 1.5), QPointF(1.5, 14.5));
            p.drawLine(QPointF(1.5, 14.5), QPointF(14.5, 14.5));
            p.setPen(QPen(QColor(31, 119, 180), 1.5));
            p.drawPolyline(QPolygonF({{3, 11}, {6, 7}, {9, 9}, {14, 3}}));
            p.setPen(QPen(QColor(214, 39, 40), 1.5));
            p.drawPolyline(QPolygonF({{3, 13}, {7, 13}, {7, 10}, {11, 10}, {11, 13}, {14, 13}}));
        });
    }
    return {};
}

} // namespace tavo
