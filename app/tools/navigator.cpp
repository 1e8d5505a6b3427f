#include "tools/navigator.h"

#include "document/image_window.h"
#include "document/navigator.h"
#include "document/rounding.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <optional>
#include <tuple>

namespace velmora {

// The thumbnail with its red frame; a left click or drag asks to look there.
class tnavigator_picture : public QWidget {
public:
    explicit tnavigator_picture(QWidget* parent) : QWidget(parent)
    {
        setObjectName("navigator");
        const tsize largest = navigator_size(0, 0);
        setFixedSize(largest.width, largest.height);
    }

    void set_picture(QImage picture)
    {
        picture_ = std::move(picture);
        update();
    }
    void set_frame(std::optional<QRect> frame)
    {
        frame_ = frame;
        update();
    }

    std::function<void(QPoint)> clicked;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, picture_);
        if (!frame_)
            return;
        painter.setPen(Qt::red);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame_->adjusted(0, 0, -1, -1));
    }
    void mousePressEvent(QMouseEvent* event) override { follow(*event); }
    void mouseMoveEvent(QMouseEvent* event) override { follow(*event); }

private:
    void follow(const QMouseEvent& event)
    {
        if (event.buttons() & Qt::LeftButton && clicked)
            clicked(event.position().toPoint());
    }

    QImage picture_;
    std::optional<QRect> frame_;
};

tnavigator::tnavigator(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    percent_ = new QLabel(this);
    percent_->setObjectName("navigator_zoom");
    picture_ = new tnavigator_picture(this);
    picture_->clicked = [this](QPoint at) {
        if (image_)
            image_->navigate_to(at);
    };
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName("navigator_slider");
    slider_->setRange(zoom_index_min, zoom_index_max);
    slider_->setPageStep(1);
    connect(slider_, &QSlider::valueChanged, this, [this](int index) {
        if (image_)
            image_->set_zoom_centred(index);
    });
    auto* zoom_row = new QHBoxLayout;
    for (const auto& [name, caption, step] : {std::tuple{"navigator_zoom_out", "-", -1},
                                              std::tuple{"navigator_zoom_in", "+", 1}}) {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(caption);
        connect(button, &QToolButton::clicked, slider_,
                [this, step = step] { slider_->setValue(slider_->value() + step); });
        zoom_row->addWidget(button);
        if (step < 0)
            zoom_row->addWidget(slider_);
    }
    column->addWidget(percent_);
    column->addWidget(picture_);
    column->addLayout(zoom_row);
    show_image(nullptr);
}

void tnavigator::show_image(TForm2* image)
{
    for (const QMetaObject::Connection& connection : image_connections_)
        disconnect(connection);
    image_connections_.clear();
    image_ = image;
    if (image) {
        // Hidden, the navigator lets the image be; showing it catches up.
        const auto when_shown = [this](void (tnavigator::*refresh)()) {
            return [this, refresh] {
                if (isVisible())
                    (this->*refresh)();
            };
        };
        image_connections_ = {connect(image, &TForm2::zoom_changed, this, when_shown(&tnavigator::show_zoom)),
                              connect(image, &TForm2::view_moved, this, when_shown(&tnavigator::draw_frame)),
                              connect(image, &TForm2::history_changed, this, when_shown(&tnavigator::draw_picture))};
    }
    for (QWidget* control : findChildren<QWidget*>())
        if (control != picture_ && control != percent_)
            control->setEnabled(image != nullptr);
    if (isVisible() || !image) {
        draw_picture();
        show_zoom();
    }
}

void tnavigator::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    draw_picture();
    show_zoom();
}

void tnavigator::draw_picture()
{
    const auto colour = [this](QPalette::ColorRole role) {
        const QColor c = palette().color(role);
        return make_color(std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue()));
    };
    const tdocument none = create_document({});
    const Tfbitmap picture =
        navigator_picture(image_ ? image_->document() : none, colour(QPalette::Dark), colour(QPalette::Base));
    picture_->set_picture(
        QImage(picture.bits(), picture.width(), picture.height(), qsizetype(picture.stride()), QImage::Format_RGB32)
            .copy());
}

void tnavigator::show_zoom()
{
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(image_ ? image_->document().zoom_index : zoom_index_min);
    }
    percent_->setText(image_ ? QString::number(round_half_even((long double)image_->mapping().z * 100)) + "%"
                             : QString());
    draw_frame();
}

void tnavigator::draw_frame()
{
    if (!image_) {
        picture_->set_frame(std::nullopt);
        return;
    }
    const tdocument& doc = image_->document();
    const trect frame = navigator_frame(doc.width(), doc.height(), image_->navigator_view());
    picture_->set_frame(QRect(frame.left, frame.top, frame.width(), frame.height()));
}

} // namespace velmora
