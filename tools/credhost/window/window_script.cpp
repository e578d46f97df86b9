#include "window_script.h"

#include "console_output.h"
#include "credential_provider_names.h"
#include "png_capture.h"
#include "utf8_conversion.h"

namespace {

constexpr UINT_PTR kCaptureTimer = 1;
// Time for the last repaints (the outcome text, the list) to land before the pixels are read.
constexpr UINT kCaptureDelayMs = 400;

}  // namespace

void WindowScriptRun::Start() {
    if (m_started) {
        return;
    }
    m_started = true;
    std::vector<FieldValue>* fields = m_view.SelectedFields();
    if (fields != nullptr && m_script.hasUserName) {
        const std::vector<TileField> described = m_view.DescribeSelectedFields();
        const TileField* user = FindUserNameField(described);
        const TileField* password = FindPasswordField(described);
        for (size_t index = 0; index < fields->size(); ++index) {
            if (user != nullptr && (*fields)[index].field.id == user->id) {
                SetWindowTextW(m_view.FieldControl(index), m_script.userName.c_str());
            }
            if (password != nullptr && (*fields)[index].field.id == password->id && m_script.password != nullptr) {
                SetWindowTextW(m_view.FieldControl(index), m_script.password->data());
            }
        }
    }
    if (m_script.submit) {
        m_actions.Submit();
        return;
    }
    ScheduleCapture();
}

void WindowScriptRun::ScheduleCapture() { SetTimer(m_view.Window(), kCaptureTimer, kCaptureDelayMs, nullptr); }

HRESULT WindowScriptRun::Capture() {
    const HRESULT hr = SaveWindowAsPng(m_view.Window(), m_script.path);
    if (FAILED(hr)) {
        WriteErr("credhost: cannot save " + Utf8FromWide(m_script.path) + ": " + HResultText(hr) + "\n");
    }
    PostMessageW(m_view.Window(), WM_CLOSE, 0, 0);
    return hr;
}
