#include "window_event_forwarder.h"

#include "window_messages.h"

void WindowEventForwarder::OnFieldEvent(const FieldEvent& event) noexcept {
    DWORD index = 0;
    while (index < m_tiles.size() && m_tiles[index] != event.tile) {
        ++index;
    }
    // A tile not yet (or no longer) listed: the next read of the tiles shows its state anyway.
    if (index == m_tiles.size()) {
        return;
    }
    std::unique_ptr<PostedFieldEvent> posted(new (std::nothrow) PostedFieldEvent());
    if (posted == nullptr) {
        return;
    }
    try {
        posted->kind = event.kind;
        posted->tile = index;
        posted->fieldId = event.fieldId;
        posted->state = event.state;
        posted->interactiveState = event.interactiveState;
        posted->hasText = event.text != nullptr;
        posted->text = event.text != nullptr ? event.text : L"";
        posted->checked = event.checked;
        posted->bitmap = CopyOfBitmap(event.bitmap);
        posted->item = event.item;
    } catch (const std::exception&) {
        return;
    }
    PostToWindow(m_window, kMsgFieldEvent, 0, std::move(posted));
}

void WindowEventForwarder::OnCredentialsChanged() noexcept {
    try {
        m_onCredentialsChanged();
    } catch (const std::exception&) {
        // Out of memory queueing the re-read: the tiles stay as they were shown.
    }
}
