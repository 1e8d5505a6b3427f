#include "tools/tool_glyphs.h"

#include "shell/cursors.h"
#include "tools/tool_table.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QConicalGradient>

#include <cmath>
#include <map>
#include <tuple>
#include <utility>

namespace velmora {

namespace {

using namespace tool_id;

constexpr int glyph_side = 24;

using tdraw = void (*)(QPainter&);

QPen outline(qreal width = 1.5)
{
    return QPen(QColor(40, 40, 40), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void dashed(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1.2, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
}

void draw_move(QPainter& p)
{
    p.setPen(outline());
    p.drawLine(QPointF(12, 3), QPointF(12, 21));
    p.drawLine(QPointF(3, 12), QPointF(21, 12));
    p.setBrush(QColor(40, 40, 40));
    for (const auto& [tip, a, b] : {std::tuple{QPointF(12, 2), QPointF(9, 6), QPointF(15, 6)},
                                    std::tuple{QPointF(12, 22), QPointF(9, 18), QPointF(15, 18)},
                                    std::tuple{QPointF(2, 12), QPointF(6, 9), QPointF(6, 15)},
                                    std::tuple{QPointF(22, 12), QPointF(18, 9), QPointF(18, 15)}}) {
        const QPointF triangle[] = {tip, a, b};
        p.drawPolygon(triangle, 3);
    }
}

void draw_lasso(QPainter& p)
{
    dashed(p);
    p.drawEllipse(QRectF(3, 4, 18, 12));
    p.setPen(outline(1.2));
    p.drawLine(QPointF(7, 15), QPointF(5, 21));
}

void draw_polygonal_lasso(QPainter& p)
{
    dashed(p);
    const QPointF corners[] = {{3, 6}, {12, 3}, {21, 9}, {15, 19}, {5, 16}};
    p.drawPolygon(corners, 5);
}

void draw_rectangle_select(QPainter& p)
{
    dashed(p);
    p.drawRect(QRectF(3, 5, 18, 14));
}

void draw_ellipse_select(QPainter& p)
{
    dashed(p);
    p.drawEllipse(QRectF(3, 5, 18, 14));
}

void draw_magic_wand(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 20), QPointF(15, 9));
    p.setPen(QPen(QColor(230, 170, 0), 1.5, Qt::SolidLine, Qt::RoundCap));
    for (const auto& [a, b] : {std::pair{QPointF(18, 2), QPointF(18, 7)}, std::pair{QPointF(15.5, 4.5), QPointF(20.5, 4.5)},
                               std::pair{QPointF(21, 10), QPointF(21, 13)}, std::pair{QPointF(11, 3), QPointF(11, 6)}})
        p.drawLine(a, b);
}

void draw_slice(QPainter& p, bool vertical)
{
    dashed(p);
    p.drawRect(vertical ? QRectF(8, 2, 8, 20) : QRectF(2, 8, 20, 8));
}

void draw_vertical_select(QPainter& p)
{
    draw_slice(p, true);
}

void draw_horizontal_select(QPainter& p)
{
    draw_slice(p, false);
}

void draw_paintbrush(QPainter& p)
{
    p.setPen(QPen(QColor(120, 70, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 3), QPointF(11, 12));
    p.setPen(outline(1));
    p.setBrush(QColor(40, 40, 40));
    QPainterPath tip;
    tip.moveTo(12, 10);
    tip.cubicTo(8, 10, 6, 14, 3, 21);
    tip.cubicTo(10, 19, 14, 16, 14, 13);
    tip.closeSubpath();
    p.drawPath(tip);
}

void draw_airbrush(QPainter& p)
{
    p.setPen(outline());
    p.setBrush(QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(10, 6, 11, 6), 2, 2);
    p.drawLine(QPointF(10, 9), QPointF(6, 9));
    p.drawLine(QPointF(15, 12), QPointF(15, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    for (const QPointF& dot : {QPointF(3, 7), QPointF(2, 10), QPointF(4, 12), QPointF(3, 14), QPointF(5, 5)})
        p.drawEllipse(dot, 0.9, 0.9);
}

void draw_pencil(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(QColor(240, 200, 60));
    const QPointF body[] = {{17, 3}, {21, 7}, {9, 19}, {5, 15}};
    p.drawPolygon(body, 4);
    p.setBrush(QColor(230, 200, 160));
    const QPointF point[] = {{5, 15}, {9, 19}, {3, 21}};
    p.drawPolygon(point, 3);
}

void draw_eraser(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(QColor(240, 140, 160));
    const QPointF block[] = {{13, 3}, {21, 11}, {12, 20}, {4, 12}};
    p.drawPolygon(block, 4);
    p.setBrush(Qt::white);
    const QPointF end[] = {{8, 8}, {16, 16}, {12, 20}, {4, 12}};
    p.drawPolygon(end, 4);
}

void draw_history_brush(QPainter& p)
{
    draw_paintbrush(p);
    p.setPen(outline(1.2));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(13, 13, 9, 9));
    p.drawLine(QPointF(17.5, 15), QPointF(17.5, 17.5));
    p.drawLine(QPointF(17.5, 17.5), QPointF(19.5, 17.5));
}

void draw_text(QPainter& p)
{
    QFont font = p.font();
    font.setPixelSize(20);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QRectF(0, 0, glyph_side, glyph_side), Qt::AlignCenter, "T");
}

void draw_text_selection(QPainter& p)
{
    draw_text(p);
    dashed(p);
    p.drawRect(QRectF(2, 2, 20, 20));
}

void draw_clone(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(QColor(150, 110, 70));
    p.drawRoundedRect(QRectF(9, 2, 6, 10), 2, 2);
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(4, 12, 16, 5));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(4, 17, 16, 3));
}

void draw_lighten(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(Qt::black);
    p.drawPie(QRectF(4, 4, 16, 16), 90 * 16, 180 * 16);
    p.setBrush(Qt::white);
    p.drawPie(QRectF(4, 4, 16, 16), -90 * 16, 180 * 16);
}

void draw_line(QPainter& p)
{
    p.setPen(outline(2));
    p.drawLine(QPointF(4, 20), QPointF(20, 4));
}

void draw_rectangle(QPainter& p)
{
    p.setPen(outline(2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(4, 6, 16, 12));
}

void draw_ellipse(QPainter& p)
{
    p.setPen(outline(2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3, 6, 18, 12));
}

void draw_flood_fill(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(QColor(200, 200, 200));
    const QPointF bucket[] = {{5, 10}, {12, 3}, {19, 10}, {12, 17}};
    p.drawPolygon(bucket, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 200));
    p.drawEllipse(QRectF(17, 13, 5, 8));
}

void draw_gradient(QPainter& p, const QGradient& gradient)
{
    p.setPen(outline(1));
    p.setBrush(gradient);
    p.drawRect(QRectF(3, 3, 18, 18));
}

QGradientStops black_to_white()
{
    return {{0.0, Qt::black}, {1.0, Qt::white}};
}

void draw_linear_gradient(QPainter& p)
{
    QLinearGradient gradient(3, 0, 21, 0);
    gradient.setStops(black_to_white());
    draw_gradient(p, gradient);
}

void draw_radial_gradient(QPainter& p)
{
    QRadialGradient gradient(12, 12, 10);
    gradient.setStops(black_to_white());
    draw_gradient(p, gradient);
}

void draw_diamond_gradient(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3, 3, 18, 18));
    p.setPen(Qt::NoPen);
    for (int step = 0; step < 4; ++step) {
        const qreal r = 9 - step * 2.2;
        p.setBrush(QColor::fromRgb(step * 60, step * 60, step * 60));
        const QPointF diamond[] = {{12, 12 - r}, {12 + r, 12}, {12, 12 + r}, {12 - r, 12}};
        p.drawPolygon(diamond, 4);
    }
}

