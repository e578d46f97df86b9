#include "user_store_file.h"

#include "display_escaping.h"
#include "text_file.h"
#include "users_file_security.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

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
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
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

// Only an unsigned integer literal in range: true, 1.9, 1e300 or -1 would otherwise be converted.
bool IterationsFromJson(const nlohmann::json& value, ULONG& iterations, std::string& error) {
    if (!value.is_number_unsigned() || value.get<unsigned long long>() < kMinHashIterations ||
        value.get<unsigned long long>() > kMaxHashIterations) {
        error = "iterations must be a whole number from 1 to 10000000";
        return false;
    }
    iterations = static_cast<ULONG>(value.get<unsigned long long>());
    return true;
}

bool RecordFromJson(const nlohmann::json& entry, UserRecord& record, std::string& error) try {
    record.username = entry.at("username").get<std::string>();
    record.email = entry.value("email", std::string());
    record.fullName = entry.value("full_name", std::string());
    record.isAdmin = entry.value("is_admin", false);
    const nlohmann::json& hashing = entry.at("pbkdf2_sha256");
    if (!IterationsFromJson(hashing.at("iterations"), record.iterations, error)) {
        return false;
    }
    std::vector<BYTE> hash;
    if (!BytesFromHex(hashing.at("salt").get<std::string>(), record.salt) ||
        !BytesFromHex(hashing.at("hash").get<std::string>(), hash) || hash.size() != kPasswordHashBytes) {
        error = "salt and hash must be hexadecimal, the hash 32 bytes";
        return false;
    }
    std::copy(hash.begin(), hash.end(), record.hash.begin());
    return true;
} catch (const nlohmann::json::exception& e) {
    error = e.what();
    return false;
}

// How an error names a record: by its user name when it has one, else by its place in the list.
std::string RecordName(const nlohmann::json& entry, size_t index) {
    if (entry.is_object() && entry.contains("username") && entry["username"].is_string()) {
        return "user \"" + EscapedForDisplay(entry["username"].get_ref<const std::string&>()) + "\"";
    }
    return "user number " + std::to_string(index + 1);
}

// Parses text as JSON and notes the first key that an object gives twice, which nlohmann would
// otherwise resolve silently by keeping the last value: a file that says two things about one
// setting (two "users" lists, two hashes for one user) is refused instead.
class DuplicateKeyFinder {
public:
    nlohmann::json Parse(const std::string& text) {
        return nlohmann::json::parse(text, [this](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
            Note(event, parsed);
            return true;
        });
    }
    bool Found() const noexcept { return m_found; }
    const std::string& Key() const noexcept { return m_key; }

private:
    void Note(nlohmann::json::parse_event_t event, const nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::object_start) {
            m_openObjects.emplace_back();
        } else if (event == nlohmann::json::parse_event_t::object_end) {
            m_openObjects.pop_back();
        } else if (event == nlohmann::json::parse_event_t::key && !m_found &&
                   !m_openObjects.back().insert(parsed.get<std::string>()).second) {
            m_found = true;
            m_key = parsed.get<std::string>();
        }
    }

    std::vector<std::set<std::string>> m_openObjects;  // the keys seen in each object still open
    bool m_found = false;
    std::string m_key;
};

}  // namespace

bool ParseUserStore(const std::string& text, UserStore& store, std::string& error) noexcept {
    store = UserStore();
    try {
        DuplicateKeyFinder duplicates;
        const nlohmann::json document = duplicates.Parse(text);
        if (duplicates.Found()) {
            error = "the key \"" + EscapedForDisplay(duplicates.Key()) + "\" is given twice in one object";
            return false;
        }
        const nlohmann::json& users = document.at("users");
        if (!users.is_array()) {
            error = "\"users\" must be a list";
            return false;
        }
        UserStore parsed;
        for (size_t index = 0; index < users.size(); ++index) {
            UserRecord record;
            if (!RecordFromJson(users[index], record, error) || !parsed.Add(std::move(record), error)) {
                error = RecordName(users[index], index) + ": " + error;
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
    UsersFileSecurity security;
    const HRESULT hr = security.Create();
    if (FAILED(hr)) {
        return hr;
    }
    return ReplaceFileContents(path, SerializeUserStore(store), security.Attributes());
} catch (const std::exception&) {
    return E_OUTOFMEMORY;
}
