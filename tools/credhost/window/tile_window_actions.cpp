// What a person does in the tile window (typing, ticking, choosing, clicking a link, selecting
// a tile, submitting) and what the submission answers. Every change goes to the provider's
// thread at once; nothing here waits for the provider.
#include "tile_window.h"

#include "credential_provider_names.h"
#include "utf8_conversion.h"
#include "window_control_ids.h"

#include <commctrl.h>

namespace {

int ExitCodeOf(SignInVerdict verdict) {
    switch (verdict) {
    case SignInVerdict::SignedIn: return 0;
    case SignInVerdict::Refused: return 1;
    default: return 3;
    }
}

// The status line the sign-in screen would show for an outcome.
std::wstring StatusTextOf(const SignInReport& report, CREDENTIAL_PROVIDER_STATUS_ICON& icon) {
    const SignInOutcome& outcome = report.outcome;
    icon = outcome.statusIcon;
    switch (report.verdict) {
    case SignInVerdict::SignedIn:
        if (outcome.hasReportText) {
            icon = outcome.reportIcon;
            return outcome.reportText;
        }
        icon = CPSI_SUCCESS;
        return L"Signed in: the tile returned a credential.";
    case SignInVerdict::Refused:
        return outcome.hasStatusText ? outcome.statusText : L"Refused, without a status text.";
    default:
        icon = CPSI_ERROR;
        return L"Provider failure: " + WideFromUtf8(outcome.failedStep) + L" (" +
               WideFromUtf8(HResultText(FAILED(report.failure) ? report.failure : outcome.serializationResult)) +
               L")";
    }
}

}  // namespace

void TileWindow::OnCommand(int id, int code) {
    if (id == IDOK) {
        Submit();
        return;
    }
    if (id == kTileListId && code == LBN_SELCHANGE) {
        SelectTile(static_cast<DWORD>(SendMessageW(m_list, LB_GETCURSEL, 0, 0)));
        return;
    }
    const int index = id - kFieldControlBase;
    if (index < 0 || static_cast<size_t>(index) >= m_controls.size()) {
        return;
    }
    OnFieldCommand(static_cast<size_t>(index), code);
}

// A person changed a control: the tile hears of it at once, as on the sign-in screen.
void TileWindow::OnFieldCommand(size_t index, int code) {
    TileField& field = m_tiles[m_selected].fields[index].field;
    HWND control = m_controls[index].control;
    TileHost* host = m_host;
    const DWORD tile = m_selected;
    const DWORD id = field.id;
    if (IsEditField(field) && code == EN_CHANGE && !m_settingText) {
        // Straight into a wiping buffer: the text may be a password.
        SecretWide text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
        if (field.type == CPFT_EDIT_TEXT) {
            field.text = text.data();
        }
        m_apartment.Post([host, tile, id, text = std::move(text)] { host->SetString(tile, id, text); });
        return;
    }
    if (field.type == CPFT_SUBMIT_BUTTON && code == BN_CLICKED) {
        Submit();
        return;
    }
    if (field.type == CPFT_CHECKBOX && code == BN_CLICKED) {
        field.checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        const BOOL checked = field.checked;
        m_apartment.Post([host, tile, id, checked] { host->SetCheckbox(tile, id, checked); });
        return;
    }
    if (field.type == CPFT_COMBOBOX && code == CBN_SELCHANGE) {
        field.comboSelected = static_cast<DWORD>(SendMessageW(control, CB_GETCURSEL, 0, 0));
        const DWORD item = field.comboSelected;
        m_apartment.Post([host, tile, id, item] { host->SetComboBoxItem(tile, id, item); });
        return;
    }
    if (field.type == CPFT_COMMAND_LINK && code == STN_CLICKED) {
        m_apartment.Post([host, tile, id] { host->ClickCommandLink(tile, id); });
    }
}

void TileWindow::SelectTile(DWORD tile) {
    if (m_busy || tile >= m_tiles.size() || tile == m_selected) {
        SendMessageW(m_list, LB_SETCURSEL, m_selected, 0);
        return;
    }
    ShowTile(tile);
    ShowStatus(L"", CPSI_NONE);
    TileHost* host = m_host;
    m_apartment.Post([host, tile] { host->Select(tile); });
}

void TileWindow::Submit() {
    std::vector<FieldValue>* fields = SelectedFields();
    if (m_busy || fields == nullptr) {
        return;
    }
    std::vector<TileField> described;
    for (const FieldValue& value : *fields) {
        described.push_back(value.field);
    }
    const TileField* user = FindUserNameField(described);
    const std::wstring userName = user != nullptr ? user->text : L"";
    SetBusy(true);
    ShowStatus(L"Signing in\u2026", CPSI_NONE);
    ShowOutcome("");
    TileHost* host = m_host;
    const DWORD tile = m_selected;
    m_apartment.Post([host, tile, userName] { host->Submit(tile, userName); });
}

void TileWindow::SetBusy(bool busy) {
    m_busy = busy;
    EnableWindow(m_list, !busy);
    ShowWindow(m_wait, busy ? SW_SHOWNA : SW_HIDE);
    SendMessageW(m_wait, PBM_SETMARQUEE, busy, 40);
    std::vector<FieldValue>* fields = SelectedFields();
    for (size_t index = 0; fields != nullptr && index < m_controls.size(); ++index) {
        ShowInteractiveState((*fields)[index], m_controls[index], busy);
    }
}

void TileWindow::OnSubmitted(std::unique_ptr<SignInReport> report) {
    SetBusy(false);
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
    const std::wstring status = StatusTextOf(*report, icon);
    ShowStatus(status, icon);
    ShowOutcome(SignInReportText(*report));
    m_exitCode = ExitCodeOf(report->verdict);
    if (m_script != nullptr) {
        ScheduleCapture();
    }
}
