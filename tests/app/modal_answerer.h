#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers the modal windows that commands open, while it lives: message
// boxes are read into `messages` and answered Yes when they ask, OK
// otherwise; any other modal window goes to `other`.
class tmodal_answerer {
public:
    explicit tmodal_answerer(std::function<void(QWidget*)> other = {}) : other_(std::move(other))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages << box->text();
                if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                    yes->click();
                else
                    box->accept();
            } else if (modal && other_) {
                other_(modal);
            }
        });
        timer_.start(10);
    }

    QStringList messages;

private:
    std::function<void(QWidget*)> other_;
    QTimer timer_;
};
