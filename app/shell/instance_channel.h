#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace velmora {

// One running editor per user: a later start hands its files over through a
// local socket and ends. The channel is named per user, and per settings
// folder when VELMORA_HOME is set, so a test run never talks to the user's
// own editor.
class tinstance_channel : public QObject {
    Q_OBJECT

public:
    explicit tinstance_channel(QObject* parent = nullptr);

    static QString channel_name();

    // Sends `files` to a running editor. False when none is running.
    bool hand_over(const QStringList& files);

    // Becomes the running editor: `receive` gets every list handed over.
    bool listen(std::function<void(const QStringList&)> receive);

private:
    QLocalServer* server_ = nullptr;
};

// The command-line arguments that name existing files, as absolute paths.
QStringList existing_files(const QStringList& arguments);

} // namespace velmora
