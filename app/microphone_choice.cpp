#include "app/microphone_choice.h"

#include <pulse/pulseaudio.h>

#include <QMediaDevices>
#include <QSettings>
#include <chrono>

namespace vorlix {
namespace {

const QString kIdKey = QStringLiteral("recording/microphone");
const QString kDescriptionKey = QStringLiteral("recording/microphoneDescription");

QAudioDevice findInput(const QByteArray& id) {
    for (const QAudioDevice& d : MicrophoneChoice::inputs())
        if (d.id() == id) return d;
    return {};
}

}  // namespace

QByteArray serverDefaultSourceName() {
    // A short conversation with the server on a main loop of our own, never longer than 2 s.
    pa_mainloop* loop = pa_mainloop_new();
    if (loop == nullptr) return {};
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Vorlix");
    struct Answer {
        QByteArray name;
        bool done = false;
    } answer;
    pa_operation* query = nullptr;
    if (context != nullptr &&
        pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!answer.done && std::chrono::steady_clock::now() < until) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            if (state == PA_CONTEXT_READY && query == nullptr) {
                query = pa_context_get_server_info(
                    context,
                    [](pa_context*, const pa_server_info* info, void* data) {
                        auto* a = static_cast<Answer*>(data);
                        if (info != nullptr && info->default_source_name != nullptr)
                            a->name = info->default_source_name;
                        a->done = true;
                    },
                    &answer);
                if (query == nullptr) break;
            }
            if (pa_mainloop_prepare(loop, 100 * 1000) < 0 || pa_mainloop_poll(loop) < 0 ||
                pa_mainloop_dispatch(loop) < 0)
                break;
        }
    }
    if (query != nullptr) {
        pa_operation_cancel(query);
        pa_operation_unref(query);
    }
    if (context != nullptr) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    return answer.name;
}

QList<QAudioDevice> MicrophoneChoice::inputs() {
    return QMediaDevices::audioInputs();
}

QAudioDevice MicrophoneChoice::serverDefault() {
    const QByteArray name = serverDefaultSourceName();
    if (!name.isEmpty()) {
        const QAudioDevice d = findInput(name);
        if (!d.isNull()) return d;
    }
    return QMediaDevices::defaultAudioInput();
}

QByteArray MicrophoneChoice::chosenId() const {
    return QSettings().value(kIdKey).toByteArray();
}

QString MicrophoneChoice::chosenDescription() const {
    return QSettings().value(kDescriptionKey).toString();
}

void MicrophoneChoice::choose(const QAudioDevice& device) {
    QSettings settings;
    if (device.isNull()) {
        settings.remove(kIdKey);
        settings.remove(kDescriptionKey);
    } else {
        settings.setValue(kIdKey, device.id());
        settings.setValue(kDescriptionKey, device.description());
    }
}

MicrophoneChoice::Resolution MicrophoneChoice::resolve() const {
    const QByteArray id = chosenId();
    if (!id.isEmpty()) {
        const QAudioDevice chosen = findInput(id);
        if (!chosen.isNull()) return {chosen, {}};
        const QString description = chosenDescription();
        return {serverDefault(), description.isEmpty() ? QString::fromUtf8(id) : description};
    }
    return {serverDefault(), {}};
}

}  // namespace vorlix
