#pragma once

#include <QWidget>

#include <cstdint>
#include <string_view>
#include <vector>

class QFrame;
class QToolButton;

namespace velmora {

struct ttool_group;

// The tool bar's group buttons tb0 ... tb11, one radio group, each with its
// pop-out palette (Tderoule1 ...) listing the group's tools. A group button
// shows the glyph of the tool last chosen in its palette and keeps that
// tool's place in its "Tag"; clicking it chooses that tool again. Tools that
// do not exist yet are shown disabled.
class ttool_palette : public QWidget {
    Q_OBJECT

public:
    explicit ttool_palette(QWidget* parent = nullptr);

    // Shows `id` as the current tool: its group button pressed with the
    // tool's glyph and place, every palette hidden.
    void show_tool(std::uint8_t id);
    void hide_palettes();

    QToolButton* group_button(std::string_view name) const;
    // The palette button of a tool; null for a tool chosen by its group button.
    QToolButton* tool_button(std::uint8_t id) const;
    QFrame* pop_out(std::string_view name) const;

signals:
    void tool_requested(int id);
    void status_text(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct tgroup_buttons {
        const ttool_group* group = nullptr;
        QToolButton* button = nullptr;
        QFrame* palette = nullptr;          // null for a group without one
        std::vector<QToolButton*> tools;    // by place in the palette, from 1
    };

    void build_pop_out(tgroup_buttons& group);
    void pop_out_beside(const tgroup_buttons& group);
    std::uint8_t tagged_tool(const tgroup_buttons& group) const;
    void show_tool_names();

    std::vector<tgroup_buttons> groups_;
};

} // namespace velmora
