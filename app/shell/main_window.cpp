#include "shell/main_window.h"

#include "document/error.h"
#include "document/image_window.h"
#include "shell/busy_cursor.h"
#include "shell/catalogue.h"
#include "shell/preferences.h"
#include "shell/preferences_dialog.h"
#include "shell/new_image_dialog.h"
#include "shell/translation.h"

#include "document/composite.h"
#include "document/layer_operations.h"
#include "document/rounding.h"
#include "filters/filter_dialogs.h"
#include "filters/filter_registry.h"
#include "formats/open_document.h"
#include "formats/vlm_options_dialog.h"
#include "history/history_palette.h"
#include "document/layer_dialogs.h"
#include "document/layers_palette.h"
#include "selection/load_selection_dialog.h"
#include "selection/selection_commands.h"
#include "selection/resample.h"
#include "tools/navigator.h"
#include "tools/tool_options.h"
#include "tools/tool_palette.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFontDatabase>
#include <QStandardPaths>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>

#include <cmath>

namespace velmora {

namespace {

QString text(std::string_view key)
{
    return QString::fromStdString(translate(key));
}

QString qstring(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The commands built so far, by handler name. Every other entry of the
// command table shows in its menu, disabled.
using thandler = void (tmain_window::*)();
const std::map<std::string_view, thandler>& handlers()
{
    static const std::map<std::string_view, thandler> table = {
        {"Nouvelleimage1Click", &tmain_window::Nouvelleimage1Click},
        {"Ouvirr1Click", &tmain_window::Ouvirr1Click},
        {"Undo1Click", &tmain_window::Undo1Click},
        {"mergedownClick", &tmain_window::mergedownClick},
        {"ToolbarButton9712Click", &tmain_window::ToolbarButton9712Click},
        {"ToolbarButton9711Click", &tmain_window::ToolbarButton9711Click},
        {"Mergelayers1Click", &tmain_window::Mergelayers1Click},
        {"NewLayer1Click", &tmain_window::NewLayer1Click},
        {"SelectAll1Click", &tmain_window::SelectAll1Click},
        {"Deselect1Click", &tmain_window::Deselect1Click},
        {"Invert2Click", &tmain_window::Invert2Click},
        {"Gettheselection1Click", &tmain_window::Gettheselection1Click},
        {"Savetheselection1Click", &tmain_window::Savetheselection1Click},
        {"Loadtheselection1Click", &tmain_window::Loadtheselection1Click},
        {"Hideshow1Click", &tmain_window::Hideshow1Click},
        {"LayerOptions1Click", &tmain_window::LayerOptions1Click},
        {"CreateLayerMask1Click", &tmain_window::CreateLayerMask1Click},
        {"DisableLayerMask3Click", &tmain_window::DisableLayerMask3Click},
        {"RemoveLayerMask2Click", &tmain_window::RemoveLayerMask2Click},
        {"Redo1Click", &tmain_window::Redo1Click},
        {"History1Click", &tmain_window::History1Click},
        {"Enregistrer1Click", &tmain_window::Enregistrer1Click},
        {"Exporteren1Click", &tmain_window::Exporteren1Click},
        {"Fermer1Click", &tmain_window::Fermer1Click},
        {"Fermertout1Click", &tmain_window::Fermertout1Click},
        {"Quittr1Click", &tmain_window::Quittr1Click},
        {"Tile1Click", &tmain_window::Tile1Click},
        {"Cascade1Click", &tmain_window::Cascade1Click},
        {"Showtoolbar1Click", &tmain_window::Showtoolbar1Click},
        {"showColor1Click", &tmain_window::showColor1Click},
        {"Showsize1Click", &tmain_window::Showsize1Click},
        {"Showlayers1Click", &tmain_window::Showlayers1Click},
        {"Showselection1Click", &tmain_window::Showselection1Click},
        {"Zoomin1Click", &tmain_window::Zoomin1Click},
        {"Zoomout1Click", &tmain_window::Zoomout1Click},
        {"Viewat1001Click", &tmain_window::Viewat1001Click},
        {"Showruler1Click", &tmain_window::Showruler1Click},
        {"Options1Click", &tmain_window::Options1Click},
        {"Interface1Click", &tmain_window::Interface1Click},
        {"LanguageUnits1Click", &tmain_window::LanguageUnits1Click},
        {"FileAssociations1Click", &tmain_window::FileAssociations1Click},
        {"UndoRedo1Click", &tmain_window::UndoRedo1Click},
        {"Fonts1Click", &tmain_window::Fonts1Click},
        {"VLMSignature1Click", &tmain_window::VLMSignature1Click},
        {"AdvancedSettings1Click", &tmain_window::AdvancedSettings1Click},
    };
    return table;
}

// The five palettes: object name, preference section, caption, default size,
// and the command that toggles it.
struct tpalette_spec {
    const char* name;
    const char* section;
    const char* caption;
    QSize size;
    const char* toggle;
    const char* button; // the hint of its toggle button on the tool palette
};
constexpr tpalette_spec palette_specs[] = {
    {"toolbar_color", "toolbar color", "Color", {237, 140}, "showColor1Click", "Color window"},
    {"Toolbar_size", "toolbar size", "Brushes", {237, 183}, "Showsize1Click", "Options window"},
    {"toolbar_selection", "toolbar selection", "History", {237, 125}, "Showselection1Click", "History window"},
    {"Toolbar_layers", "toolbar layers", "Layers", {237, 185}, "Showlayers1Click", "Layer window"},
    {"Toolbar_palette", "toolbar palette", "Tools", {110, 330}, "Showtoolbar1Click", "Main toolbar"},
};

} // namespace

// The flattened image alone on the screen, centred on the background colour;
// a click or a key closes it.
class tfull_screen_view : public QWidget {
public:
    tfull_screen_view(QImage picture, QColor background) : picture_(std::move(picture)), background_(background)
    {
        setObjectName("full_screen");
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowFlag(Qt::FramelessWindowHint);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), background_);
        painter.drawImage((width() - picture_.width()) / 2, (height() - picture_.height()) / 2, picture_);
    }
    void mousePressEvent(QMouseEvent*) override { close(); }
    void keyPressEvent(QKeyEvent*) override { close(); }

private:
    QImage picture_;
    QColor background_;
};

