#include "window_event_forwarder.h"

#include "window_messages.h"

void WindowEventForwarder::OnFieldEvent(const FieldEvent& event) noexcept {
    std::unique_ptr<PostedFieldEvent> posted(new (std::nothrow) PostedFieldEvent());
    if (posted == nullptr) {
        return;
    }
    if (!posted->waiting.Join(m_fieldEventsWaiting, kMaxFieldEventsWaiting)) {
        if (!m_floodReported.exchange(true)) {
            PostMessageW(m_window, kMsgEventFlood, 0, 0);
        }
        return;
    }
    try {
        posted->kind = event.kind;
        posted->source = event.tile;
        posted->fieldId = event.fieldId;
        posted->state = event.state;
        posted->interactiveState = event.interactiveState;
        posted->hasText = event.text != nullptr;
        posted->text = event.text != nullptr ? event.text : L"";
        posted->checked = event.checked;
        posted->bitmap = CopyOfBitmap(event.bitmap);
        posted->item = event.item;
        posted->options = event.options;
    } catch (const std::exception&) {
        return;
    }
    PostToWindow(m_window, kMsgFieldEvent, 0, std::move(posted));
}

// Any number raised before the window takes the one waiting come to the same re-read.
void WindowEventForwarder::OnCredentialsChanged() noexcept {
    std::unique_ptr<PostedCredentialsChanged> posted(new (std::nothrow) PostedCredentialsChanged());
    if (posted == nullptr || !posted->waiting.Join(m_changesWaiting, 1)) {
        return;
    }
    PostToWindow(m_window, kMsgCredentialsChanged, 0, std::move(posted));
}
