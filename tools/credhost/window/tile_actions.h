// What a person does in the tile window (typing, ticking, choosing, clicking a link, selecting
// a tile, submitting) and what the submission answers. Every change goes to the provider's
// thread at once; nothing here waits for the provider. What the person sees changes through
// the view.
#pragma once

#include "provider_apartment.h"
#include "tile_host.h"
#include "tile_view.h"

#include <memory>

class TileActions {
public:
    TileActions(TileView& view, ProviderApartment& apartment) noexcept : m_view(view), m_apartment(apartment) {}
    TileActions(const TileActions&) = delete;
    TileActions& operator=(const TileActions&) = delete;

    void Attach(TileHost* host) noexcept { m_host = host; }

    // A WM_COMMAND from one of the window's controls (or IDOK: Enter).
    void OnCommand(int id, int code);
    // Submits the selected tile, unless a submission runs already.
    void Submit();
    // Shows the submission's answer; returns signin's exit code for it.
    int OnSubmitted(const SignInReport& report);
    // Asks the provider's thread to read the tiles again (RereadSchedule says when).
    void ReadTilesAgain();

private:
    void OnFieldCommand(size_t index, int code);
    void SelectTile(DWORD tile);

    TileView& m_view;
    ProviderApartment& m_apartment;
    TileHost* m_host = nullptr;
};
