#include "tile_list.h"

#include "field_controls.h"

void DrawTileListItem(const DRAWITEMSTRUCT& item, const TileSnapshot& tile, const WindowFonts& fonts) {
    HDC dc = item.hDC;
    RECT rect = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH back = CreateSolidBrush(selected ? RGB(0xD4, 0xE4, 0xF7) : RGB(0xFF, 0xFF, 0xFF));
    FillRect(dc, &rect, back);
    DeleteObject(back);
    if (selected) {
        HBRUSH frame = CreateSolidBrush(RGB(0x3A, 0x78, 0xC8));
        FrameRect(dc, &rect, frame);
        DeleteObject(frame);
    }
    int textLeft = rect.left + 8;
    for (const FieldValue& value : tile.fields) {
        if (value.field.type == CPFT_TILE_IMAGE && IsShownInDeselectedTile(value.field)) {
            const RECT image{rect.left + 8, rect.top + 8, rect.left + 56, rect.top + 56};
            DrawTileImage(dc, image, value.image.Get());
            textLeft = image.right + 10;
            break;
        }
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x10, 0x10, 0x10));
    int top = rect.top + 10;
    for (const FieldValue& value : tile.fields) {
        const TileField& field = value.field;
        const bool text =
            field.type == CPFT_LARGE_TEXT || field.type == CPFT_SMALL_TEXT || field.type == CPFT_EDIT_TEXT;
        if (!text || !IsShownInDeselectedTile(field) || field.text.empty() || top > rect.bottom - 16) {
            continue;
        }
        HGDIOBJ old = SelectObject(dc, field.type == CPFT_LARGE_TEXT ? fonts.Large() : fonts.Normal());
        RECT line{textLeft, top, rect.right - 6, rect.bottom};
        top += DrawTextW(dc, field.text.c_str(), -1, &line, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX) + 2;
        SelectObject(dc, old);
    }
}

void DrawTileListNote(const DRAWITEMSTRUCT& item, const wchar_t* text, const WindowFonts& fonts) {
    RECT rect = item.rcItem;
    FillRect(item.hDC, &rect, GetSysColorBrush(COLOR_WINDOW));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, RGB(0x60, 0x60, 0x60));
    HGDIOBJ old = SelectObject(item.hDC, fonts.Normal());
    rect.left += 8;
    rect.right -= 6;
    DrawTextW(item.hDC, text, -1, &rect, DT_WORDBREAK | DT_VCENTER | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}
