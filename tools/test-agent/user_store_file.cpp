#include "user_store_file.h"

#include "text_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace {

inline constexpr size_t kMaxUsersFileBytes = 4 * 1024 * 1024;

std::string HexFromBytes(const BYTE* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        hex.push_back(kDigits[bytes[i] >> 4]);
        hex.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return hex;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool BytesFromHex(const std::string& hex, std::vector<BYTE>& bytes) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        bytes.push_back(static_cast<BYTE>(high << 4 | low));
    }
    return true;
}

bool RecordFromJson(const nlohmann::json& entry, UserRecord& record, std::string& error) {
    record.username = entry.at("username").get<std::string>();
    record.email = entry.value("email", std::string());
    record.fullName = entry.value("full_name", std::string());
    record.isAdmin = entry.value("is_admin", false);
    const nlohmann::json& hashing = entry.at("pbkdf2_sha256");
    const auto iterations = hashing.at("iterations").get<unsigned long long>();
    if (iterations == 0 || iterations > 0xFFFFFFFFull) {
        error = "iteration count out of range";
        return false;
    }
    record.iterations = static_cast<ULONG>(iterations);
    std::vector<BYTE> hash;
    if (!BytesFromHex(hashing.at("salt").get<std::string>(), record.salt) ||
        !BytesFromHex(hashing.at("hash").get<std::string>(), hash) || hash.size() != kPasswordHashBytes) {
        error = "salt and hash must be hexadecimal, the hash 32 bytes";
        return false;
    }
    std::copy(hash.begin(), hash.end(), record.hash.begin());
    return true;
}

}  // namespace

bool ParseUserStore(const std::string& text, UserStore& store, std::string& error) noexcept {
    store = UserStore();
    try {
        const nlohmann::json document = nlohmann::json::parse(text);
        UserStore parsed;
        for (const nlohmann::json& entry : document.at("users")) {
            UserRecord record;
            if (!RecordFromJson(entry, record, error)) {
                return false;
            }
            const std::string name = record.username;
            if (!parsed.Add(std::move(record), error)) {
                error = "user \"" + name + "\": " + error;
                return false;
            }
        }
        store = std::move(parsed);
        return true;
    } catch (const nlohmann::json::exception& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    return false;
}

std::string SerializeUserStore(const UserStore& store) {
    nlohmann::json users = nlohmann::json::array();
    for (const UserRecord& record : store.Users()) {
        nlohmann::json entry = {
            {"username", record.username},
            {"full_name", record.fullName},
            {"is_admin", record.isAdmin},
            {"pbkdf2_sha256",
             {{"iterations", record.iterations},
              {"salt", HexFromBytes(record.salt.data(), record.salt.size())},
              {"hash", HexFromBytes(record.hash.data(), record.hash.size())}}},
        };
        if (!record.email.empty()) {
            entry["email"] = record.email;
        }
        users.push_back(std::move(entry));
    }
    return nlohmann::json{{"users", std::move(users)}}.dump(2) + "\n";
}

HRESULT LoadUserStore(PCWSTR path, UserStore& store, std::string& error) noexcept {
    std::string text;
    HRESULT hr = ReadWholeFile(path, kMaxUsersFileBytes, text);
    if (FAILED(hr)) {
        error = "cannot read the users file";
        return hr;
    }
    if (!ParseUserStore(text, store, error)) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    return S_OK;
}

HRESULT SaveUserStore(PCWSTR path, const UserStore& store) noexcept try {
    return ReplaceFileContents(path, SerializeUserStore(store));
} catch (const std::exception&) {
    return E_OUTOFMEMORY;
}
