// The users file: JSON of the form
//   {"users": [{"username": "...", "email": "...", "full_name": "...", "is_admin": false,
//               "pbkdf2_sha256": {"iterations": 100000, "salt": "<hex>", "hash": "<hex>"}}]}
// "email" may be left out. "iterations" is an unsigned integer from 1 to 10000000 (not a
// boolean, a fraction or an exponent). A key given twice in one object is an error, not
// last-wins. The file holds no password, only salted hashes; it may hold up to 4 MiB and loads in
// time linear in its size.
#pragma once

#include "user_store.h"

#include <windows.h>

#include <string>

// Parses the file's text; every record is validated as UserStore::Add does. On failure error
// says what is wrong and store is left empty.
bool ParseUserStore(const std::string& text, UserStore& store, std::string& error) noexcept;

std::string SerializeUserStore(const UserStore& store);

// Reads and parses the file at path. A missing file gives HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT LoadUserStore(PCWSTR path, UserStore& store, std::string& error) noexcept;

// Replaces the file at path (text_file.h) with one that has the users file's own security
// (users_file_security.h), whatever the old file or the folder had.
HRESULT SaveUserStore(PCWSTR path, const UserStore& store) noexcept;
