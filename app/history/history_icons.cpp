#include "history/history_icons.h"

#include "history/history.h"
#include "shell/catalogue.h"

#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QRadialGradient>

namespace velmora {

namespace {

// Every glyph is drawn on a 16 x 16 grid; lines sit on half pixels so that
// one-pixel strokes fall on whole pixels at 1x.
const QColor ink(48, 48, 48);
const QColor accent(38, 110, 220);
const QColor paper(250, 250, 250);
const QColor metal(150, 150, 150);

constexpr int icon_count = 42;

QPen solid(const QColor& colour, qreal width = 1.0)
{
    QPen pen(colour, width);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// Marching-ants outline: the selection glyphs all share it.
QPen dashed()
{
    QPen pen = solid(ink);
    pen.setDashPattern({2.0, 2.0});
    return pen;
}

void dashed_outline(QPainter& p, const QPainterPath& outline)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(dashed());
    p.drawPath(outline);
}

void dashed_rect(QPainter& p, const QRectF& rect)
{
    QPainterPath path;
    path.addRect(rect);
    dashed_outline(p, path);
}

void filled_shape(QPainter& p, const QPainterPath& shape, const QBrush& fill)
{
    p.setPen(solid(ink));
    p.setBrush(fill);
    p.drawPath(shape);
}

void filled_polygon(QPainter& p, const QPolygonF& corners, const QBrush& fill)
{
    QPainterPath shape;
    shape.addPolygon(corners);
    shape.closeSubpath();
    filled_shape(p, shape, fill);
}

void arrow_head(QPainter& p, QPointF tip, qreal angle_degrees, qreal size = 3.0)
{
    const qreal a = angle_degrees * std::numbers::pi / 180.0;
    const QPointF back(std::cos(a) * size, std::sin(a) * size);
    const QPointF side(-back.y() * 0.8, back.x() * 0.8);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({tip, tip - back + side, tip - back - side}));
}

void arrow(QPainter& p, QPointF from, QPointF to, qreal size = 2.5)
{
    const QPointF d = to - from;
    const qreal angle = std::atan2(d.y(), d.x()) * 180.0 / std::numbers::pi;
    const qreal length = std::hypot(d.x(), d.y());
    const QPointF shaft_end = to - d * (size / length);
    p.setPen(solid(ink));
    p.drawLine(from, shaft_end);
    arrow_head(p, to, angle, size);
}

void vertex_square(QPainter& p, QPointF centre, const QColor& fill = paper)
{
    p.setPen(solid(ink));
    p.setBrush(fill);
    p.drawRect(QRectF(centre.x() - 1.5, centre.y() - 1.5, 3, 3));
}

// A diagonal handle from the lower left, shared by the painting tools.
void handle(QPainter& p, QPointF from, QPointF to, const QColor& colour)
{
    QPen pen = solid(colour, 2.0);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.drawLine(from, to);
}

void document(QPainter& p)
{
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(9.5, 1.5);
    page.lineTo(12.5, 4.5);
    page.lineTo(12.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    filled_shape(p, page, paper);
    p.drawPolyline(QPolygonF({{9.5, 1.5}, {9.5, 4.5}, {12.5, 4.5}}));
    p.setPen(solid(metal));
    for (qreal y : {7.5, 9.5, 11.5})
        p.drawLine(QPointF(5, y), QPointF(11, y));
}

void rectangle_selection(QPainter& p) { dashed_rect(p, QRectF(2.5, 3.5, 11, 9)); }

void lasso(QPainter& p)
{
    QPainterPath loop;
    loop.moveTo(6, 11);
    loop.cubicTo(0, 10, 1, 2, 8, 2.5);
    loop.cubicTo(15, 3, 15, 10, 8.5, 10.5);
    dashed_outline(p, loop);
    p.setPen(solid(ink));
    QPainterPath rope;
    rope.moveTo(8.5, 10.5);
    rope.cubicTo(7, 12, 10, 13, 8, 15);
    p.drawPath(rope);
}

void polygonal_lasso(QPainter& p)
{
    QPainterPath loop;
    loop.addPolygon(QPolygonF({{2.5, 6.5}, {7.5, 2.5}, {13.5, 5.5}, {11.5, 12.5}, {5.5, 10.5}}));
    loop.closeSubpath();
    dashed_outline(p, loop);
    for (QPointF corner : {QPointF(2.5, 6.5), QPointF(7.5, 2.5), QPointF(13.5, 5.5)})
        vertex_square(p, corner, ink);
}

void sparkle(QPainter& p, QPointF centre, qreal r)
{
    p.setPen(solid(accent));
    p.drawLine(centre - QPointF(r, 0), centre + QPointF(r, 0));
    p.drawLine(centre - QPointF(0, r), centre + QPointF(0, r));
    p.drawLine(centre - QPointF(r * 0.6, r * 0.6), centre + QPointF(r * 0.6, r * 0.6));
    p.drawLine(centre - QPointF(r * 0.6, -r * 0.6), centre + QPointF(r * 0.6, -r * 0.6));
}

void magic_wand(QPainter& p)
{
    handle(p, QPointF(2, 14), QPointF(9, 7), ink);
    sparkle(p, QPointF(11.5, 4.5), 3.5);
}

void brush_glyph(QPainter& p, QPointF offset)
{
    p.save();
    p.translate(offset);
    handle(p, QPointF(13, 2), QPointF(7.5, 7.5), QColor(150, 90, 40));
    p.setPen(solid(ink));
    p.setBrush(metal);
    p.drawPolygon(QPolygonF({{6, 7}, {8.5, 9.5}, {7.5, 10.5}, {5, 8}}));
    QPainterPath tip;
    tip.moveTo(5, 8);
    tip.lineTo(7.5, 10.5);
    tip.cubicTo(6, 13, 3, 14, 1.5, 14.5);
    tip.cubicTo(2, 13, 3, 10, 5, 8);
    filled_shape(p, tip, accent);
    p.restore();
}

void paintbrush(QPainter& p) { brush_glyph(p, QPointF(0, 0)); }

void pencil(QPainter& p)
{
    filled_polygon(p, QPolygonF({{11, 2}, {14, 5}, {6, 13}, {3, 10}}), QColor(240, 190, 60));
    filled_polygon(p, QPolygonF({{3, 10}, {6, 13}, {1.5, 14.5}}), QColor(235, 210, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({{1.5, 14.5}, {2.2, 12.4}, {3.6, 13.8}}));
}

// A "T" drawn as bars so it does not depend on the installed fonts.
void text_letter(QPainter& p, const QColor& colour)
{
    p.fillRect(QRectF(3, 2, 10, 2), colour);
    p.fillRect(QRectF(7, 2, 2, 12), colour);
    p.fillRect(QRectF(5.5, 13, 5, 1), colour);
}

void text_layer(QPainter& p) { text_letter(p, ink); }

void line(QPainter& p)
{
    p.setPen(solid(ink, 1.5));
    p.drawLine(QPointF(3, 13), QPointF(13, 3));
    vertex_square(p, QPointF(3, 13), accent);
    vertex_square(p, QPointF(13, 3), accent);
}

void clone_stamp(QPainter& p)
{
    p.setPen(solid(ink));
    p.setBrush(QColor(150, 90, 40));
    p.drawEllipse(QRectF(5.5, 1.5, 5, 4));
    p.drawRect(QRectF(7, 5.5, 2, 3));
    p.setBrush(metal);
    p.drawRect(QRectF(2.5, 8.5, 11, 3));
    p.fillRect(QRectF(2, 12.5, 12, 2), accent);
}

void free_transformation(QPainter& p)
{
    p.setPen(solid(ink));
    p.setBrush(Qt::NoBrush);
    const QRectF box(2.5, 2.5, 11, 11);
    p.drawRect(box);
    for (qreal x : {box.left(), box.center().x(), box.right()})
        for (qreal y : {box.top(), box.center().y(), box.bottom()})
            if (x != box.center().x() || y != box.center().y())
                vertex_square(p, QPointF(x, y));
}

void fill_bucket(QPainter& p)
{
    filled_polygon(p, QPolygonF({{2, 7}, {7, 2}, {13, 8}, {8, 13}}), paper);
    filled_polygon(p, QPolygonF({{2, 7}, {13, 8}, {8, 13}}), accent);
    QPainterPath drop;
    drop.moveTo(13.5, 9);
    drop.cubicTo(12, 12, 12, 14, 13.5, 14);
    drop.cubicTo(15, 14, 15, 12, 13.5, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawPath(drop);
}

// The gradient glyphs: a shape in the gradient's own geometry, filled with it.
void gradient_shape(QPainter& p, const QPainterPath& shape, QGradient gradient)
{
    gradient.setColorAt(0, paper);
    gradient.setColorAt(1, accent);
    filled_shape(p, shape, QBrush(gradient));
}

void angle_gradient(QPainter& p)
{
    QPainterPath disc;
    disc.addEllipse(QRectF(1.5, 1.5, 13, 13));
    gradient_shape(p, disc, QConicalGradient(QPointF(8, 8), 0));
}

void diamond_gradient(QPainter& p)
{
    QPainterPath diamond;
    diamond.addPolygon(QPolygonF({{8, 1}, {15, 8}, {8, 15}, {1, 8}}));
    diamond.closeSubpath();
    gradient_shape(p, diamond, QRadialGradient(QPointF(8, 8), 7));
}

void linear_gradient(QPainter& p)
{
    QPainterPath box;
    box.addRect(QRectF(1.5, 3.5, 13, 9));
    gradient_shape(p, box, QLinearGradient(QPointF(2, 8), QPointF(14, 8)));
}

void radial_gradient(QPainter& p)
{
    QPainterPath disc;
    disc.addEllipse(QRectF(1.5, 1.5, 13, 13));
    gradient_shape(p, disc, QRadialGradient(QPointF(8, 8), 6.5));
}

void move(QPainter& p)
{
    const QPointF centre(8, 8);
    for (QPointF end : {QPointF(8, 1), QPointF(15, 8), QPointF(8, 15), QPointF(1, 8)})
        arrow(p, centre, end);
}

void ellipse_selection(QPainter& p)
{
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(1.5, 3.5, 13, 9));
    dashed_outline(p, ellipse);
}

void single_column(QPainter& p)
{
    p.fillRect(QRectF(7, 1, 2, 14), QColor(accent.red(), accent.green(), accent.blue(), 80));
    dashed_rect(p, QRectF(6.5, 1.5, 3, 13));
}

void single_row(QPainter& p)
{
    p.fillRect(QRectF(1, 7, 14, 2), QColor(accent.red(), accent.green(), accent.blue(), 80));
    dashed_rect(p, QRectF(1.5, 6.5, 13, 3));
}

void lighten_darken(QPainter& p)
{
    const QRectF disc(2.5, 2.5, 11, 11);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPie(disc, 90 * 16, 180 * 16);
    p.setBrush(QColor(255, 220, 80));
    p.drawPie(disc, -90 * 16, 180 * 16);
    p.setPen(solid(ink));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(disc);
}

void history_brush(QPainter& p)
{
    brush_glyph(p, QPointF(1, 0));
    // A turning-back arrow: the brush paints an earlier state.
    p.setPen(solid(ink));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(1, 1, 7, 7), 0, 270 * 16);
    arrow_head(p, QPointF(8, 5), 90, 2.5);
}

void rectangle_shape(QPainter& p)
{
    QPainterPath box;
    box.addRect(QRectF(2.5, 3.5, 11, 9));
    filled_shape(p, box, accent);
}

void ellipse_shape(QPainter& p)
{
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(1.5, 3.5, 13, 9));
    filled_shape(p, ellipse, accent);
}

// Grow and shrink: a selection with arrows pointing out of or into it.
void resize_selection(QPainter& p, bool outwards)
{
    dashed_rect(p, QRectF(4.5, 4.5, 7, 7));
    const std::pair<QPointF, QPointF> corners[] = {
        {{4, 4}, {1, 1}}, {{12, 4}, {15, 1}}, {{12, 12}, {15, 15}}, {{4, 12}, {1, 15}}};
    for (const auto& [inner, outer] : corners)
        outwards ? arrow(p, inner, outer, 2.5) : arrow(p, outer, inner, 2.5);
}

void grow(QPainter& p) { resize_selection(p, true); }
void shrink(QPainter& p) { resize_selection(p, false); }

// A spiral turning anticlockwise on screen; the clockwise one is its mirror.
void twirl(QPainter& p, bool clockwise)
{
    p.save();
    if (clockwise) {
        p.translate(16, 0);
        p.scale(-1, 1);
    }
    QPainterPath spiral;
    const QPointF centre(8, 8);
    constexpr int steps = 40;
    QPointF last;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = qreal(i) / steps;
        const qreal a = -t * 2.2 * std::numbers::pi;
        const qreal r = 0.8 + t * 5.5;
        last = centre + QPointF(std::cos(a) * r, std::sin(a) * r);
        i == 0 ? spiral.moveTo(last) : spiral.lineTo(last);
    }
    p.setPen(solid(ink, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(spiral);
    const qreal end_angle = -2.2 * std::numbers::pi;
    // The tangent of an anticlockwise turn points 90 degrees back from the radius.
    arrow_head(p, last, end_angle * 180.0 / std::numbers::pi - 90.0, 3.0);
    p.restore();
}

void twirl_ccw(QPainter& p) { twirl(p, false); }
void twirl_cw(QPainter& p) { twirl(p, true); }

void airbrush(QPainter& p)
{
    handle(p, QPointF(14, 14), QPointF(10, 10), ink);
    p.setPen(solid(ink));
    p.setBrush(metal);
    p.drawPolygon(QPolygonF({{7, 5}, {11, 9}, {9.5, 10.5}, {5.5, 6.5}}));
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    for (QPointF dot : {QPointF(2, 2), QPointF(4, 1.5), QPointF(1.5, 4.5), QPointF(4, 4), QPointF(2.5, 6.5),
                        QPointF(6, 2.5)})
        p.drawEllipse(dot, 0.8, 0.8);
}

void eraser(QPainter& p)
{
    filled_polygon(p, QPolygonF({{9, 2}, {15, 8}, {9, 14}, {3, 8}}), QColor(235, 120, 140));
    filled_polygon(p, QPolygonF({{3, 8}, {6, 11}, {3, 14}, {0.5, 11.5}}), paper);
    p.setPen(solid(metal));
    p.drawLine(QPointF(3, 14.5), QPointF(15, 14.5));
}

void smudge(QPainter& p)
{
    QPainterPath smear;
    smear.moveTo(1.5, 12);
    smear.cubicTo(4, 6, 7, 14, 10, 7);
    QPen trail(accent, 3.0);
    trail.setCapStyle(Qt::RoundCap);
    p.setPen(trail);
    p.setBrush(Qt::NoBrush);
    p.drawPath(smear);
    // The fingertip at the end of the smear.
    p.setPen(solid(ink));
    p.setBrush(QColor(240, 200, 170));
    p.drawEllipse(QRectF(9, 1.5, 5.5, 7));
}

void text_selection(QPainter& p)
{
    QPainterPath letter;
    letter.addPolygon(QPolygonF({{2.5, 2.5}, {13.5, 2.5}, {13.5, 5.5}, {9.5, 5.5}, {9.5, 13.5}, {6.5, 13.5},
                                 {6.5, 5.5}, {2.5, 5.5}}));
    letter.closeSubpath();
    dashed_outline(p, letter);
}

// The path-editing glyphs share one curve and mark what happens to its middle vertex.
const QPointF path_vertex(8, 6);

void path_curve(QPainter& p)
{
    QPainterPath curve;
    curve.moveTo(1.5, 13.5);
    curve.cubicTo(3, 5, 6, 6, path_vertex.x(), path_vertex.y());
    curve.cubicTo(10, 6, 13, 5, 14.5, 13.5);
    p.setPen(solid(ink));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    vertex_square(p, QPointF(1.5, 13.5));
    vertex_square(p, QPointF(14.5, 13.5));
}

void curve(QPainter& p)
{
    path_curve(p);
    p.setPen(solid(accent));
    p.drawLine(QPointF(3, 6), QPointF(13, 6));
    vertex_square(p, path_vertex, accent);
    p.setBrush(accent);
    p.drawEllipse(QPointF(3, 6), 1.2, 1.2);
    p.drawEllipse(QPointF(13, 6), 1.2, 1.2);
}

void delete_vertex(QPainter& p)
{
    path_curve(p);
    vertex_square(p, path_vertex);
    p.setPen(solid(QColor(200, 40, 40), 1.5));
    p.drawLine(QPointF(5, 1), QPointF(11, 1));
}

void move_vertex(QPainter& p)
{
    path_curve(p);
    vertex_square(p, path_vertex, accent);
    arrow(p, path_vertex, QPointF(8, 1), 2);
    arrow(p, path_vertex, QPointF(13, 6), 2);
}

void arrange_vertex(QPainter& p)
{
    path_curve(p);
    vertex_square(p, path_vertex, accent);
    p.setPen(solid(accent));
    for (qreal y : {1.5, 3.5})
        p.drawLine(QPointF(4, y), QPointF(12, y));
}

void insert_vertex(QPainter& p)
{
    path_curve(p);
    vertex_square(p, path_vertex, accent);
    p.setPen(solid(QColor(30, 150, 60), 1.5));
    p.drawLine(QPointF(13, 0.5), QPointF(13, 5.5));
    p.drawLine(QPointF(10.5, 3), QPointF(15.5, 3));
}

void define_vertex(QPainter& p)
{
    path_curve(p);
    p.setPen(solid(ink));
    p.setBrush(accent);
    p.drawEllipse(path_vertex, 2, 2);
}

using tglyph = void (*)(QPainter&);

constexpr std::pair<int, tglyph> glyphs[] = {
    {0, document},          {1, rectangle_selection}, {2, lasso},           {3, polygonal_lasso},
    {4, magic_wand},        {5, paintbrush},          {6, pencil},          {7, text_layer},
    {8, line},              {9, clone_stamp},         {11, free_transformation}, {12, fill_bucket},
    {13, angle_gradient},   {14, diamond_gradient},   {15, linear_gradient}, {16, move},
    {17, radial_gradient},  {19, ellipse_selection},  {20, single_column},  {21, single_row},
    {22, lighten_darken},   {23, history_brush},      {24, rectangle_shape}, {25, ellipse_shape},
    {26, grow},             {27, shrink},             {28, twirl_ccw},      {29, twirl_cw},
    {32, airbrush},         {33, eraser},             {34, smudge},         {35, text_selection},
    {36, curve},            {37, delete_vertex},      {38, move_vertex},    {39, arrange_vertex},
    {40, insert_vertex},    {41, define_vertex},
};

QPixmap painted(tglyph glyph, int pixels, qreal ratio)
{
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    glyph(painter);
    return pixmap;
}

std::array<QIcon, icon_count> build_icons()
{
    std::array<QIcon, icon_count> icons;
    for (const auto& [number, glyph] : glyphs) {
        icons[number].addPixmap(painted(glyph, 16, 1.0));
        icons[number].addPixmap(painted(glyph, 32, 2.0));
    }
    for (QIcon& icon : icons)
        if (icon.isNull())
            icon = icons[0];
    return icons;
}

} // namespace

QIcon history_action_icon(int number)
{
    static const std::array<QIcon, icon_count> icons = build_icons();
    return number >= 0 && number < icon_count ? icons[number] : icons[0];
}

int history_icon_for_name(const std::string& name)
{
    // Looked up each time: the texts follow the active language.
    for (const thistory_icon& entry : history_icons())
        if (translate(entry.key) == name)
            return entry.icon;
    return 0;
}

} // namespace velmora