tmain_window::tmain_window(QWidget* parent) : QMainWindow(parent)
{
    setObjectName("Form1");
    setWindowTitle("Quorantel Velmora");
    mdi_area_ = new QMdiArea(this);
    mdi_area_->setObjectName("mdi_area");
    setCentralWidget(mdi_area_);
    build_menus();
    build_palettes();
    build_status_bar();
    apply_stored_language();
    restore_tool_state();
    init_recent_files();
    add_program_fonts();
    actions_.at("Showruler1Click")->setChecked(read_bool("rulers", "visible", false));
    install_settings_failure_message(this);
    set_progress_view(this);
    connect(mdi_area_, &QMdiArea::subWindowActivated, this, [this] {
        history_palette_->show_history(active_image());
        layers_palette_->show_image(active_image());
        tool_options_->navigator()->show_image(active_image());
        refresh_command_states();
    });
    connect(&tlanguage_notifier::instance(), &tlanguage_notifier::language_changed, this, [this] {
        for (TForm2* window : image_windows())
            window->setWindowTitle(window->caption());
        refresh_command_states();
    });
    // The marching ants crawl along the active image's selection outline.
    connect(&ants_timer_, &QTimer::timeout, this, [this] {
        TForm2* image = active_image();
        if (!image || actions_.at("Hideshow1Click")->isChecked())
            return;
        const std::size_t count = image->document().outline.view_points.size();
        if (count == 0)
            return;
        selection_state_.ants_phase = next_ants_phase(selection_state_.ants_phase, std::int32_t(count));
        image->draw_ants(selection_state_.ants_phase);
    });
    ants_timer_.start(50);
    resize(1024, 720);
    refresh_command_states();
}

tmain_window::~tmain_window()
{
    // The children go after this class's members: they must not call back.
    disconnect(mdi_area_, nullptr, this, nullptr);
    for (const auto& [name, dock] : palettes_)
        disconnect(dock, nullptr, this, nullptr);
    set_progress_view(nullptr);
}

void tmain_window::build_menus()
{
    const twindow_table* captions = window_table("Form1");
    const auto english = [captions](std::string_view component) {
        if (captions)
            for (const auto& row : captions->rows())
                if (row.component == component)
                    return QString::fromStdString(row.text[0]);
        return qstring(component);
    };
    for (const tcommand& command : command_table()) {
        QMenu* parent = command.parent.empty() ? nullptr : menus_.at(std::string(command.parent));
        if (command.handler.empty()) {
            QMenu* menu = parent ? parent->addMenu(english(command.component))
                                 : menuBar()->addMenu(english(command.component));
            menu->setObjectName(qstring(command.component));
            menu->menuAction()->setObjectName(qstring(command.component));
            menus_.emplace(command.component, menu);
            if (command.component == "N1")
                connect(menu, &QMenu::aboutToShow, this, &tmain_window::fill_reopen_menu);
            if (!parent) {
                // Each top menu first settles a pending free transformation
                // (none exists yet), then shows the states of its commands.
                connect(menu, &QMenu::aboutToShow, this, &tmain_window::refresh_command_states);
            }
            continue;
        }
        QAction* action = parent->addAction(english(command.component));
        action->setObjectName(qstring(command.component));
        action->setCheckable(command.checkable);
        if (!command.shortcut.empty())
            action->setShortcut(QKeySequence(qstring(command.shortcut)));
        const auto handler = handlers().find(command.handler);
        if (handler != handlers().end())
            connect(action, &QAction::triggered, this, [this, method = handler->second] { (this->*method)(); });
        else if (find_filter(command.handler))
            connect(action, &QAction::triggered, this, [this, name = command.handler] { run_filter(name); });
        actions_.emplace(command.handler, action);
    }
}