void draw_angle_gradient(QPainter& p)
{
    QConicalGradient gradient(12, 12, 0);
    gradient.setStops(black_to_white());
    draw_gradient(p, gradient);
}

// A pen nib, with a mark telling what the path tool does to the vertices.
void draw_nib(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(QColor(60, 60, 60));
    p.drawPolygon(QPolygonF({{8, 3}, {14, 3}, {15, 11}, {11, 20}, {7, 11}}));
}

void draw_mark(QPainter& p, bool plus)
{
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.drawLine(QPointF(16, 18), QPointF(22, 18));
    if (plus)
        p.drawLine(QPointF(19, 15), QPointF(19, 21));
}

void draw_insert_vertex(QPainter& p)
{
    draw_nib(p);
    draw_mark(p, true);
}

void draw_delete_vertex(QPainter& p)
{
    draw_nib(p);
    draw_mark(p, false);
}

void draw_modify_tangents(QPainter& p)
{
    p.setPen(outline(1.2));
    p.setBrush(Qt::NoBrush);
    QPainterPath curve;
    curve.moveTo(3, 19);
    curve.cubicTo(6, 4, 18, 4, 21, 19);
    p.drawPath(curve);
    p.drawLine(QPointF(4, 8), QPointF(20, 8));
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(10.5, 6.5, 3, 3));
}

void draw_vertex_square(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 9, 6, 6));
}

void draw_move_vertex(QPainter& p)
{
    draw_move(p);
    draw_vertex_square(p);
}

void draw_colour_picker(QPainter& p)
{
    p.setPen(outline(1));
    p.setBrush(QColor(40, 40, 40));
    p.drawRoundedRect(QRectF(15, 2, 7, 7), 2, 2);
    p.setBrush(QColor(220, 220, 240));
    const QPointF tube[] = {{14, 7}, {17, 10}, {6, 21}, {3, 21}, {3, 18}};
    p.drawPolygon(tube, 5);
}

void draw_zoom(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15, 15), QPointF(21, 21));
    p.setPen(outline(1.8));
    p.setBrush(QColor(220, 235, 255));
    p.drawEllipse(QPointF(10, 10), 7, 7);
}

// A frame with handles, and what the transformation does to it.
void draw_transform_frame(QPainter& p, const QPolygonF& frame)
{
    p.setPen(outline(1));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(frame);
    p.setBrush(Qt::white);
    for (const QPointF& corner : frame)
        p.drawRect(QRectF(corner.x() - 1.5, corner.y() - 1.5, 3, 3));
}

