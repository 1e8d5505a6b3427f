#include "shell/cursors.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>

#include <functional>
#include <map>
#include <string>

namespace velmora {

namespace {

constexpr int cursor_side = 32;

// A 32 x 32 logical cursor drawn by `draw` at the screen's pixel ratio.
QCursor drawn_cursor(const std::function<void(QPainter&)>& draw, QPoint hot_spot)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(cursor_side, cursor_side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return QCursor(pixmap, hot_spot.x(), hot_spot.y());
}

void draw_arrow(QPainter& painter)
{
    QPainterPath arrow;
    arrow.moveTo(1, 1);
    arrow.lineTo(1, 17);
    arrow.lineTo(5, 13);
    arrow.lineTo(8, 20);
    arrow.lineTo(10, 19);
    arrow.lineTo(7, 12);
    arrow.lineTo(12, 12);
    arrow.closeSubpath();
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    painter.drawPath(arrow);
}

// The arrow with a bar and a small triangle telling where the row goes.
void draw_insert(QPainter& painter, bool above)
{
    draw_arrow(painter);
    const int bar = above ? 22 : 28;
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(10.5, bar - 1.5, 18, 3));
    QPainterPath triangle;
    const qreal tip = above ? bar - 6 : bar + 5;
    const qreal base = above ? bar - 2 : bar + 1;
    triangle.moveTo(19.5, tip);
    triangle.lineTo(16, base);
    triangle.lineTo(23, base);
    triangle.closeSubpath();
    painter.drawPath(triangle);
}

} // namespace

QCursor program_cursor(std::string_view name)
{
    static std::map<std::string, QCursor, std::less<>> cursors;
    if (const auto found = cursors.find(name); found != cursors.end())
        return found->second;
    QCursor cursor(Qt::ArrowCursor);
    if (name == "INSERE_AU_DESSUS")
        cursor = drawn_cursor([](QPainter& p) { draw_insert(p, true); }, {1, 1});
    else if (name == "INSERE_EN_DESSOUS")
        cursor = drawn_cursor([](QPainter& p) { draw_insert(p, false); }, {1, 1});
    cursors.emplace(name, cursor);
    return cursor;
}

} // namespace velmora