void tmain_window::build_palettes()
{
    for (const tpalette_spec& spec : palette_specs) {
        auto* dock = new QDockWidget(spec.caption, this);
        dock->setObjectName(spec.name);
        dock->setWidget(new QWidget(dock));
        dock->widget()->setMinimumSize(spec.size);
        if (std::string_view(spec.name) == "Toolbar_palette")
            fill_tool_palette(dock->widget());
        if (std::string_view(spec.name) == "Toolbar_size") {
            tool_options_ = new ttool_options(tool_editor_, dock);
            dock->setWidget(tool_options_);
        }
        if (std::string_view(spec.name) == "toolbar_selection") {
            history_palette_ = new thistory_palette(dock);
            dock->setWidget(history_palette_);
        }
        if (std::string_view(spec.name) == "Toolbar_layers") {
            layers_palette_ = new tlayers_palette(dock);
            dock->setWidget(layers_palette_);
            connect(layers_palette_, &tlayers_palette::command_requested, this, [this](const QString& handler) {
                if (QAction* action = command_action(handler.toStdString()); action && action->isEnabled())
                    action->trigger();
            });
            connect(layers_palette_, &tlayers_palette::current_layer_changed, this,
                    &tmain_window::refresh_command_states);
            connect(layers_palette_, &tlayers_palette::caption_changed, this,
                    [this, dock] { dock->setWindowTitle(layers_palette_->caption()); });
        }
        addDockWidget(std::string_view(spec.name) == "Toolbar_palette" ? Qt::LeftDockWidgetArea
                                                                        : Qt::RightDockWidgetArea,
                      dock);
        dock->setFloating(true);
        connect(dock, &QDockWidget::visibilityChanged, this, &tmain_window::refresh_command_states);
        palettes_.emplace(spec.name, dock);
    }
    restore_palettes();
}

// The tool palette's own buttons: full screen, and one toggle per palette
// that runs the same command as its View menu entry.
void tmain_window::fill_tool_palette(QWidget* palette)
{
    auto* column = new QVBoxLayout(palette);
    column->setContentsMargins(2, 2, 2, 2);
    tool_palette_ = new ttool_palette(palette);
    column->addWidget(tool_palette_);
    auto* full = new QToolButton(palette);
    full->setObjectName("full_screen_button");
    full->setText("Full screen");
    full->setToolTip("Full screen");
    connect(full, &QToolButton::clicked, this, &tmain_window::full_screen);
    full_screen_button_ = full;
    column->addWidget(full);
    for (const char* handler : {"Undo1Click", "Redo1Click"}) {
        auto* button = new QToolButton(palette);
        button->setDefaultAction(actions_.at(handler));
        column->addWidget(button);
    }
    for (const tpalette_spec& spec : palette_specs) {
        auto* toggle = new QToolButton(palette);
        toggle->setDefaultAction(actions_.at(spec.toggle));
        toggle->setToolTip(spec.button);
        column->addWidget(toggle);
    }
    column->addStretch();
}

void tmain_window::restore_tool_state()
{
    tool_editor_.state.foreground = TColor(read_int("colors", "foreground", 13656392));
    tool_editor_.state.background = TColor(read_int("colors", "background", 0x00FFFFFF));
    read_brush_cursor_modes();
    connect(tool_palette_, &ttool_palette::tool_requested, this, [this](int id) { choose_tool(std::uint8_t(id)); });
    connect(tool_palette_, &ttool_palette::status_text, status_text_, &QLabel::setText);
    connect(&tlanguage_notifier::instance(), &tlanguage_notifier::language_changed, this, [this] {
        palettes_.at("Toolbar_size")->setWindowTitle(
            QString::fromStdString(options_caption(tool_editor_.state.current_tool)));
    });
    choose_tool(restored_tool(read_int("last tool selected", "id", -1)));
}

void tmain_window::store_tool_state() const
{
    // The colours kept aside while a mask is edited are the user's.
    const tcolour_pair colours = colours_before_mask_.value_or(
        tcolour_pair{tool_editor_.state.foreground, tool_editor_.state.background});
    write_int("last tool selected", "id", tool_editor_.state.current_tool);
    write_int("colors", "foreground", std::int32_t(colours.foreground));
    write_int("colors", "background", std::int32_t(colours.background));
}

// Masks are painted in greys: entering mask editing keeps the colours aside
// and paints with their greys; leaving it brings them back.
void tmain_window::follow_mask_editing()
{
    const TForm2* image = active_image();
    const bool editing = image && image->document().mask_editing;
    TColor& foreground = tool_editor_.state.foreground;
    TColor& background = tool_editor_.state.background;
    if (editing && !colours_before_mask_) {
        colours_before_mask_ = tcolour_pair{foreground, background};
        foreground = grey_colour(foreground);
        background = grey_colour(background);
    } else if (!editing && colours_before_mask_) {
        foreground = colours_before_mask_->foreground;
        background = colours_before_mask_->background;
        colours_before_mask_.reset();
    } else {
        return;
    }
    tool_options_->draw_preview();
}

void tmain_window::read_brush_cursor_modes()
{
    tool_editor_.state.realtime_preview = read_bool("brushes", "realtime_preview", false);
    tool_editor_.state.classic_preview = read_bool("brushes", "classic_preview", false);
}

void tmain_window::choose_tool(std::uint8_t id)
{
    // A pending free transformation would be settled first; there is none yet.
    tool_editor_.choose_tool(id);
    tool_palette_->show_tool(id);
    tool_options_->show_current_tool();
    palettes_.at("Toolbar_size")->setWindowTitle(QString::fromStdString(options_caption(id)));
}

