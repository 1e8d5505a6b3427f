#include "shell/cursors.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace velmora {

namespace {

constexpr int cursor_side = 32;

QCursor drawn_cursor(const std::function<void(QPainter&)>& draw, QPoint hot_spot)
{
    return QCursor(drawn_picture(cursor_side, draw), hot_spot.x(), hot_spot.y());
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

// Precise painting: a thin cross with an open centre, drawn twice (white
// under black) so it shows on any colour.
void draw_precise(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& [colour, width] : {std::pair{Qt::white, 3}, std::pair{Qt::black, 1}}) {
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(QPointF(15.5, 6), QPointF(15.5, 13));
        painter.drawLine(QPointF(15.5, 18), QPointF(15.5, 25));
        painter.drawLine(QPointF(6, 15.5), QPointF(13, 15.5));
        painter.drawLine(QPointF(18, 15.5), QPointF(25, 15.5));
    }
}

// A slanted tool whose tip is the hot spot at (1, 30), edged in white so it
// shows on dark pixels.
void draw_slanted(QPainter& painter, const QPolygonF& body, QColor fill)
{
    painter.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(body);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill);
    painter.drawPolygon(body);
}

void draw_pencil(QPainter& painter)
{
    draw_slanted(painter, QPolygonF({{1, 30}, {3, 22}, {22, 3}, {28, 9}, {9, 28}}), QColor(240, 200, 60));
}

void draw_dropper(QPainter& painter)
{
    draw_slanted(painter, QPolygonF({{1, 30}, {2, 26}, {17, 11}, {20, 14}, {5, 29}}), QColor(220, 220, 240));
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRectF(19, 3, 9, 9));
    painter.drawLine(QPointF(15, 9), QPointF(22, 16));
}

void draw_brush(QPainter& painter)
{
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(QColor(120, 70, 30));
    painter.drawPolygon(QPolygonF({{12, 16}, {27, 1}, {30, 4}, {15, 19}}));
    QPainterPath tip;
    tip.moveTo(12, 15);
    tip.cubicTo(7, 15, 5, 22, 1, 30);
    tip.cubicTo(9, 27, 16, 24, 16, 19);
    tip.closeSubpath();
    painter.setBrush(Qt::black);
    painter.drawPath(tip);
}

// A magnifier whose lens centre is the hot spot, with + or -.
void draw_magnifier(QPainter& painter, bool in)
{
    painter.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(17, 17), QPointF(27, 27));
    painter.setPen(QPen(Qt::black, 1.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(11, 11), 8, 8);
    painter.drawLine(QPointF(7, 11), QPointF(15, 11));
    if (in)
        painter.drawLine(QPointF(11, 7), QPointF(11, 15));
}

struct tcursor_picture {
    std::string_view name;
    void (*draw)(QPainter&);
    QPoint hot_spot;
};

constexpr tcursor_picture pictures[] = {
    {"INSERE_AU_DESSUS", [](QPainter& p) { draw_insert(p, true); }, {1, 1}},
    {"INSERE_EN_DESSOUS", [](QPainter& p) { draw_insert(p, false); }, {1, 1}},
    {"PRECIS", draw_precise, {15, 15}},
    {"CRAYON", draw_pencil, {1, 30}},
    {"PIPETTE", draw_dropper, {1, 30}},
    {"PINCEAU", draw_brush, {1, 30}},
    {"ZOOMIN", [](QPainter& p) { draw_magnifier(p, true); }, {11, 11}},
    {"ZOOMOUT", [](QPainter& p) { draw_magnifier(p, false); }, {11, 11}},
};

} // namespace

QPixmap drawn_picture(int side, const std::function<void(QPainter&)>& draw)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return pixmap;
}

QCursor program_cursor(std::string_view name)
{
    static std::map<std::string, QCursor, std::less<>> cursors;
    if (const auto found = cursors.find(name); found != cursors.end())
        return found->second;
    QCursor cursor(Qt::ArrowCursor);
    for (const tcursor_picture& picture : pictures)
        if (picture.name == name)
            cursor = drawn_cursor(picture.draw, picture.hot_spot);
    cursors.emplace(name, cursor);
    return cursor;
}

} // namespace velmora
