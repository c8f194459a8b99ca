// Which microphone the lecture is recorded from: the sound server's default input unless the
// user chose another, remembered across runs. Qt lists the inputs but, with several, takes the
// first one listed for its "default", not the one the server's user set: the server is asked.
#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QList>
#include <QString>

namespace vorlix {

class MicrophoneChoice {
  public:
    // The inputs the sound server offers now.
    static QList<QAudioDevice> inputs();
    // The server's default input; Qt's own default when the server cannot say; null without any.
    static QAudioDevice serverDefault();

    // The remembered choice (empty id: the default input).
    QByteArray chosenId() const;
    QString chosenDescription() const;
    // Remembers a choice; a null device goes back to the default input.
    void choose(const QAudioDevice& device);

    // The input to record from now. When the chosen one is gone, the default input, and
    // `missing` holds the chosen one's description (the choice itself is kept, for when it is
    // back).
    struct Resolution {
        QAudioDevice device;
        QString missing;
    };
    Resolution resolve() const;
};

// The sound server's default input (a PulseAudio source name); empty when it cannot be asked.
QByteArray serverDefaultSourceName();

}  // namespace vorlix