void tmain_window::connect_tools(TForm2* window)
{
    window->set_tool_editor(&tool_editor_);
    connect(window, &TForm2::colours_changed, tool_options_, &ttool_options::draw_preview);
    connect(window, &TForm2::ants_requested, this, [this](bool marching) {
        if (marching)
            ants_timer_.start();
        else
            ants_timer_.stop();
    });
    connect(window, &TForm2::pointer_entered, this, [this] {
        tool_palette_->hide_palettes();
        status_text_->clear();
    });
}

void tmain_window::restore_palettes()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int top = 60;
    int stacked_top = top;
    for (const tpalette_spec& spec : palette_specs) {
        QDockWidget* dock = palettes_.at(spec.name);
        const int width = read_int(spec.section, "width", spec.size.width());
        const int height = read_int(spec.section, "height", spec.size.height());
        const bool tools = std::string_view(spec.name) == "Toolbar_palette";
        // Defaults: the tool palette at the left edge, the others stacked down the right edge.
        const int default_left = tools ? 0 : screen.width() - width;
        const int default_top = tools ? top : stacked_top;
        if (!tools)
            stacked_top += height + 30;
        const double posx = read_float(spec.section, "posx", double(default_left) / screen.width());
        const double posy = read_float(spec.section, "posy", double(default_top) / screen.height());
        dock->setGeometry(int(std::lround(screen.width() * posx)), int(std::lround(screen.height() * posy)), width,
                          height);
        dock->setVisible(read_bool(spec.section, "visible", true));
    }
}

void tmain_window::store_palettes() const
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const tpalette_spec& spec : palette_specs) {
        const QDockWidget* dock = palettes_.at(spec.name);
        write_float(spec.section, "posx", double(dock->x()) / screen.width());
        write_float(spec.section, "posy", double(dock->y()) / screen.height());
        write_bool(spec.section, "visible", dock->isVisible());
        write_int(spec.section, "width", dock->width());
        write_int(spec.section, "height", dock->height());
    }
}

void tmain_window::build_status_bar()
{
    statusBar()->setObjectName("sb");
    status_text_ = new QLabel(statusBar());
    gauge_ = new QProgressBar(statusBar());
    gauge_->setMaximumWidth(200);
    gauge_->setRange(0, 100);
    gauge_->hide();
    statusBar()->addWidget(status_text_, 1);
    statusBar()->addPermanentWidget(gauge_);
}

void tmain_window::show_text(const std::string& text)
{
    status_text_->setText(QString::fromStdString(text));
}

void tmain_window::show_gauge(gauge_style style, int position)
{
    gauge_->setVisible(style != gauge_style::plain);
    if (style == gauge_style::indeterminate)
        gauge_->setRange(0, 0);
    else
        gauge_->setRange(0, 100);
    gauge_->setValue(position);
}

