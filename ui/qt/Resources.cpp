#include "ui/qt/Resources.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "ui/ResourceIds.h"

namespace tarvo::ui::qt {
namespace {

// The banner: a night-blue band with a wire-frame cube whose front face carries an "X",
// and the product's name beside it.
QPixmap Banner(QSize size) {
    QPixmap banner(size);
    QPainter painter(&banner);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0.0, QColor(12, 28, 64));
    sky.setColorAt(1.0, QColor(20, 96, 120));
    painter.fillRect(banner.rect(), sky);

    const qreal side = size.height() * 0.55;
    const QPointF front(size.height() * 0.3, size.height() * 0.32);
    const QPointF depth(side * 0.35, -side * 0.3);
    const QRectF face(front, QSizeF(side, side));
    painter.setPen(QPen(QColor(150, 220, 255), 1.5));
    painter.drawRect(face.translated(depth));
    for (const QPointF& corner :
         {face.topLeft(), face.topRight(), face.bottomLeft(), face.bottomRight()})
        painter.drawLine(corner, corner + depth);
    painter.setBrush(QColor(30, 70, 110, 200));
    painter.drawRect(face);
    painter.setPen(QPen(QColor(255, 200, 80), side * 0.12, Qt::SolidLine, Qt::RoundCap));
    const qreal inset = side * 0.22;
    const QRectF cross = face.adjusted(inset, inset, -inset, -inset);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());

    const qreal textLeft = face.right() + depth.x() + size.height() * 0.35;
    QFont title = painter.font();
    title.setBold(true);
    title.setPixelSize(qMax(10, static_cast<int>(size.height() * 0.3)));
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(textLeft, size.height() * 0.52), "Tarvo DirectX");
    QFont subtitle = title;
    subtitle.setBold(false);
    subtitle.setPixelSize(qMax(8, static_cast<int>(size.height() * 0.16)));
    painter.setFont(subtitle);
    painter.setPen(QColor(190, 225, 240));
    painter.drawText(QPointF(textLeft, size.height() * 0.78), ".X scene exporter");
    return banner;
}

}  // namespace

QPixmap BitmapResource(int id, QSize size) {
    if (id == IDB_BANNER && !size.isEmpty()) return Banner(size);
    return {};
}

}  // namespace tarvo::ui::qt
