// The --screenshot run of the tile window: it types through the controls (so the tile hears of
// it exactly as from a person's typing), submits, waits for the outcome and saves the picture.
#include "tile_window.h"

#include "console_output.h"
#include "credential_provider_names.h"
#include "png_capture.h"
#include "utf8_conversion.h"

namespace {

constexpr UINT_PTR kCaptureTimer = 1;
// Time for the last repaints (the outcome text, the list) to land before the pixels are read.
constexpr UINT kCaptureDelayMs = 400;

}  // namespace

void TileWindow::RunScript() {
    std::vector<FieldValue>* fields = SelectedFields();
    if (fields != nullptr && m_script->hasUserName) {
        std::vector<TileField> described;
        for (const FieldValue& value : *fields) {
            described.push_back(value.field);
        }
        const TileField* user = FindUserNameField(described);
        const TileField* password = FindPasswordField(described);
        for (size_t index = 0; index < fields->size(); ++index) {
            if (user != nullptr && (*fields)[index].field.id == user->id) {
                SetWindowTextW(m_controls[index].control, m_script->userName.c_str());
            }
            if (password != nullptr && (*fields)[index].field.id == password->id && m_script->password != nullptr) {
                SetWindowTextW(m_controls[index].control, m_script->password->data());
            }
        }
    }
    if (m_script->submit) {
        Submit();
        return;
    }
    ScheduleCapture();
}

void TileWindow::ScheduleCapture() {
    SetTimer(m_window, kCaptureTimer, kCaptureDelayMs, nullptr);
}

void TileWindow::Capture() {
    const HRESULT hr = SaveWindowAsPng(m_window, m_script->path);
    if (FAILED(hr)) {
        WriteErr("credhost: cannot save " + Utf8FromWide(m_script->path) + ": " + HResultText(hr) + "\n");
        m_exitCode = 3;
    }
    PostMessageW(m_window, WM_CLOSE, 0, 0);
}