void tmain_window::pump()
{
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

TForm2* tmain_window::active_image() const
{
    return qobject_cast<TForm2*>(mdi_area_->activeSubWindow());
}

QList<TForm2*> tmain_window::image_windows() const
{
    QList<TForm2*> windows;
    for (QMdiSubWindow* sub : mdi_area_->subWindowList())
        if (auto* window = qobject_cast<TForm2*>(sub))
            windows << window;
    return windows;
}

QAction* tmain_window::command_action(std::string_view handler) const
{
    const auto found = actions_.find(handler);
    return found == actions_.end() ? nullptr : found->second;
}

QDockWidget* tmain_window::palette(std::string_view name) const
{
    const auto found = palettes_.find(name);
    return found == palettes_.end() ? nullptr : found->second;
}

tcommand_state tmain_window::command_state() const
{
    tcommand_state state;
    state.image_windows = int(image_windows().size());
    if (const TForm2* window = active_image()) {
        const tdocument& doc = window->document();
        state.modified = doc.modified;
        state.has_selection = doc.has_selection;
        state.has_saved_selections = !doc.saved_selections.empty();
        state.layer_count = int(doc.layers.size());
        state.current_layer = doc.current_layer;
        state.current_layer_has_mask = doc.valid_layer(doc.current_layer) && doc.current_layer_record().mask;
        state.mask_editing = doc.mask_editing;
        state.zoom_index = doc.zoom_index;
        state.can_undo = window->history().can_undo(doc);
        state.can_redo = window->history().can_redo(doc);
        state.history_entries = int(window->history().entries().size());
    }
    return state;
}

void tmain_window::refresh_command_states()
{
    follow_mask_editing();
    const tcommand_state state = command_state();
    for (const tcommand& command : command_table()) {
        if (command.handler.empty()) {
            menus_.at(std::string(command.component))->menuAction()->setEnabled(command_allowed(command.rule, state));
            continue;
        }
        QAction* action = actions_.at(std::string(command.handler));
        const bool built = handlers().count(command.handler) || find_filter(command.handler);
        action->setEnabled(built && command_allowed(command.rule, state));
    }
    for (const tpalette_spec& spec : palette_specs)
        actions_.at(spec.toggle)->setChecked(palettes_.at(spec.name)->isVisible());
    full_screen_button_->setEnabled(state.image_windows > 0);
    show_captions(state);
}

// Undo and Redo name the step they would take, in quotation marks; the
// palettes' captions follow the language and the active image.
void tmain_window::show_captions(const tcommand_state& state)
{
    const TForm2* image = active_image();
    const auto caption = [&](const char* key, bool allowed, std::int32_t entry) {
        QString text = QString::fromStdString(translate(key)).trimmed();
        if (allowed && image)
            text += " \"" + QString::fromStdString(image->history().entries().at(std::size_t(entry)).name) + "\"";
        return text;
    };
    const std::int32_t position = image ? image->history().position() : 0;
    actions_.at("Undo1Click")->setText(caption("@ch_undo", state.can_undo, position));
    actions_.at("Redo1Click")->setText(caption("@ch_redo", state.can_redo, position + 1));
    palettes_.at("toolbar_color")->setWindowTitle(QString::fromStdString(translate("@ch_color") + translate("@ch_rgb")));
    palettes_.at("Toolbar_layers")->setWindowTitle(layers_palette_->caption());
    const TForm2* masked = state.current_layer_has_mask ? image : nullptr;
    actions_.at("DisableLayerMask3Click")
        ->setText(text(masked && !masked->document().current_layer_record().mask_enabled ? "@ch_enable_mask"
                                                                                           : "@ch_disable_mask"));
    QDockWidget* history = palettes_.at("toolbar_selection");
    if (!image)
        history->setWindowTitle(QString::fromStdString(translate("@ch_history")));
    else if (image->document().file_name.empty())
        history->setWindowTitle(QString::fromStdString(translate("@ch_history")));
    else
        history->setWindowTitle(QString::fromStdString(translate("@ch_history_of")) +
                                QFileInfo(QString::fromStdString(image->document().file_name)).completeBaseName());
}

TForm2* tmain_window::create_image(const std::string& name, std::int32_t width, std::int32_t height, TColor fill,
                                   double pixels_per_inch)
{
    tdocument doc = create_document(name);
    doc.resolution = float(pixels_per_inch);
    add_background(doc, width, height, fill, translate("@ch_background"));
    return add_image_window(std::move(doc));
}

TForm2* tmain_window::add_image_window(tdocument doc)
{
    // The largest zoom up to 100 % at which the whole image fits the workspace.
    const QSize client = mdi_area_->viewport()->size();
    doc.zoom_index = zoom_to_fit(doc.width(), doc.height(), client.width(), client.height());
    auto* window = new TForm2(std::move(doc));
    connect_tools(window);
    mdi_area_->addSubWindow(window);
    window->show();
    // The frame is known once the window shows; tiny images still get a
    // window wide enough for its title bar.
    const QSize frame = window->size() - window->widget()->size();
    window->resize((window->zoomed_client_size() + frame).expandedTo(window->minimumSizeHint()));
    window->set_rulers_visible(actions_.at("Showruler1Click")->isChecked());
    window->record(translate("@ch_initial_state"));
    window->document().modified = 0;
    connect(window, &TForm2::zoom_changed, this, &tmain_window::refresh_command_states);
    connect(window, &TForm2::history_changed, this, [this, window] {
        if (window == active_image()) {
            history_palette_->show_history(window);
            layers_palette_->show_image(window);
        }
        refresh_command_states();
    });
    connect(
        window, &QObject::destroyed, this,
        [this] {
            layers_palette_->show_image(active_image());
            refresh_command_states();
        },
        Qt::QueuedConnection);
    refresh_command_states();
    return window;
}

void tmain_window::Nouvelleimage1Click()
{
    const QImage clipboard = QApplication::clipboard()->image();
    TForm7 dialog(new_image_counter_, logicalDpiX(), clipboard.isNull() ? QSize() : clipboard.size(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ++new_image_counter_;
    const tnew_image_request request = dialog.request();
    TColor fill = 0x00FFFFFF;
    if (request.fill == tnew_image_fill::background_colour)
        fill = TColor(read_int("colors", "background", 0x00FFFFFF));
    else if (request.fill == tnew_image_fill::custom)
        fill = request.custom_colour;
    try {
        create_image(request.name, request.width, request.height, fill, request.pixels_per_inch);
    } catch (const velmora_error&) {
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_no_mem"));
    } catch (const std::bad_alloc&) {
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_no_mem"));
    }
}

void tmain_window::open_files(const QStringList& files)
{
    if (!shown_) {
        pending_files_ << files;
        return;
    }
    for (const QString& file : files)
        open_file(file);
}

TForm2* tmain_window::open_file(const QString& file_name)
{
    const QString path = QFileInfo(file_name).absoluteFilePath();
    for (TForm2* window : image_windows())
        if (QString::fromStdString(window->document().file_name).compare(path, Qt::CaseInsensitive) == 0) {
            QMessageBox::information(this, text("@ch_information"),
                                     QString::fromStdString(fill_placeholders(
                                         translate("@ch_file_already_opened"),
                                         {QFileInfo(path).fileName().toStdString()})));
            mdi_area_->setActiveSubWindow(window);
            return window;
        }
    try {
        const tbusy_cursor busy;
        tload_options options;
        options.jpeg_smoothing = read_bool("jpeg", "lissage", true);
        TForm2* window = add_image_window(open_document_file(path.toStdString(), options));
        add_recent_file(path.toStdString());
        write_string("open", "dir", QFileInfo(path).absolutePath().toStdString());
        return window;
    } catch (const velmora_error& error) {
        QString message = text(error.key());
        if (error.key() == "@ch_could_not_parse_the_file")
            message = QString::fromStdString(
                fill_placeholders(translate(error.key()), {"." + QFileInfo(path).suffix().toUpper().toStdString()}));
        QMessageBox::warning(this, text("@ch_warning"), message);
    } catch (const std::bad_alloc&) {
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_no_mem"));
    }
    return nullptr;
}

void tmain_window::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // Once the window is up and idle, the files that waited for it.
    QTimer::singleShot(0, this, [this] { open_files(std::exchange(pending_files_, {})); });
}

void tmain_window::full_screen()
{
    const TForm2* image = active_image();
    if (!image)
        return;
    const QRect screen = this->screen()->geometry();
    Tfbitmap flat = flatten_image(image->document());
    // Larger than the screen: the longer side fits it, the other follows.
    if (flat.width() > screen.width() || flat.height() > screen.height()) {
        const double scale = std::min(double(screen.width()) / flat.width(), double(screen.height()) / flat.height());
        Tfbitmap fitted(std::max(1, int(round_half_even(flat.width() * scale))),
                        std::max(1, int(round_half_even(flat.height() * scale))));
        resample(flat, fitted, tresample_filter::mitchell);
        flat = std::move(fitted);
    }
    const trgb background = split_color(TColor(read_int("colors", "background", 0x00FFFFFF)));
    auto* view = new tfull_screen_view(
        QImage(flat.bits(), flat.width(), flat.height(), qsizetype(flat.stride()), QImage::Format_RGB32).copy(),
        QColor(background.red, background.green, background.blue));
    view->showFullScreen();
}

void tmain_window::Ouvirr1Click()
{
    const QString filter =
        "Velmora (*.vlm);;Pictures (*.vlm *.psd *.png *.jpg *.jpeg *.bmp *.rle *.dib *.gif *.tif *.tiff *.pcx *.tga "
        "*.sgi *.rgb *.ppm *.pgm *.pbm *.pnm *.cel *.pic *.pcd);;All files (*)";
    const QStringList files = QFileDialog::getOpenFileNames(
        this, text("@ch_open"), QString::fromStdString(read_string("open", "dir", "")), filter);
    for (const QString& file : files)
        open_file(file);
}

void tmain_window::Enregistrer1Click()
{
    TForm2* image = active_image();
    if (!image)
        return;
    if (image->document().saved_once)
        save_native(image, QString::fromStdString(image->document().file_name), false);
    else
        Exporteren1Click();
}

void tmain_window::Exporteren1Click()
{
    TForm2* image = active_image();
    if (!image)
        return;
    const QFileInfo current(QString::fromStdString(image->document().file_name));
    const QString folder = QString::fromStdString(read_string("save as", "last", ""));
    QString file = QFileDialog::getSaveFileName(this, text("@ch_save_as"),
                                                QDir(folder.isEmpty() ? current.absolutePath() : folder)
                                                    .filePath(current.completeBaseName()),
                                                "Velmora (*.VLM) (*.vlm)");
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix().compare("vlm", Qt::CaseInsensitive) != 0)
        file += ".vlm";
    if (!save_native(image, file, true))
        return;
    tdocument& doc = image->document();
    add_recent_file(file.toStdString());
    doc.file_name = file.toStdString();
    doc.saved_once = 1;
    image->setWindowTitle(image->caption());
    write_string("save as", "last", QFileInfo(file).absolutePath().toStdString());
    refresh_command_states();
}

bool tmain_window::save_native(TForm2* image, const QString& file, bool ask_options)
{
    tdocument& doc = image->document();
    tvlm_write_options options;
    if (ask_options) {
        TForm24 dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        doc.vlm_compressed = dialog.compressed();
        options.include_thumbnail = dialog.include_thumbnail();
    } else {
        options.include_thumbnail = read_bool("vlm", "preview", true);
    }
    options.compressed = doc.vlm_compressed;
    options.show_progress = true;
    options.progress_caption = translate("@ch_saving_vlm");
    if (read_bool("vlm", "include_signature", false))
        options.signature = tvlm_signature{read_string("vlm", "author", ""), read_string("vlm", "copyright_info", "")};
    try {
        const tbusy_cursor busy;
        write_vlm(doc, file.toStdString(), options);
    } catch (const velmora_error& error) {
        QMessageBox::warning(this, text("@ch_warning"), text(error.key()) + "\n" + file);
        return false;
    } catch (const std::bad_alloc&) {
        QMessageBox::warning(this, text("@ch_warning"), text("@ch_no_mem"));
        return false;
    }
    doc.modified = 0;
    refresh_command_states();
    return true;
}

void tmain_window::run_filter(std::string_view handler)
{
    TForm2* image = active_image();
    if (!image)
        return;
    const tfilter_host host{image->document(), [image] { image->recomposite_all(); },
                            [image](const std::string& label) { image->record(label); }};
    run_filter_command(this, handler, host);
    refresh_command_states();
}

void tmain_window::ToolbarButton9712Click()
{
    TForm2* image = active_image();
    if (!image)
        return;
    tdocument& doc = image->document();
    duplicate_layer(doc, duplicate_name(doc.current_layer_record().name, translate("@ch_copy"),
                                        translate("@ch_copy_incomplet")));
    image->recomposite_all();
    image->record(translate("@ch_duplicate_layer"));
}

void tmain_window::ToolbarButton9711Click()
{
    TForm2* image = active_image();
    if (!image || image->document().current_layer <= 0)
        return;
    const std::string question =
        fill_placeholders(translate("@ch_sure_suppr_layer"), {image->document().current_layer_record().name});
    if (QMessageBox::question(this, text("@ch_warning"), QString::fromStdString(question),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel) != QMessageBox::Yes)
        return;
    if (!delete_current_layer(image->document()))
        return;
    image->recomposite_all();
    image->record(translate("@ch_delete_layer"));
}

void tmain_window::mergedownClick()
{
    TForm2* image = active_image();
    if (!image || image->document().current_layer <= 0)
        return;
    if (!merge_down(image->document())) {
        QMessageBox::information(this, text("@ch_information"), text(merge_refused_key));
        return;
    }
    image->recomposite_all();
    image->record(translate("@ch_merge_down"));
}

void tmain_window::Mergelayers1Click()
{
    TForm2* image = active_image();
    if (!image || image->document().layers.size() < 2)
        return;
    merge_all_layers(image->document());
    image->recomposite_all();
    image->record(translate("@ch_merge_all_layers"));
}

void tmain_window::NewLayer1Click()
{
    TForm2* image = active_image();
    if (!image)
        return;
    TForm10 dialog(image, this);
    if (dialog.exec() == QDialog::Accepted)
        image->record(translate("@ch_new_layer"));
}

void tmain_window::LayerOptions1Click()
{
    TForm2* image = active_image();
    if (!image || image->document().current_layer <= 0)
        return;
    TForm18 dialog(image, this);
    if (dialog.exec() == QDialog::Accepted)
        image->record(translate("@ch_layer_options"));
}

void tmain_window::CreateLayerMask1Click()
{
    TForm2* image = active_image();
    if (!image || image->document().current_layer <= 0)
        return;
    create_layer_mask(image->document());
    image->recomposite_all();
    image->record(translate("@ch_create_layer_mask"));
}

void tmain_window::DisableLayerMask3Click()
{
    TForm2* image = active_image();
    if (!image || image->document().current_layer <= 0 || !image->document().current_layer_record().mask)
        return;
    image->document().current_layer_record().mask_enabled ^= 1;
    image->recomposite_all();
    layers_palette_->rebuild_layers_palette();
    refresh_command_states();
}

void tmain_window::RemoveLayerMask2Click()
{
    TForm2* image = active_image();
    if (!image || image->document().current_layer <= 0 || !image->document().current_layer_record().mask)
        return;
    const auto answer = QMessageBox::question(this, text("@ch_warning"), text("@ch_apply_layermask"),
                                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel)
        return;
    remove_layer_mask(image->document(), answer == QMessageBox::Yes);
    image->recomposite_all();
    image->record(translate("@ch_remove_layer_mask"));
}

void tmain_window::run_selection_command(const std::function<void(tdocument&)>& command, std::string_view label)
{
    TForm2* image = active_image();
    if (!image)
        return;
    {
        tbusy_cursor busy;
        command(image->document());
        image->recomposite_all();
    }
    if (!label.empty())
        image->record(translate(label));
    refresh_command_states();
}

void tmain_window::SelectAll1Click()
{
    run_selection_command(select_all, select_all_label);
}

void tmain_window::Deselect1Click()
{
    run_selection_command(deselect, deselect_label);
}

void tmain_window::Invert2Click()
{
    run_selection_command(inverse_selection, inverse_selection_label);
}

void tmain_window::Gettheselection1Click()
{
    run_selection_command([](tdocument& doc) { get_selection_from_layer(doc, doc.current_layer_record()); },
                          get_selection_label);
}

void tmain_window::Savetheselection1Click()
{
    if (TForm2* image = active_image(); image && save_selection(image->document()))
        refresh_command_states();
}

void tmain_window::Loadtheselection1Click()
{
    TForm2* image = active_image();
    if (!image || image->document().saved_selections.empty())
        return;
    TForm16 dialog(image->document(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    run_selection_command(
        [&](tdocument& doc) { load_selection(doc, dialog.chosen_index(), dialog.operation()); }, load_selection_label);
}

void tmain_window::Hideshow1Click()
{
    // Hidden ants are erased by recompositing; shown ones return at the next tick.
    if (TForm2* image = active_image(); image && actions_.at("Hideshow1Click")->isChecked())
        image->recomposite_all();
}

void tmain_window::Undo1Click()
{
    if (TForm2* image = active_image(); image && image->history().can_undo(image->document()))
        image->undo();
}

void tmain_window::Redo1Click()
{
    if (TForm2* image = active_image(); image && image->history().can_redo(image->document()))
        image->redo();
}

void tmain_window::History1Click()
{
    if (TForm2* image = active_image()) {
        TForm25 dialog(image, this);
        dialog.exec();
    }
}

void tmain_window::fill_reopen_menu()
{
    QMenu* reopen = menus_.at("N1");
    reopen->clear();
    for (const trecent_file& recent : list_recent_files()) {
        const QString path = QString::fromStdString(recent.path);
        reopen->addAction(QString::fromStdString(recent.caption), this, [this, path] {
            if (!QFileInfo::exists(path)) {
                QMessageBox::warning(this, text("@ch_warning"), text("@ch_file_unavailable"));
                return;
            }
            open_file(path);
        });
    }
}

void tmain_window::add_program_fonts()
{
    if (!read_bool("fonts", "use_designer_fonts", false))
        return;
    // The fonts shipped beside the program, then the user's own.
    const QStringList folders = {QCoreApplication::applicationDirPath() + "/fonts",
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/fonts"};
    for (const QString& folder : folders)
        for (const QFileInfo& file : QDir(folder).entryInfoList({"*.ttf"}, QDir::Files)) {
            const int id = QFontDatabase::addApplicationFont(file.absoluteFilePath());
            if (id < 0)
                return; // the rest are skipped after the first that fails
            added_fonts_ << id;
        }
}

void tmain_window::Fermer1Click()
{
    if (QMdiSubWindow* window = mdi_area_->activeSubWindow())
        window->close();
}

void tmain_window::Fermertout1Click()
{
    // Closes the active window until none is left or a close was refused.
    for (;;) {
        QMdiSubWindow* window = mdi_area_->activeSubWindow();
        if (!window)
            break;
        const auto before = mdi_area_->subWindowList().size();
        window->close();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (mdi_area_->subWindowList().size() >= before)
            break;
    }
    refresh_command_states();
}

void tmain_window::Quittr1Click()
{
    close();
}

void tmain_window::Tile1Click()
{
    mdi_area_->tileSubWindows();
}

void tmain_window::Cascade1Click()
{
    mdi_area_->cascadeSubWindows();
}

void tmain_window::toggle_palette(std::string_view name)
{
    QDockWidget* dock = palettes_.at(std::string(name));
    dock->setVisible(!dock->isVisible());
    refresh_command_states();
}

void tmain_window::Showtoolbar1Click()
{
    toggle_palette("Toolbar_palette");
}

void tmain_window::showColor1Click()
{
    toggle_palette("toolbar_color");
}

void tmain_window::Showsize1Click()
{
    toggle_palette("Toolbar_size");
}

void tmain_window::Showlayers1Click()
{
    toggle_palette("Toolbar_layers");
}

void tmain_window::Showselection1Click()
{
    toggle_palette("toolbar_selection");
}

void tmain_window::Zoomin1Click()
{
    if (TForm2* window = active_image())
        window->set_zoom(window->document().zoom_index + 1);
}

void tmain_window::Zoomout1Click()
{
    if (TForm2* window = active_image())
        window->set_zoom(window->document().zoom_index - 1);
}

void tmain_window::Viewat1001Click()
{
    if (TForm2* window = active_image())
        window->set_zoom(zoom_index_100);
}

void tmain_window::Showruler1Click()
{
    const bool visible = actions_.at("Showruler1Click")->isChecked();
    for (TForm2* window : image_windows())
        window->set_rulers_visible(visible);
}

void tmain_window::show_preferences(int page)
{
    open_preferences(this, page, [this](TForm14& dialog) {
        if (!image_windows().isEmpty())
            dialog.set_empty_undo_handler([this, &dialog] { empty_undo_stacks(&dialog); });
        // Undo switched back on: the active image's history starts from now.
        connect(&dialog, &TForm14::undo_reenabled, this, [this] {
            if (TForm2* image = active_image())
                image->record(translate("@ch_initial_state"));
        });
        connect(&dialog, &TForm14::preferences_applied, this, [this] {
            read_brush_cursor_modes();
            for (TForm2* window : image_windows())
                window->set_rulers_visible(window->rulers_visible());
        });
    });
}

void tmain_window::empty_undo_stacks(TForm14* dialog)
{
    const auto answer = QMessageBox::question(dialog, text("@ch_warning"), text("@ch_empty_undo_redo_stack"),
                                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return;
    for (TForm2* window : image_windows()) {
        window->history().clear_history();
        emit window->history_changed();
    }
    // The button has done its work; it disables itself once its click returns.
    QTimer::singleShot(0, dialog, [dialog] { dialog->set_empty_undo_handler({}); });
}

void tmain_window::Options1Click()
{
    show_preferences(read_int("options", "onglet", 0));
}

void tmain_window::Interface1Click()
{
    show_preferences(0);
}

void tmain_window::LanguageUnits1Click()
{
    show_preferences(1);
}

void tmain_window::FileAssociations1Click()
{
    show_preferences(2);
}

void tmain_window::UndoRedo1Click()
{
    show_preferences(3);
}

void tmain_window::Fonts1Click()
{
    show_preferences(4);
}

void tmain_window::VLMSignature1Click()
{
    show_preferences(5);
}

void tmain_window::AdvancedSettings1Click()
{
    show_preferences(6);
}

void tmain_window::closeEvent(QCloseEvent* event)
{
    Fermertout1Click();
    if (!mdi_area_->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    write_bool("rulers", "visible", actions_.at("Showruler1Click")->isChecked());
    store_palettes();
    store_tool_state();
    for (const int font : std::exchange(added_fonts_, {}))
        QFontDatabase::removeApplicationFont(font);
    QMainWindow::closeEvent(event);
}

} // namespace velmora
