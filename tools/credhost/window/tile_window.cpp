#include "tile_window.h"

#include "window_control_ids.h"

#include <algorithm>

static_assert(kMaxFieldEventsWaiting == 10000, "the flood's failed step names the cap");

HWND TileWindow::Create(const std::wstring& title) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = kTileWindowClass;
    RegisterClassExW(&windowClass);
    RECT frame{0, 0, 940, 520};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
    return CreateWindowExW(WS_EX_CONTROLPARENT, kTileWindowClass, title.c_str(), style, 0, 0, frame.right - frame.left,
                           frame.bottom - frame.top, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

LRESULT CALLBACK TileWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TileWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TileWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // Nothing may throw into the window manager: out of memory ends the window.
    try {
        return self->Handle(message, wParam, lParam);
    } catch (const std::exception&) {
        self->m_exitCode = 3;
        DestroyWindow(window);
        return 0;
    }
}

LRESULT TileWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: m_view.Create(m_window); return 0;
    case kMsgTilesRead: OnTilesRead(std::unique_ptr<TilesSnapshot>(reinterpret_cast<TilesSnapshot*>(lParam))); return 0;
    case kMsgFieldEvent:
        OnFieldEvent(std::unique_ptr<PostedFieldEvent>(reinterpret_cast<PostedFieldEvent*>(lParam)));
        return 0;
    case kMsgCredentialsChanged:
        OnCredentialsChanged(
            std::unique_ptr<PostedCredentialsChanged>(reinterpret_cast<PostedCredentialsChanged*>(lParam)));
        return 0;
    case kMsgEventFlood: ReportEventFailure("tile events (more than 10000 waiting for the window)"); return 0;
    case kMsgSubmitted: OnSubmitted(std::unique_ptr<SignInReport>(reinterpret_cast<SignInReport*>(lParam))); return 0;
    case kMsgSelected:
        if (wParam != 0) {
            m_actions.Submit();
        }
        return 0;
    case WM_COMMAND: m_actions.OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_DRAWITEM: return m_view.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC: return m_view.ColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        if (m_view.IsBusy()) {
            SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        break;
    case WM_TIMER: OnCaptureTimer(wParam); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    default: break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

void TileWindow::OnTilesRead(std::unique_ptr<TilesSnapshot> snapshot) {
    m_view.ShowTiles(*snapshot);
    if (snapshot->reread) {
        Reread(m_rereads.OnReread());
    }
    if (FAILED(snapshot->result)) {
        m_exitCode = 3;
        if (m_script) {
            m_script->ScheduleCapture();
        }
        return;
    }
    if (snapshot->autoLogon) {
        m_actions.Submit();
        return;
    }
    if (m_script) {
        m_script->Start();
    }
}

void TileWindow::OnFieldEvent(std::unique_ptr<PostedFieldEvent> event) {
    if (event->kind == FieldEventKind::BeginUpdates) {
        ++m_batchDepth;
        return;
    }
    if (event->kind == FieldEventKind::EndUpdates) {
        m_batchDepth = m_batchDepth > 0 ? m_batchDepth - 1 : 0;
        if (m_batchDepth > 0) {
            return;
        }
        std::vector<std::unique_ptr<PostedFieldEvent>> batch;
        batch.swap(m_batch);
        for (auto& held : batch) {
            ApplyFieldEvent(std::move(held));
        }
        return;
    }
    if (m_batchDepth > 0) {
        m_batch.push_back(std::move(event));
        return;
    }
    ApplyFieldEvent(std::move(event));
}

void TileWindow::ApplyFieldEvent(std::unique_ptr<PostedFieldEvent> event) {
    static_assert(kMaxComboBoxItems == 1000, "the failed step names the cap");
    if (!m_view.ShowFieldEvent(*event) && event->kind == FieldEventKind::ComboAppended) {
        ReportEventFailure("AppendFieldComboBoxItem (more than 1000 items)");
    }
}

void TileWindow::OnCredentialsChanged(std::unique_ptr<PostedCredentialsChanged> event) {
    // Taken before a re-read is asked for: from now on the forwarder posts the next one, so one
    // raised during that re-read is not lost.
    event.reset();
    Reread(m_rereads.OnCredentialsChanged());
}

void TileWindow::Reread(RereadSchedule::Next next) {
    static_assert(kMaxRereadRounds == 10, "the failed step names the rounds");
    switch (next) {
    case RereadSchedule::Next::ReadAgain: m_actions.ReadTilesAgain(); return;
    case RereadSchedule::Next::GiveUp:
        ReportEventFailure("CredentialsChanged (raised during 10 re-reads in a row; no more re-reads)");
        return;
    default: return;
    }
}

void TileWindow::ReportEventFailure(const char* step) {
    if (std::find(m_eventFailures.begin(), m_eventFailures.end(), step) != m_eventFailures.end()) {
        return;
    }
    m_eventFailures.push_back(step);
    m_view.ShowProviderFailure(step, kProviderContractBroken);
}

void TileWindow::OnSubmitted(std::unique_ptr<SignInReport> report) {
    m_exitCode = m_actions.OnSubmitted(*report);
    if (m_script) {
        m_script->ScheduleCapture();
    }
}

// The only timer is the --screenshot run's capture.
void TileWindow::OnCaptureTimer(UINT_PTR timer) {
    KillTimer(m_window, timer);
    if (m_script && FAILED(m_script->Capture())) {
        m_exitCode = 3;
    }
}

// What was typed is wiped from the controls before they go; the provider's thread releases the
// tiles and the provider once the message loop has ended.
void TileWindow::OnDestroy() {
    m_view.DestroyFieldWindows();
    PostQuitMessage(0);
}
