#include "tools/tool_palette.h"

#include "shell/catalogue.h"
#include "shell/translation.h"
#include "tools/tool_editor.h"
#include "tools/tool_glyphs.h"
#include "tools/tool_table.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QToolButton>

#include <algorithm>

namespace velmora {

namespace {

constexpr int button_side = 28;
constexpr int columns = 3; // as many as the tool palette's default width holds
constexpr int palette_gap = 2;
// The pop-out palettes' colour, 0x00E1EAEB as blue, green, red.
const QColor palette_colour(0xEB, 0xEA, 0xE1);

QString text(std::string_view key)
{
    return QString::fromStdString(translate(key));
}

QString qname(std::string_view name)
{
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

// "  Paint tools : Paintbrush", as the status bar shows a palette's tool.
QString tool_status(const ttool_group& group, std::uint8_t id)
{
    return "  " + text(group.name_key) + " : " + text(find_tool_info(id)->name_key);
}

QToolButton* make_button(QWidget* parent, const QString& name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setFixedSize(button_side, button_side);
    button->setIconSize(QSize(24, 24));
    return button;
}

} // namespace

ttool_palette::ttool_palette(QWidget* parent) : QWidget(parent)
{
    setObjectName("Panel2");
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(1);
    auto* radio = new QButtonGroup(this);
    for (const ttool_group& group : tool_groups()) {
        tgroup_buttons buttons;
        buttons.group = &group;
        buttons.button = make_button(this, qname(group.button));
        buttons.button->setCheckable(true);
        buttons.button->setProperty("Tag", 1);
        buttons.button->installEventFilter(this);
        radio->addButton(buttons.button);
        grid->addWidget(buttons.button, int(groups_.size()) / columns, int(groups_.size()) % columns);
        if (!group.palette.empty())
            build_pop_out(buttons);
        groups_.push_back(std::move(buttons));
    }
    for (tgroup_buttons& group : groups_) {
        const std::uint8_t tool = tagged_tool(group);
        group.button->setIcon(tool_glyph(tool));
        const bool any = group.tools.empty()
                             ? ttool_editor::available(tool)
                             : std::any_of(group.tools.begin(), group.tools.end(),
                                           [](const QToolButton* b) { return b && b->isEnabled(); });
        group.button->setEnabled(any);
        connect(group.button, &QToolButton::clicked, this, [this, &group] { emit tool_requested(tagged_tool(group)); });
    }
    show_tool_names();
    connect(&tlanguage_notifier::instance(), &tlanguage_notifier::language_changed, this,
            &ttool_palette::show_tool_names);
}

void ttool_palette::build_pop_out(tgroup_buttons& group)
{
    auto* palette = new QFrame(this, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                         Qt::WindowDoesNotAcceptFocus);
    palette->setObjectName(qname(group.group->palette));
    palette->setAttribute(Qt::WA_ShowWithoutActivating);
    palette->setAutoFillBackground(true);
    QPalette colours = palette->palette();
    colours.setColor(QPalette::Window, palette_colour);
    palette->setPalette(colours);
    for (const ttool_info& tool : tool_table()) {
        if (tool.group != group.group->button || tool.button == 0)
            continue;
        if (group.tools.size() < tool.button)
            group.tools.resize(tool.button, nullptr);
        QToolButton* button =
            make_button(palette, QString("%1_button%2").arg(palette->objectName()).arg(tool.button));
        button->setIcon(tool_glyph(tool.id));
        button->setEnabled(ttool_editor::available(tool.id));
        button->setProperty("tool_id", int(tool.id));
        button->installEventFilter(this);
        connect(button, &QToolButton::clicked, this, [this, id = tool.id] { emit tool_requested(id); });
        group.tools[tool.button - 1] = button;
    }
    group.palette = palette;
}

std::uint8_t ttool_palette::tagged_tool(const tgroup_buttons& group) const
{
    if (group.tools.empty()) {
        // A group without a palette is its own one tool.
        const auto own = std::find_if(tool_table().begin(), tool_table().end(),
                                      [&](const ttool_info& tool) { return tool.group == group.group->button; });
        return own->id;
    }
    const int tag = std::clamp(group.button->property("Tag").toInt(), 1, int(group.tools.size()));
    return std::uint8_t(group.tools[std::size_t(tag - 1)]->property("tool_id").toInt());
}

void ttool_palette::show_tool(std::uint8_t id)
{
    const ttool_info* info = find_tool_info(id);
    if (!info)
        return;
    for (tgroup_buttons& group : groups_) {
        if (group.group->button != info->group)
            continue;
        if (info->button > 0)
            group.button->setProperty("Tag", int(info->button));
        group.button->setIcon(tool_glyph(id));
        group.button->setToolTip(text(info->name_key));
        group.button->setChecked(true);
    }
    hide_palettes();
}

void ttool_palette::hide_palettes()
{
    for (const tgroup_buttons& group : groups_)
        if (group.palette)
            group.palette->hide();
}

QToolButton* ttool_palette::group_button(std::string_view name) const
{
    for (const tgroup_buttons& group : groups_)
        if (group.group->button == name)
            return group.button;
    return nullptr;
}

QToolButton* ttool_palette::tool_button(std::uint8_t id) const
{
    const ttool_info* info = find_tool_info(id);
    for (const tgroup_buttons& group : groups_)
        if (info && info->button > 0 && group.group->button == info->group)
            return group.tools[info->button - 1];
    return nullptr;
}

QFrame* ttool_palette::pop_out(std::string_view name) const
{
    for (const tgroup_buttons& group : groups_)
        if (group.palette && group.group->palette == name)
            return group.palette;
    return nullptr;
}

// The group's other tools left to right, the current one left out, the
// palette's left edge at the group button's right edge.
void ttool_palette::pop_out_beside(const tgroup_buttons& group)
{
    const std::uint8_t current = tagged_tool(group);
    int left = 0;
    for (QToolButton* button : group.tools) {
        const bool shown = button->property("tool_id").toInt() != current;
        button->setVisible(shown);
        if (!shown)
            continue;
        button->move(left, 0);
        left += button_side + palette_gap;
    }
    group.palette->resize(std::max(left - palette_gap, 1), button_side);
    group.palette->move(group.button->mapToGlobal(QPoint(group.button->width(), 0)));
    group.palette->show();
    group.palette->raise();
}

bool ttool_palette::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Enter)
        return QWidget::eventFilter(watched, event);
    for (const tgroup_buttons& group : groups_) {
        if (watched == group.button) {
            hide_palettes();
            if (!group.palette) {
                emit status_text("  " + text(group.group->name_key));
                break;
            }
            emit status_text(tool_status(*group.group, tagged_tool(group)));
            pop_out_beside(group);
            break;
        }
        for (const QToolButton* button : group.tools)
            if (watched == button)
                emit status_text(tool_status(*group.group, std::uint8_t(button->property("tool_id").toInt())));
    }
    return QWidget::eventFilter(watched, event);
}

void ttool_palette::show_tool_names()
{
    for (const tgroup_buttons& group : groups_) {
        group.button->setToolTip(text(find_tool_info(tagged_tool(group))->name_key));
        for (QToolButton* button : group.tools)
            button->setToolTip(text(find_tool_info(std::uint8_t(button->property("tool_id").toInt()))->name_key));
    }
}

} // namespace velmora
