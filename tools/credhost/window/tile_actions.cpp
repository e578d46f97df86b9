#include "tile_actions.h"

#include "credential_provider_names.h"
#include "utf8_conversion.h"
#include "window_control_ids.h"

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
    case SignInVerdict::Refused: return outcome.hasStatusText ? outcome.statusText : L"Refused, without a status text.";
    default:
        icon = CPSI_ERROR;
        return L"Provider failure: " + WideFromUtf8(outcome.failedStep) + L" (" +
               WideFromUtf8(HResultText(FAILED(report.failure) ? report.failure : outcome.serializationResult)) + L")";
    }
}

}  // namespace

void TileActions::OnCommand(int id, int code) {
    if (id == IDOK) {
        Submit();
        return;
    }
    if (id == kTileListId && code == LBN_SELCHANGE) {
        SelectTile(m_view.ListSelection());
        return;
    }
    if (id >= kRevealButtonBase && id < kRevealButtonBase + static_cast<int>(kMaxFieldControls)) {
        m_view.ShowRevealedPassword(static_cast<size_t>(id - kRevealButtonBase));
        return;
    }
    const int index = id - kFieldControlBase;
    if (index < 0 || m_view.FieldControl(static_cast<size_t>(index)) == nullptr) {
        return;
    }
    OnFieldCommand(static_cast<size_t>(index), code);
}

// A person changed a control: the tile hears of it at once, as on the sign-in screen.
void TileActions::OnFieldCommand(size_t index, int code) {
    std::vector<FieldValue>* fields = m_view.SelectedFields();
    if (fields == nullptr || index >= fields->size()) {
        return;
    }
    TileField& field = (*fields)[index].field;
    HWND control = m_view.FieldControl(index);
    TileHost* host = m_host;
    const DWORD generation = m_view.Generation();
    const DWORD tile = m_view.Selected();
    const DWORD id = field.id;
    if (IsEditField(field) && code == EN_CHANGE && !m_view.IsSettingText()) {
        // Straight into a wiping buffer: the text may be a password.
        SecretWide text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
        GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
        if (field.type == CPFT_EDIT_TEXT) {
            field.text = text.data();
        }
        m_apartment.Post(
            [host, generation, tile, id, text = std::move(text)] { host->SetString(generation, tile, id, text); });
        return;
    }
    if (field.type == CPFT_SUBMIT_BUTTON && code == BN_CLICKED) {
        Submit();
        return;
    }
    if (field.type == CPFT_CHECKBOX && code == BN_CLICKED) {
        field.checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        const BOOL checked = field.checked;
        m_apartment.Post([host, generation, tile, id, checked] { host->SetCheckbox(generation, tile, id, checked); });
        return;
    }
    if (field.type == CPFT_COMBOBOX && code == CBN_SELCHANGE) {
        field.comboSelected = static_cast<DWORD>(SendMessageW(control, CB_GETCURSEL, 0, 0));
        const DWORD item = field.comboSelected;
        m_apartment.Post([host, generation, tile, id, item] { host->SetComboBoxItem(generation, tile, id, item); });
        return;
    }
    if (field.type == CPFT_COMMAND_LINK && code == STN_CLICKED) {
        m_apartment.Post([host, generation, tile, id] { host->ClickCommandLink(generation, tile, id); });
    }
}

void TileActions::SelectTile(DWORD tile) {
    if (m_view.IsBusy() || tile >= m_view.TileCount() || tile == m_view.Selected()) {
        m_view.RestoreListSelection();
        return;
    }
    m_view.ShowTile(tile);
    m_view.ShowStatus(L"", CPSI_NONE);
    TileHost* host = m_host;
    const DWORD generation = m_view.Generation();
    m_apartment.Post([host, generation, tile] { host->Select(generation, tile); });
}

void TileActions::ReadTilesAgain() {
    TileHost* host = m_host;
    m_apartment.Post([host] { host->Refresh(); });
}

void TileActions::Submit() {
    if (m_view.IsBusy() || m_view.SelectedFields() == nullptr) {
        return;
    }
    const std::vector<TileField> described = m_view.DescribeSelectedFields();
    const TileField* user = FindUserNameField(described);
    const std::wstring userName = user != nullptr ? user->text : L"";
    m_view.SetBusy(true);
    m_view.ShowStatus(L"Signing in\u2026", CPSI_NONE);
    m_view.ShowOutcome("");
    TileHost* host = m_host;
    const DWORD generation = m_view.Generation();
    const DWORD tile = m_view.Selected();
    m_apartment.Post([host, generation, tile, userName] { host->Submit(generation, tile, userName); });
}

int TileActions::OnSubmitted(const SignInReport& report) {
    m_view.SetBusy(false);
    CREDENTIAL_PROVIDER_STATUS_ICON icon = CPSI_NONE;
    const std::wstring status = StatusTextOf(report, icon);
    m_view.ShowStatus(status, icon);
    m_view.ShowOutcome(SignInReportText(report));
    return ExitCodeOf(report.verdict);
}
