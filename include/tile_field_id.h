// The tile's five fields. An id is also the index of its entry in the field tables, dense from 0.
#pragma once

#include <windows.h>

enum TileFieldId : DWORD {
    FieldImage = 0,
    FieldUserName = 1,
    FieldPassword = 2,
    FieldSubmit = 3,
    FieldProviderLabel = 4,
    FieldCount = 5,
};
