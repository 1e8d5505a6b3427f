#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QSlider;

namespace velmora {

class TForm2;
class tnavigator_picture;

// The zoom tool's navigator: the zoom in percent, a thumbnail of the active
// image with a red frame around the part its window shows (click or drag on
// it to look elsewhere), and the zoom slider with its "-" and "+" buttons.
// It follows its image only while it is on screen and catches up when shown.
class tnavigator : public QWidget {
    Q_OBJECT

public:
    explicit tnavigator(QWidget* parent = nullptr);

    // The image to show; nullptr clears the navigator.
    void show_image(TForm2* image);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void draw_picture();
    void show_zoom();
    void draw_frame();

    QPointer<TForm2> image_;
    QList<QMetaObject::Connection> image_connections_;
    tnavigator_picture* picture_ = nullptr;
    QLabel* percent_ = nullptr;
    QSlider* slider_ = nullptr;
};

} // namespace velmora