void draw_transform_rotate(QPainter& p)
{
    draw_transform_frame(p, QPolygonF({{12, 2}, {22, 12}, {12, 22}, {2, 12}}));
}

void draw_transform_scale(QPainter& p)
{
    draw_transform_frame(p, QPolygonF({{3, 3}, {21, 3}, {21, 21}, {3, 21}}));
}

void draw_transform_skew(QPainter& p)
{
    draw_transform_frame(p, QPolygonF({{8, 4}, {22, 4}, {16, 20}, {2, 20}}));
}

void draw_transform_perspective(QPainter& p)
{
    draw_transform_frame(p, QPolygonF({{8, 4}, {16, 4}, {22, 20}, {2, 20}}));
}

void draw_transform_distort(QPainter& p)
{
    draw_transform_frame(p, QPolygonF({{4, 2}, {20, 6}, {22, 19}, {3, 21}}));
}

// A grid bulged by the deformation.
void draw_goo(QPainter& p, qreal bulge)
{
    p.setPen(outline(1));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i <= 4; ++i) {
        const qreal at = 3 + i * 4.5;
        const qreal push = (i == 0 || i == 4) ? 0 : (i == 2 ? bulge : bulge / 2);
        QPainterPath across, down;
        across.moveTo(3, at);
        across.quadTo(12, at + (at < 12 ? -push : at > 12 ? push : 0), 21, at);
        down.moveTo(at, 3);
        down.quadTo(at + (at < 12 ? -push : at > 12 ? push : 0), 12, at, 21);
        p.drawPath(across);
        p.drawPath(down);
    }
}

void draw_grow(QPainter& p)
{
    draw_goo(p, 4);
}

void draw_shrink(QPainter& p)
{
    draw_goo(p, -4);
}

void draw_goo_move(QPainter& p)
{
    draw_goo(p, 0);
    p.setPen(QPen(QColor(200, 40, 40), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 12), QPointF(18, 12));
    p.drawLine(QPointF(18, 12), QPointF(14, 8));
    p.drawLine(QPointF(18, 12), QPointF(14, 16));
}

void draw_twirl(QPainter& p, bool mirrored)
{
    QPainterPath spiral;
    spiral.moveTo(12, 12);
    for (int step = 1; step <= 40; ++step) {
        const qreal angle = step * 0.42;
        const qreal radius = step * 0.24;
        spiral.lineTo(12 + radius * std::cos(angle) * (mirrored ? -1 : 1), 12 + radius * std::sin(angle));
    }
    p.setPen(outline(1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(spiral);
}

void draw_twirl_left(QPainter& p)
{
    draw_twirl(p, false);
}

void draw_twirl_right(QPainter& p)
{
    draw_twirl(p, true);
}

const std::map<std::uint8_t, tdraw>& glyphs()
{
    static const std::map<std::uint8_t, tdraw> table = {
        {move, draw_move},
        {lasso, draw_lasso},
        {polygonal_lasso, draw_polygonal_lasso},
        {rectangle_select, draw_rectangle_select},
        {ellipse_select, draw_ellipse_select},
        {magic_wand, draw_magic_wand},
        {vertical_select, draw_vertical_select},
        {horizontal_select, draw_horizontal_select},
        {paintbrush, draw_paintbrush},
        {airbrush, draw_airbrush},
        {pencil, draw_pencil},
        {eraser, draw_eraser},
        {history_brush, draw_history_brush},
        {text, draw_text},
        {text_selection, draw_text_selection},
        {clone, draw_clone},
        {lighten, draw_lighten},
        {line, draw_line},
        {rectangle, draw_rectangle},
        {ellipse, draw_ellipse},
        {flood_fill, draw_flood_fill},
        {linear_gradient, draw_linear_gradient},
        {radial_gradient, draw_radial_gradient},
        {diamond_gradient, draw_diamond_gradient},
        {angle_gradient, draw_angle_gradient},
        {define_path, draw_nib},
        {insert_vertex, draw_insert_vertex},
        {delete_vertex, draw_delete_vertex},
        {modify_tangents, draw_modify_tangents},
        {move_path, draw_move},
        {move_vertex, draw_move_vertex},
        {colour_picker, draw_colour_picker},
        {zoom, draw_zoom},
        {transform_scale, draw_transform_scale},
        {transform_rotate, draw_transform_rotate},
        {transform_skew, draw_transform_skew},
        {transform_perspective, draw_transform_perspective},
        {transform_distort, draw_transform_distort},
        {grow, draw_grow},
        {shrink, draw_shrink},
        {goo_move, draw_goo_move},
        {twirl_left, draw_twirl_left},
        {twirl_right, draw_twirl_right},
    };
    return table;
}

} // namespace

QIcon tool_glyph(std::uint8_t id)
{
    const auto found = glyphs().find(id);
    if (found == glyphs().end())
        return {};
    return QIcon(drawn_picture(glyph_side, found->second));
}

} // namespace velmora
